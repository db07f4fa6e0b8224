// A handed-over document's whole road with the add-in loaded through COM. The simulated word
// processor, exposed as an automation server, creates QNMuroWPS.WPSaddin by its ProgID and
// hands it its application object through IDTExtensibility2; the clerk's session script then
// runs as it does with the add-in linked in. The add-in's message boxes and forms are real
// windows here: a user at the keyboard reads each one and answers as the script's answers say.
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
#include <mutex>
#include <regex>
#include <sstream>
#include <thread>

#include "addin/wps_addin.h"
#include "base/text.h"
#include "com/late_bound.h"
#include "platform/clock.h"
#include "platform/com_win.h"
#include "platform/form.h"
#include "platform/services.h"
#include "platform/ui.h"
#include "qnmurowps.h"
#include "sim_automation.h"
#include "simhost/script_runner.h"
#include "simhost/sim_host.h"
#include "support/temp_dir.h"

namespace qnmuro::com {
namespace {

namespace fs = std::filesystem;
using test_util::ReadBytes;
using test_util::WriteBytes;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
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

HWND Child(HWND window, const wchar_t* window_class) {
  return FindWindowExW(window, nullptr, window_class, nullptr);
}

// The button of a window that carries this caption, or null.
HWND ButtonCaptioned(HWND window, std::u16string_view caption) {
  for (HWND b = Child(window, L"BUTTON"); b != nullptr;
       b = FindWindowExW(window, b, L"BUTTON", nullptr)) {
    if (WindowText(b) == caption) return b;
  }
  return nullptr;
}

// The user at the keyboard: reads every message box, input box and form this process shows,
// asks `answers` (the run's scripted UI, which records the box and gives the queued answer)
// and answers the window as told.
class BoxUser {
 public:
  // Made on the thread that shows the windows.
  explicit BoxUser(ScriptedUi& answers)
      : answers_(answers),
        hook_(SetWindowsHookExW(WH_CBT, Hook, nullptr, GetCurrentThreadId())),
        thread_([this] {
          while (!stop_) {
            EnumWindows(Visit, reinterpret_cast<LPARAM>(this));
            Sleep(10);
          }
        }) {
    active_ = this;
  }
  ~BoxUser() {
    stop_ = true;
    thread_.join();
    active_ = nullptr;
    UnhookWindowsHookEx(hook_);
  }

 private:
  // A form is recorded as its window goes, on the thread that shows it, so that the record
  // comes before whatever that thread does next, as the scripted UI records a form when it
  // closes.
  struct PendingForm {
    HWND window = nullptr;
    std::u16string caption;
    std::vector<std::u16string> picked;
    bool confirmed = false;
    bool defaulted = false;
  };

  static LRESULT CALLBACK Hook(int code, WPARAM wparam, LPARAM lparam) {
    if (code == HCBT_DESTROYWND && active_ != nullptr) {
      active_->Gone(reinterpret_cast<HWND>(wparam));
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
  }

  void Gone(HWND window) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!pending_ || pending_->window != window) return;
    answers_.RecordForm(pending_->caption, std::move(pending_->picked), pending_->confirmed,
                        pending_->defaulted);
    pending_.reset();
  }

  void SetConfirmed(bool confirmed) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (pending_) pending_->confirmed = confirmed;
  }

  static BOOL CALLBACK Visit(HWND window, LPARAM self) {
    auto* user = reinterpret_cast<BoxUser*>(self);
    if (Shown(window, L"#32770")) {
      user->Answer(window);
    } else if (Shown(window, L"QNMuroModal")) {
      // The add-in's own windows: the input box has an edit field of its own.
      if (Child(window, L"EDIT") != nullptr) {
        user->Type(window);
      } else {
        user->Play(window);
      }
      for (int i = 0; i < 500 && IsWindow(window) && IsWindowVisible(window); ++i) Sleep(10);
    }
    return TRUE;
  }

