// qnmuro.oxt installed into a fresh profile of Writer: a document the OA system hands over
// opens prepared by the add-in inside Writer, and Writer's own save and close upload it. All
// checks are made from outside, through Writer's API, the server's files and the transcript.
#include <gtest/gtest.h>
#include <unistd.h>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/frame/DispatchHelper.hpp>
#include <com/sun/star/frame/XDispatchProvider.hpp>
#include <com/sun/star/frame/XLayoutManager.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/ui/XUIElementSettings.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>

#include "addin/wps_addin.h"
#include "base/text.h"
#include "common/identity.h"
#include "common/registry.h"
#include "lohost/lo_model.h"
#include "lohost/writer_host.h"
#include "platform/registry_store.h"
#include "platform/services_posix.h"
#include "support/oa_server_process.h"
#include "support/served_fixture.h"
#include "support/temp_dir.h"

namespace qnmuro::lohost {
namespace {

namespace fs = std::filesystem;
using css::uno::UNO_QUERY_THROW;
using test_util::ReadBytes;

// The labels of a document window's toolbar, from Writer's layout manager.
std::vector<std::u16string> ToolbarLabels(LoDocument& doc, const char* resource) {
  return Uno([&] {
    Reference<css::frame::XLayoutManager> layout;
    Reference<css::beans::XPropertySet>(doc.Frame(), UNO_QUERY_THROW)
        ->getPropertyValue(Ascii("LayoutManager")) >>= layout;
    std::vector<std::u16string> labels;
    const Reference<css::ui::XUIElementSettings> bar(layout->getElement(Ascii(resource)),
                                                     css::uno::UNO_QUERY);
    if (!bar.is()) return labels;
    const Reference<css::container::XIndexAccess> items = bar->getSettings(false);
    for (sal_Int32 i = 0; i < items->getCount(); ++i) {
      css::uno::Sequence<css::beans::PropertyValue> item;
      items->getByIndex(i) >>= item;
      for (const css::beans::PropertyValue& p : item) {
        OUString label;
        if (p.Name == "Label" && (p.Value >>= label)) labels.push_back(U16(label));
      }
    }
    return labels;
  });
}
using test_util::WriteBytes;

// Waits up to 30 s for `done`: Writer raises a document's load event after the load returns.
bool Within(const std::function<bool()>& done) {
  for (int i = 0; i < 300; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return done();
}

// Sets a variable for Writer to inherit, and removes it again.
class Env {
 public:
  Env(const char* name, const fs::path& value) : name_(name) { setenv(name, value.c_str(), 1); }
  ~Env() { unsetenv(name_); }

 private:
  const char* name_;
};

// Installs the extension into a fresh profile. unopkg refuses to install for root into a user
// profile: as root it runs as nobody.
void InstallExtension(const fs::path& dir, const fs::path& oxt, const fs::path& profile) {
  const std::string unopkg = U8(WriterProgramDir()) + "/unopkg add -env:UserInstallation=" +
                             U8(U16(FileUrl(FromPath(profile)))) + " ";
  std::string install = unopkg + oxt.string();
  if (geteuid() == 0) {
    fs::permissions(dir, fs::perms::all);
    fs::copy_file(oxt, dir / "qnmuro.oxt");
    install = "HOME=" + dir.string() + " setpriv --reuid=65534 --regid=65534 --clear-groups " +
              unopkg + (dir / "qnmuro.oxt").string();
  }
  ASSERT_EQ(std::system((install + " >/dev/null 2>&1").c_str()), 0) << install;
}

// A Word 97 notice with the data source's bookmarks, and the data source beside it.
void WriteNotice(hostkit::ScriptHost& app, const fs::path& work) {
  std::shared_ptr<host::Document> made = app.GetDocuments().Add();
  app.GetSelection()->TypeText(u"文号\r标题\r正文。\r");
  made->GetBookmarks().Add(u"文号", 0, 2);
  made->GetBookmarks().Add(u"标题", 3, 5);
  made->SaveAs(FromPath(work / "notice.doc"));
  made->Close();
  fs::copy_file(fs::path(QNMURO_SOURCE_DIR) / "examples/notice.ds.xml", work / "notice.ds.xml");
}

// Hands the notice over for `action`: its control file, then its name in the registry.
void HandOver(RegistryStore* registry, const fs::path& work, const std::string& server_url,
              const char* action) {
  std::string control = ReadBytes(fs::path(QNMURO_SOURCE_DIR) / "examples/control.xml");
  test_util::ReplaceEvery(control, "http://127.0.0.1:8080", server_url);
  test_util::ReplaceEvery(control, "<action>DraftDocument<",
                          std::string("<action>") + action + "<");
  WriteBytes(work / "notice.xml", control);
  SetRegistryValue(registry, kIdentityKey, u"CurrentFile", u"notice.doc", kRegString,
                   kHkeyLocalMachine);
}

// Clicks the add-in's bar button at `index` in the document's window.
void ClickBarButton(LoDocument& doc, int index) {
  Uno([&] {
    css::frame::DispatchHelper::create(doc.app().context())
        ->executeDispatch(Reference<css::frame::XDispatchProvider>(doc.Frame(), UNO_QUERY_THROW),
                          Ascii(("vnd.qnmuro.wps:QNMuroBar/" + std::to_string(index)).c_str()),
                          Ascii(""), 0, {});
  });
}

// Writer with the extension in a fresh profile, against a development OA server, every box
// answered from `answers` and written to the transcript.
class OxtTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!WriterInstalled()) GTEST_SKIP() << "LibreOffice Writer is not installed";
    const fs::path oxt = fs::path(QNMURO_BIN).parent_path() / "qnmuro.oxt";
    ASSERT_TRUE(fs::is_regular_file(oxt)) << oxt;
    fs::create_directories(work_);
    fs::create_directories(dir_ / "server");
    ASSERT_NO_FATAL_FAILURE(InstallExtension(dir_.path(), oxt, profile_));
    std::string error;
    ASSERT_TRUE(server_.Start(0, &error)) << error;
    registry_ = NewFileRegistryStore(dir_ / "registry.reg");
    CreateRegistryKey(registry_.get(), kIdentityKey, kHkeyLocalMachine);
  }

