// A handed-over document's whole road with the add-in loaded through COM. The simulated word
// processor, exposed as an automation server, creates QNMuroWPS.WPSaddin by its ProgID and
// hands it its application object through IDTExtensibility2; the clerk's session script then
// runs as it does with the add-in linked in. The add-in's message boxes are real windows here:
// a user at the keyboard reads each one and presses the button the script's answers give.
// Both runs must give the same transcript, and the OA server must hold each run's upload.
//
// Needs the registered DLL and, from the environment: QNMURO_COM_DATA (the examples folder),
// QNMURO_WORKDIR, QNMURO_OA_SERVER (host:port of a running development OA server) and
// QNMURO_OA_ROOT (the folder it serves).
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "addin/wps_addin.h"
#include "base/text.h"
#include "com/late_bound.h"
#include "platform/clock.h"
#include "platform/com.h"
#include "platform/services.h"
#include "platform/ui.h"
#include "qnmurowps.h"
#include "sim_automation.h"
#include "simhost/script_runner.h"
#include "simhost/sim_host.h"

namespace qnmuro::com {
namespace {

namespace fs = std::filesystem;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::u16string WindowText(HWND window, int item = 0) {
  wchar_t text[1024] = {};
  if (item == 0) {
    GetWindowTextW(window, text, 1024);
  } else {
    GetDlgItemTextW(window, item, text, 1024);
  }
  return std::u16string(reinterpret_cast<const char16_t*>(text));
}

// The user at the keyboard: reads every message box this process shows, asks `answers` (the
// run's scripted UI, which records the box and gives the queued answer) and presses that
// button.
class BoxUser {
 public:
  explicit BoxUser(UiService& answers)
      : answers_(answers), thread_([this] {
          while (!stop_) {
            EnumWindows(Visit, reinterpret_cast<LPARAM>(this));
            Sleep(10);
          }
        }) {}
  ~BoxUser() {
    stop_ = true;
    thread_.join();
  }

 private:
  static BOOL CALLBACK Visit(HWND window, LPARAM self) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t window_class[16] = {};
    GetClassNameW(window, window_class, 16);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) &&
        std::wstring(window_class) == L"#32770") {
      reinterpret_cast<BoxUser*>(self)->Answer(window);
    }
    return TRUE;
  }

  void Answer(HWND box) {
    const bool yes = GetDlgItem(box, IDYES) != nullptr, ok = GetDlgItem(box, IDOK) != nullptr;
    const bool cancel = GetDlgItem(box, IDCANCEL) != nullptr;
    const MsgButtons buttons = yes ? (cancel ? MsgButtons::kYesNoCancel : MsgButtons::kYesNo)
                                   : (ok && cancel ? MsgButtons::kOkCancel : MsgButtons::kOk);
    const MsgAnswer answer =
        answers_.ShowMessage(WindowText(box, 0xFFFF), buttons, IconOf(box), WindowText(box));
    const int id = answer == MsgAnswer::kYes      ? IDYES
                   : answer == MsgAnswer::kNo     ? IDNO
                   : answer == MsgAnswer::kCancel ? IDCANCEL
                                                  : IDOK;
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    // Each box is answered once: wait until it has gone.
    for (int i = 0; i < 500 && IsWindow(box) && IsWindowVisible(box); ++i) Sleep(10);
  }

  // The box's icon is one of the system's shared icons, in the static control that Windows
  // numbers 20 and Wine 1088.
  static MsgIcon IconOf(HWND box) {
    auto shown = reinterpret_cast<HICON>(SendDlgItemMessageW(box, 20, STM_GETICON, 0, 0));
    if (shown == nullptr) {
      shown = reinterpret_cast<HICON>(SendDlgItemMessageW(box, 1088, STM_GETICON, 0, 0));
    }
    if (shown == nullptr) return MsgIcon::kNone;
    // Question, information, error and warning.
    const std::pair<WORD, MsgIcon> icons[] = {{32514, MsgIcon::kQuestion},
                                              {32516, MsgIcon::kInformation},
                                              {32513, MsgIcon::kCritical},
                                              {32515, MsgIcon::kExclamation}};
    for (const auto& [id, icon] : icons) {
      if (LoadIconW(nullptr, MAKEINTRESOURCEW(id)) == shown) return icon;
    }
    return MsgIcon::kNone;
  }

  UiService& answers_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// The add-in as the word processor loads it: by ProgID, connected through IDTExtensibility2