  void Type(HWND box) {
    HWND edit = Child(box, L"EDIT");
    std::optional<std::u16string> text;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      text = answers_.AskText(WindowText(Child(box, L"STATIC")), WindowText(box), WindowText(edit));
    }
    if (text) SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text->c_str()));
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(text ? IDOK : IDCANCEL, BN_CLICKED), 0);
  }

  // A control's notification, as the control itself would give it. The handler it starts may
  // show message boxes: they are answered until the handler has run to its end.
  void Notify(HWND window, HWND control, int code) {
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), code),
                 reinterpret_cast<LPARAM>(control));
    Settle(window);
  }

  // A message sent to the window returns once its thread takes messages again: in a box's
  // loop, or back in the window's own once the handler has returned. Answered three times over
  // with no box shown means the handler is done; a box shown once the window has gone is the
  // caller's, for the main loop to answer.
  void Settle(HWND window) {
    for (int quiet = 0; quiet < 3;) {
      DWORD_PTR ignored = 0;
      const bool answered =
          SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 200, &ignored) != 0;
      Sleep(20);
      if (!IsWindow(window) || !IsWindowVisible(window)) return;
      if (HWND box = VisibleBox()) {
        Answer(box);
        quiet = 0;
      } else if (answered) {
        ++quiet;
      }
    }
  }

  static HWND VisibleBox() {
    HWND found = nullptr;
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&found));
    return found;
  }
  static BOOL CALLBACK FindBox(HWND window, LPARAM out) {
    if (!Shown(window, L"#32770")) return TRUE;
    *reinterpret_cast<HWND*>(out) = window;
    return FALSE;
  }

  // A visible top-level window of this process, of that class.
  static bool Shown(HWND window, const wchar_t* window_class) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t found[16] = {};
    GetClassNameW(window, found, 16);
    return process == GetCurrentProcessId() && IsWindowVisible(window) &&
           std::wstring(found) == window_class;
  }

  // A form: the queued answer's text in its first combo box, its item in the first list box,
  // then "确定"; a form still open after that, or without an answer, gets "取消".
  void Play(HWND form) {
    std::optional<FormAnswer> answer;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      answer = answers_.TakeFormAnswer();
      pending_ = PendingForm{form, WindowText(form), {}, false, !answer};
    }
    if (answer && !answer->cancel) {
      if (HWND combo = Child(form, L"COMBOBOX"); combo != nullptr && answer->combo_text) {
        const LPARAM text = reinterpret_cast<LPARAM>(answer->combo_text->c_str());
        const LRESULT item = SendMessageW(combo, CB_FINDSTRINGEXACT, -1, text);
        if (item >= 0) {
          SendMessageW(combo, CB_SETCURSEL, item, 0);
          Notify(form, combo, CBN_SELCHANGE);
        } else {
          SendMessageW(combo, WM_SETTEXT, 0, text);
          Notify(form, combo, CBN_EDITCHANGE);
        }
        Picked(*answer->combo_text);
      }
      if (HWND list = Child(form, L"LISTBOX");
          IsWindowVisible(form) && list != nullptr && answer->list_item) {
        const LPARAM text = reinterpret_cast<LPARAM>(answer->list_item->c_str());
        SendMessageW(list, LB_SETCURSEL, SendMessageW(list, LB_FINDSTRINGEXACT, 0, text), 0);
        Notify(form, list, LBN_SELCHANGE);
        Picked(*answer->list_item);
      }
      // Confirmed when the OK handler closes the form.
      if (HWND ok = ButtonCaptioned(form, kOkCaption); IsWindowVisible(form) && ok != nullptr) {
        SetConfirmed(true);
        Notify(form, ok, BN_CLICKED);
      }
    }
    if (IsWindow(form) && IsWindowVisible(form)) {
      SetConfirmed(false);
      if (HWND cancel = ButtonCaptioned(form, kCancelCaption)) Notify(form, cancel, BN_CLICKED);
    }
    if (IsWindow(form) && IsWindowVisible(form)) {
      PostMessageW(form, WM_CLOSE, 0, 0);
      Settle(form);
    }
  }

  void Picked(const std::u16string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (pending_) pending_->picked.push_back(text);
  }

  void Answer(HWND box) {
    const bool yes = GetDlgItem(box, IDYES) != nullptr, ok = GetDlgItem(box, IDOK) != nullptr;
    const bool cancel = GetDlgItem(box, IDCANCEL) != nullptr;
    const MsgButtons buttons = yes ? (cancel ? MsgButtons::kYesNoCancel : MsgButtons::kYesNo)
                                   : (ok && cancel ? MsgButtons::kOkCancel : MsgButtons::kOk);
    MsgAnswer answer;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      answer = answers_.ShowMessage(WindowText(box, 0xFFFF), buttons, IconOf(box), WindowText(box));
    }
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

  static inline BoxUser* active_ = nullptr;
  ScriptedUi& answers_;
  std::mutex mutex_;  // the scripted UI and the pending form, between this thread and the hook
  std::optional<PendingForm> pending_;
  HHOOK hook_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// The add-in as the word processor loads it: by ProgID, connected through IDTExtensibility2