  // Starts Writer; the boxes take `answers`.
  hostkit::ScriptHost& Start(const std::string& answers) {
    WriteBytes(dir_ / "answers", answers);
    options_.ui = &ui_;
    options_.work_dir = FromPath(work_);
    WriterStartOptions start;
    start.profile_dir = FromPath(profile_);
    app_ = StartWriterHost(options_, start);
    WriteNotice(*app_, work_);
    return *app_;
  }
  void HandOver(const char* action) {
    lohost::HandOver(registry_.get(), work_, server_.BaseUrl(), action);
  }
  std::shared_ptr<LoDocument> OpenNotice() {
    return std::dynamic_pointer_cast<LoDocument>(
        app_->GetDocuments().Open(FromPath(work_ / "notice.doc"), true));
  }
  // Stops Writer; the transcript of every box.
  std::string Stop() {
    app_.reset();
    return ReadBytes(dir_ / "transcript");
  }
  fs::path Stored(const char* name) { return dir_ / "server" / "documents" / "6F2A" / name; }

  test_util::TempDir dir_;
  const fs::path work_ = dir_ / "work", profile_ = dir_ / "profile";
  test_util::OaServerProcess server_{dir_ / "server"};
  std::unique_ptr<RegistryStore> registry_;
  const Env env_[4] = {{"QNMURO_WORKDIR", work_},
                       {"QNMURO_REGISTRY", dir_ / "registry.reg"},
                       {"QNMURO_UI_ANSWERS", dir_ / "answers"},
                       {"QNMURO_UI_TRANSCRIPT", dir_ / "transcript"}};
  ScriptedUi ui_;
  hostkit::HostOptions options_;
  std::unique_ptr<hostkit::ScriptHost> app_;
};

std::u16string Merged(LoDocument& doc, const char16_t* name) {
  return doc.GetBookmarks().Item(name)->GetRange()->Text();
}

TEST_F(OxtTest, HandedOverDocumentIsPreparedSavedAndUploadedInsideWriter) {
  hostkit::ScriptHost& app = Start("answer yes\nanswer no\n");
  HandOver("DraftDocument");
  const std::u16string own_name = app.UserName();
  auto doc = OpenNotice();
  ASSERT_NE(doc, nullptr);
  EXPECT_TRUE(Within([&] { return Merged(*doc, u"标题") == u"关于召开年度工作会议的通知"; }))
      << U8(Merged(*doc, u"标题"));
  EXPECT_EQ(Merged(*doc, u"文号"), u"青办〔2026〕12号");
  EXPECT_EQ(app.UserName(), WorkflowUserName(u"张三/办公室/青禾", u"张三"));

  // The add-in's toolbar in the document's window; a click on 查看痕迹 reaches the add-in.
  EXPECT_EQ(ToolbarLabels(*doc, "private:resource/toolbar/custom_QNMuroBar"),
            (std::vector<std::u16string>{u"返回OA系统", u"查看痕迹", u"隐藏红头", u"引入文章",
                                         u"引入签报", u"更换模板", u"查看原文", u"加盖印章"}));
  ClickBarButton(*doc, 1);
  EXPECT_EQ(ToolbarLabels(*doc, "private:resource/toolbar/custom_QNMuroBar").at(1), u"隐藏痕迹")
      << "the click reached the add-in, which renamed the button";

  // Writer's own save, then its own close: both reach the add-in, which uploads on the save.
  app.GetSelection()->TypeText(u"补充。");
  Uno([&] { Reference<css::frame::XStorable>(doc->model(), UNO_QUERY_THROW)->store(); });
  EXPECT_TRUE(Within([&] { return fs::exists(Stored("notice.doc")); }));
  // 补充 in Word 97's UTF-16 text
  EXPECT_NE(ReadBytes(Stored("notice.doc")).find(std::string("\x65\x88\x45\x51", 4)),
            std::string::npos)
      << "the upload carries the saved text";
  Uno([&] { Reference<css::util::XCloseable>(doc->model(), UNO_QUERY_THROW)->close(true); });
  EXPECT_EQ(app.UserName(), own_name) << "the close put the user's own name back";

  // A second hand-over in the same Writer, to view: prepared again, the revisions locked.
  doc->Dispose();  // this side's handle of the closed document
  HandOver("ViewDocument");
  doc = OpenNotice();
  EXPECT_TRUE(Within([&] { return doc->GetProtectionType() == host::kAllowOnlyRevisions; }));
  EXPECT_EQ(Merged(*doc, u"标题"), u"关于召开年度工作会议的通知");
  EXPECT_EQ(Stop(),
            "MSGBOX [QNSoft] question yes-no: 是否要保存文档到服务器？ => yes\n"
            "MSGBOX [QNSoft] question yes-no: 是否要保存文档到服务器？ => no\n");
}