// with the application's automation object. Before it is disconnected, `last_call` may use it
// as any automation client would.
class ComAddIn final : public host::AddIn {
 public:
  ComAddIn(UiService& ui, std::function<void(LateBound&)> last_call)
      : user_(ui), last_call_(std::move(last_call)) {
    addin_ = CreateFirst<IDispatch>({L"QNMuroWPS.WPSaddin"}, IID_IDispatch);
    if (addin_) connection_ = addin_.As<IDTExtensibility2>(IID_IDTExtensibility2);
  }

  void OnConnection(host::Application* app) override {
    if (!connection_) throw MakeError(kErrNotSupported);
    server_ = std::make_unique<SimAutomation>(*app);
    connection_->OnConnection(&server_->Application(), ext_cm_AfterStartup, nullptr, nullptr);
  }
  // The add-in lets go of the host's objects before they go.
  void OnDisconnection() override {
    if (last_call_) {
      LateBound addin(addin_.get());
      last_call_(addin);
    }
    connection_->OnDisconnection(ext_dm_HostShutdown, nullptr);
    connection_ = Ptr<IDTExtensibility2>();
    addin_ = Ptr<IDispatch>();
    server_.reset();
  }
  void OnStartupComplete() override {}
  void OnAddInsUpdate() override {}
  void OnBeginShutdown() override {}

 private:
  BoxUser user_;
  std::function<void(LateBound&)> last_call_;
  Ptr<IDispatch> addin_;
  Ptr<IDTExtensibility2> connection_;
  std::unique_ptr<SimAutomation> server_;
};

class DocumentRoadTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    EnsureInitialized();
    examples_ = Env("QNMURO_COM_DATA");
    server_ = Env("QNMURO_OA_SERVER");
    server_root_ = Env("QNMURO_OA_ROOT");
    if (examples_.empty() || server_.empty() || server_root_.empty()) {
      GTEST_SKIP() << "needs QNMURO_COM_DATA, QNMURO_OA_SERVER and QNMURO_OA_ROOT";
    }
    work_ = fs::path(Env("QNMURO_WORKDIR")) / "road";
    services_ = DefaultServices(ServiceOptions{FromPath(work_), {}, false});
  }

  // The OA system's hand-over: a fresh work directory with the template-made notice, its
  // control file (naming this server and the workflow action) and its data source.
  void HandOver() {
    std::error_code ec;
    fs::remove_all(work_, ec);
    fs::remove_all(server_root_ / "documents" / "6F2A", ec);
    fs::create_directories(work_);
    fs::copy_file(examples_ / "docmarkline.bmp", work_ / "docmarkline.bmp");
    ASSERT_EQ(Run(ReadFile(examples_ / "make_notice.run"), {}), 0);
    std::string control =
        std::regex_replace(ReadFile(examples_ / "control.xml"),
                           std::regex("http://127\\.0\\.0\\.1:8080"), "http://" + server_);
    control = std::regex_replace(control, std::regex("<action>DraftDocument</action>"),
                                 std::string("<action>") + GetParam() + "</action>");
    WriteFile(work_ / "notice.xml", control);
    fs::copy_file(examples_ / "notice.ds.xml", work_ / "notice.ds.xml");
    transcript_.str("");
  }

  int Run(const std::string& script, std::vector<simhost::AddInFactory> add_ins) {
    simhost::ScriptRunOptions options;
    options.work_dir = FromPath(work_);
    options.out = &transcript_;
    options.err = &transcript_;
    options.start_time = FromLocalTime(LocalTime{2026, 12, 8, 9, 0, 0});
    options.services.registry = services_.registry.get();
    options.services.http = services_.http.get();
    options.services.shell = services_.shell.get();
    options.services.workDir = services_.work_dir;
    options.add_ins = std::move(add_ins);
    return simhost::RunScript(script, options);
  }

  // The notice the server now holds, with the text the clerk typed.
  std::u16string Uploaded() {
    const fs::path stored = server_root_ / "documents" / "6F2A" / "notice.doc";
    if (!fs::exists(stored)) return u"(nothing uploaded)";
    ScriptedUi ui;
    auto clock = NewVirtualClock(FromLocalTime(LocalTime{2026, 12, 8, 9, 0, 0}));
    auto app =
        simhost::NewSimApplication(simhost::SimHostOptions{&ui, clock.get(), FromPath(work_)});
    return app->GetDocuments().Open(FromPath(stored), true)->Content()->Text();
  }

  fs::path examples_, server_root_, work_;
  std::string server_;
  Services services_;
  std::ostringstream transcript_;
};