// with the application's automation object. Before it is disconnected, `last_call` may use it
// as any automation client would.
class ComAddIn final : public host::AddIn {
 public:
  ComAddIn(ScriptedUi& ui, std::function<void(LateBound&)> last_call)
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
  // control file (naming this server and the workflow action), its data source and an article
  // to insert; the server serves the templates, seals, report template and original draft.
  void HandOver() {
    std::error_code ec;
    fs::remove_all(work_, ec);
    fs::remove_all(server_root_ / "documents" / "6F2A", ec);
    fs::create_directories(work_);
    fs::copy_file(examples_ / "docmarkline.bmp", work_ / "docmarkline.bmp");
    ASSERT_EQ(Run(ReadBytes(examples_ / "make_notice.run"), {}), 0);
    ASSERT_EQ(Run(ReadBytes(examples_ / "make_templates.run"), {}), 0);
    const fs::path files = server_root_ / "files";
    for (const auto& [name, unid] : {std::pair("notice_red.wps", "A1B2C3"),
                                     {"notice_plain.wps", "A1B2C3"},
                                     {"notice_draft.doc", "6F2A"},
                                     {"report.doc", "R1"},
                                     {"office_seal.png", "5EA1"},
                                     {"finance_seal.png", "5EA1"}}) {
      fs::create_directories(files / unid);
      const fs::path made = work_ / name;
      // mingw's library cannot copy over a file.
      fs::remove(files / unid / name, ec);
      fs::copy_file(fs::exists(made) ? made : examples_ / name, files / unid / name);
      fs::remove(made, ec);
    }
    // As examples/toolbar_control.sh writes it: the workflow action, every address on this
    // server, 请示 with a template the dialog does not offer, two seals, the report template in
    // the first extend parameter.
    const std::string base = "http://" + server_;
    std::string control = ReadBytes(examples_ / "control.xml");
    for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
             {"<action>DraftDocument</action>", std::string("<action>") + GetParam() + "</action>"},
             {"http://127.0.0.1:8080", base},
             {"request.wps", "request.doc"},
             {"<templateFile>office_seal.gif</templateFile>",
              "<templateFile>office_seal.png</templateFile><templateName>财务专用章</templateName>"
              "<templateFile>finance_seal.png</templateFile>"},
             {"<value>青办〔2026〕12号</value>",
              "<value>" + base + "/oa/doc.nsf/0/R1/$file/report.doc</value>"}}) {
      for (size_t at = control.find(from); at != std::string::npos;
           at = control.find(from, at + to.size())) {
        control.replace(at, from.size(), to);
      }
    }
    WriteBytes(work_ / "notice.xml", control);
    fs::copy_file(examples_ / "notice.ds.xml", work_ / "notice.ds.xml");
    transcript_.str("");
  }

  // Runs a session from a fresh hand-over twice, with the add-in linked in and then through
  // COM, and returns both transcripts (seal times and button faces left out) with what the
  // server held after each run. `last_call` uses the COM add-in before it is disconnected.
  struct Runs {
    std::string linked_in, through_com;
    std::u16string uploaded_linked_in, uploaded_through_com;
  };
  Runs RunBoth(const std::string& session, std::function<void(LateBound&)> last_call = {}) {
    Runs runs;
    HandOver();
    EXPECT_EQ(Run(session,
                  {[](const Context& services) { return std::make_unique<WPSaddin>(services); }}),
              0);
    runs.linked_in = Comparable(transcript_.str());
    runs.uploaded_linked_in = Uploaded();
    HandOver();
    // Set before the add-in is created: its work directory is read then.
    _wputenv_s(L"QNMURO_WORKDIR", work_.wstring().c_str());
    EXPECT_EQ(Run(session, {[&](const Context& services) {
                    return std::make_unique<ComAddIn>(dynamic_cast<ScriptedUi&>(*services.ui),
                                                      last_call);
                  }}),
              0);
    runs.through_com = Comparable(transcript_.str());
    // Kept beside the work directory, for a look after a failure.
    WriteBytes(work_.parent_path() / "road-linked-in.txt", runs.linked_in);
    WriteBytes(work_.parent_path() / "road-through-com.txt", runs.through_com);
    runs.uploaded_through_com = Uploaded();
    return runs;
  }

  // A seal is named after the time it was stamped, by the add-in's clock (the host's clock
  // when linked in); a button's face travels as a picture without its label ("F1"), and the
  // adapter's own tests compare faces.
  static std::string Comparable(const std::string& transcript) {
    const std::string faces =
        std::regex_replace(transcript, std::regex("\\[(F[0-9])?\\]( |\n)"), "$2");
    return std::regex_replace(faces, std::regex("Seal[0-9]{4}-[0-9-]{5} [0-9:]{8}"), "Seal<time>");
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
    options.services.work_dir = services_.work_dir;
    options.add_ins = std::move(add_ins);
    return simhost::RunScript(script, options);
  }

  // The notice the server now holds, with the text the clerk typed.
  std::u16string Uploaded() {
    const fs::path stored = server_root_ / "documents" / "6F2A" / "notice.doc";
    if (!fs::exists(stored)) return u"(nothing uploaded)";
    ScriptedUi ui;
    auto clock = NewVirtualClock(FromLocalTime(LocalTime{2026, 12, 8, 9, 0, 0}));
    auto app = simhost::NewSimApplication(hostkit::HostOptions{&ui, clock.get(), FromPath(work_)});
    return app->GetDocuments().Open(FromPath(stored), true)->Content()->Text();
  }

  fs::path examples_, server_root_, work_;
  std::string server_;
  Services services_;
  std::ostringstream transcript_;
};