// Dispatches one of Writer's own commands in the document's window, as its menu or keys do.
void Dispatch(LoDocument& doc, const char* command,
              const css::uno::Sequence<css::beans::PropertyValue>& args = {}) {
  Uno([&] {
    css::frame::DispatchHelper::create(doc.app().context())
        ->executeDispatch(Reference<css::frame::XDispatchProvider>(doc.Frame(), UNO_QUERY_THROW),
                          Ascii(command), Ascii(""), 0, args);
  });
}

// Ctrl+S, a Save As to ODF and the return to the OA system, as a clerk does them: the server
// only ever gets the OA system's notice.doc as a Word 97 file, and after the return has closed
// the last document the next hand-over opens prepared in the same Writer.
TEST_F(OxtTest, SavesReachTheServerUnderTheOwnNameAndTheReturnLeavesWriterReady) {
  hostkit::ScriptHost& app = Start("answer yes\nanswer yes\nanswer yes\n");
  HandOver("DraftDocument");
  auto doc = OpenNotice();
  ASSERT_NE(doc, nullptr);
  EXPECT_TRUE(Within([&] { return Merged(*doc, u"文号") == u"青办〔2026〕12号"; }));
  app.GetSelection()->TypeText(u"补充。");
  Dispatch(*doc, ".uno:Save");
  EXPECT_TRUE(Within([&] { return fs::exists(Stored("notice.doc")); }));

  app.GetSelection()->TypeText(u"再补充。");
  const fs::path copy = work_ / "notice.odt";
  Dispatch(*doc, ".uno:SaveAs",
           Props({{"URL", css::uno::Any(FileUrl(FromPath(copy)))},
                  {"FilterName", css::uno::Any(Ascii("writer8"))}}));
  EXPECT_TRUE(fs::exists(copy)) << "the clerk's copy";
  EXPECT_FALSE(fs::exists(Stored("notice.odt"))) << "the copy went to the server";
  // 再补 in Word 97's UTF-16 text
  EXPECT_NE(ReadBytes(Stored("notice.doc")).find(std::string("\x8d\x51\x65\x88", 4)),
            std::string::npos)
      << "the server's notice.doc has the text saved in the copy";
  EXPECT_EQ(ReadBytes(work_ / "notice.doc").substr(0, 4), "\xd0\xcf\x11\xe0")
      << "the workflow file stays a Word 97 file";

  ClickBarButton(*doc, 0);  // 返回OA系统: the last document closes, the add-in lets go
  EXPECT_TRUE(Within([&] {
    try {
      doc->Controller();  // raises once Writer has closed the document
      return false;
    } catch (const Error&) {
      return true;
    }
  }));
  doc->Dispose();  // this side's handle of the closed document
  HandOver("ApproveDocument");
  doc = OpenNotice();
  ASSERT_NE(doc, nullptr);
  EXPECT_TRUE(Within([&] { return Merged(*doc, u"文号") == u"青办〔2026〕12号"; }))
      << "the next hand-over is merged";
  EXPECT_EQ(app.UserName(), WorkflowUserName(u"张三/办公室/青禾", u"张三"));
  EXPECT_EQ(ToolbarLabels(*doc, "private:resource/toolbar/custom_QNMuroBar").at(0), u"返回OA系统");
  EXPECT_EQ(doc->GetProtectionType(), host::kAllowOnlyRevisions) << "approval locks revisions";
  // Asked at Ctrl+S, at the Save As, at the return's close, and at Writer's end (unanswered).
  const std::string asked = "MSGBOX [QNSoft] question yes-no: 是否要保存文档到服务器？ => yes";
  EXPECT_EQ(Stop(), asked + "\n" + asked + "\n" + asked + "\n" + asked + " (default)\n");
}

}  // namespace
}  // namespace qnmuro::lohost