// A button's face travels as a picture without its label ("F1"); the adapter's own tests
// compare faces, so the transcripts here leave them out.
std::string WithoutFaces(const std::string& transcript) {
  return std::regex_replace(transcript, std::regex("\\[(F[0-9])?\\]( |\n)"), "$2");
}

// The lines where two transcripts part, or nothing when they agree.
std::string Difference(const std::string& got, const std::string& want) {
  std::istringstream a(got), b(want);
  std::string out, line_a, line_b;
  for (int n = 1;; ++n) {
    const bool more_a = static_cast<bool>(std::getline(a, line_a));
    const bool more_b = static_cast<bool>(std::getline(b, line_b));
    if (!more_a && !more_b) return out;
    if (!more_a) line_a = "(end)";
    if (!more_b) line_b = "(end)";
    if (line_a != line_b)
      out += "line " + std::to_string(n) + ": " + line_a + "\n   not: " + line_b + "\n";
  }
}

// Opening in each workflow action, the toolbar's clicks, an edit, saving with its upload and
// closing.
TEST_P(DocumentRoadTest, TheClerksSessionGoesTheSameWayThroughCom) {
  const std::string session = ReadFile(examples_ / "open_notice.run");

  HandOver();
  ASSERT_EQ(
      Run(session, {[](const Context& services) { return std::make_unique<WPSaddin>(services); }}),
      0);
  const std::string linked_in = transcript_.str();
  // A document opened for viewing is never uploaded.
  const bool uploads = std::string(GetParam()) != "ViewDocument";
  EXPECT_EQ(Uploaded().find(u"审核补充。") != std::u16string::npos, uploads);

  HandOver();
  // Set before the add-in is created: its work directory is read then.
  _wputenv_s(L"QNMURO_WORKDIR", work_.wstring().c_str());
  std::u16string agent_answer;
  ASSERT_EQ(
      Run(session, {[&](const Context& services) {
            return std::make_unique<ComAddIn>(*services.ui, [&](LateBound& addin) {
              Variant agent = Variant::String(u"echo"), query = Variant::String(u"&id=7");
              Variant body = Variant::String(u"公文"), xml = Variant::Bool(true);
              agent_answer = addin.Call(L"ExecuteAgent", {&agent, &query, &body, &xml}).Text();
            });
          }}),
      0);
  const std::string through_com = transcript_.str();
  EXPECT_EQ(Difference(WithoutFaces(through_com), WithoutFaces(linked_in)), "");
  EXPECT_EQ(Uploaded().find(u"审核补充。") != std::u16string::npos, uploads);
  // The agent call reached the server named in the handed-over control file.
  EXPECT_NE(agent_answer.find(u"公文"), std::u16string::npos) << U8(agent_answer);
  EXPECT_NE(agent_answer.find(u"id=7"), std::u16string::npos) << U8(agent_answer);
}

INSTANTIATE_TEST_SUITE_P(Actions, DocumentRoadTest,
                         ::testing::Values("DraftDocument", "ViewDocument", "ApproveDocument",
                                           "FinalizeDocument"));

}  // namespace
}  // namespace qnmuro::com