// Where two transcripts part: that line of each and the two after it; nothing when they agree.
std::string Difference(const std::string& got, const std::string& want) {
  std::istringstream a(got), b(want);
  std::string line_a, line_b;
  for (int n = 1;; ++n) {
    bool more_a = static_cast<bool>(std::getline(a, line_a));
    bool more_b = static_cast<bool>(std::getline(b, line_b));
    if (!more_a && !more_b) return "";
    if (more_a && more_b && line_a == line_b) continue;
    std::string out = "from line " + std::to_string(n) + "\n";
    for (int i = 0; i < 3 && more_a; ++i, more_a = static_cast<bool>(std::getline(a, line_a))) {
      out += "  through COM: " + line_a + "\n";
    }
    for (int i = 0; i < 3 && more_b; ++i, more_b = static_cast<bool>(std::getline(b, line_b))) {
      out += "  linked in:   " + line_b + "\n";
    }
    return out;
  }
}

// Opening in each workflow action, the toolbar's clicks, an edit, saving with its upload and
// closing; and an agent call by name to the server the control file names.
TEST_P(DocumentRoadTest, TheClerksSessionGoesTheSameWayThroughCom) {
  std::u16string agent_answer;
  const Runs runs = RunBoth(ReadBytes(examples_ / "open_notice.run"), [&](LateBound& addin) {
    Variant agent = Variant::String(u"echo"), query = Variant::String(u"&id=7");
    Variant body = Variant::String(u"公文"), xml = Variant::Bool(true);
    agent_answer = addin.Call(L"ExecuteAgent", {&agent, &query, &body, &xml}).Text();
  });
  EXPECT_EQ(Difference(runs.through_com, runs.linked_in), "");
  // A document opened for viewing is never uploaded.
  const bool uploads = std::string(GetParam()) != "ViewDocument";
  EXPECT_EQ(runs.uploaded_linked_in.find(u"审核补充。") != std::u16string::npos, uploads);
  EXPECT_EQ(runs.uploaded_through_com, runs.uploaded_linked_in);
  EXPECT_NE(agent_answer.find(u"公文"), std::u16string::npos) << U8(agent_answer);
  EXPECT_NE(agent_answer.find(u"id=7"), std::u16string::npos) << U8(agent_answer);
}

// Every button but the original draft's (which starts another program): file and report
// insertion, the template change dialog, two seals placed on the page, the return to the OA
// system with its upload.
TEST_P(DocumentRoadTest, TheToolbarsDialogsAndSealsGoTheSameWayThroughCom) {
  const std::string session =
      std::regex_replace(ReadBytes(examples_ / "toolbar.run"), std::regex("click 查看原文\n"), "");
  const Runs runs = RunBoth(session);
  EXPECT_EQ(Difference(runs.through_com, runs.linked_in), "");
  EXPECT_EQ(runs.uploaded_through_com, runs.uploaded_linked_in);
}

INSTANTIATE_TEST_SUITE_P(Actions, DocumentRoadTest,
                         ::testing::Values("DraftDocument", "ViewDocument", "ApproveDocument",
                                           "FinalizeDocument"));

}  // namespace
}  // namespace qnmuro::com
