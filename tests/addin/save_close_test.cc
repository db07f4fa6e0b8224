// Saving and closing the workflow document against the development OA server on 127.0.0.1.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "addin/save_reminder.h"
#include "oaserver/oa_server.h"
#include "support/addin_fixture.h"
#include "transfer/pending_uploads.h"
#include "transfer/version_tags.h"

namespace qnmuro::test_util {
namespace {

namespace fs = std::filesystem;
using std::chrono::minutes;

constexpr char16_t kQuestion[] = u"是否要保存文档到服务器？";
constexpr char16_t kKept[] = u"文档未能上传到服务器，已保存在本机，将在能够连接服务器时自动上传。";
constexpr char16_t kNotKept[] =
    u"文档未能上传到服务器，也无法在本机保存待上传的副本（磁盘可能已满），请将文档另存到其他位置。";
constexpr char16_t kRefused[] =
    u"服务器拒绝了您的用户名或密码，文档没有上传，已保存在本机；再次保存时可重新输入密码。";
constexpr char16_t kConflict[] =
    u"服务器上的文档已被其他用户修改，您的版本没有覆盖它，已保存在本机。";
constexpr char16_t kCloseError[] =
    u"文件关闭时发生错误，您对文档的修改可能无法保存或者更新到服务器，请联系系统管理员！";

class SaveCloseTest : public AddinTest {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(Start(0)); }
  void TearDown() override { server_->Stop(); }
  // The server on `port` (0: a free one; else back on its port after a stop), knowing `users`.
  void Start(int port, std::vector<OaUser> users = {}) {
    fs::create_directories(dir_ / "server");
    OaServerOptions options;
    options.root = dir_ / "server";
    options.users = std::move(users);
    options.log = [this](const std::string& line) {
      std::lock_guard<std::mutex> lock(mu_);
      requests_.push_back(line);
      logged_.notify_all();
    };
    server_ = std::make_unique<OaServer>(options);
    std::string error;
    const int started = server_->Start("127.0.0.1", port, &error);
    ASSERT_TRUE(port == 0 ? started > 0 : started == port) << started << " " << error;
  }

  std::string UploadUrl(const std::string& path = "/oa/doc.nsf/upload?OpenAgent") {
    return server_->BaseUrl() + path;
  }
  std::shared_ptr<host::Document> OpenNotice(const char* action, const std::string& upload) {
    MakeDocument(u"notice.doc", NoticeDocument());
    WriteControl(u"notice.doc", action, "查看痕迹", upload);
    return OpenWorkflow(u"notice.doc");
  }
  void Edit() { app_->GetSelection()->TypeText(u"改动"); }
  fs::path Uploaded() const { return dir_ / "server" / "documents" / "6F2A" / "notice.doc"; }
  std::vector<std::u16string> BoxTexts() const {
    std::vector<std::u16string> out;
    for (const auto& b : Boxes()) out.push_back(b.text);
    return out;
  }
  std::vector<std::string> Requests() {
    std::lock_guard<std::mutex> lock(mu_);
    return requests_;
  }

  // The server logs a request on its own thread, possibly after answering it: waits (at most
  // a few seconds) until a request line containing `part` has been logged.
  bool Logged(const std::string& part) {
    std::unique_lock<std::mutex> lock(mu_);
    return logged_.wait_for(lock, std::chrono::seconds(5), [&] {
      for (const auto& r : requests_) {
        if (r.find(part) != std::string::npos) return true;
      }
      return false;
    });
  }

  std::unique_ptr<OaServer> server_;
  std::mutex mu_;
  std::condition_variable logged_;
  std::vector<std::string> requests_;
};

TEST_F(SaveCloseTest, UnchangedSaveAsksNothing) {
  const auto doc = OpenNotice("DraftDocument", UploadUrl());
  doc->Save();
  EXPECT_TRUE(Boxes().empty());
  EXPECT_FALSE(fs::exists(Uploaded()));
}

TEST_F(SaveCloseTest, ChangedDraftAsksOnceAndUploads) {
  const struct {
    std::string path;
    std::string confirm;  // how the query text joins the upload address
  } cases[] = {
      {"/oa/doc.nsf/upload?OpenAgent",
       "/oa/doc.nsf/upload?OpenAgent&action=upload&unid=6F2A&method=replacecontent&ctlaction=10"
       "&lastflag=last&filename="},
      {"/oa/doc.nsf/upload",
       "/oa/doc.nsf/upload?action=upload&unid=6F2A&method=replacecontent&ctlaction=10"
       "&lastflag=last&filename="},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    ui_.ClearRecords();
    const auto doc = OpenNotice("DraftDocument", UploadUrl(c.path));
    clock_->Advance(minutes(30));
    Edit();
    ui_.QueueAnswer(MsgAnswer::kYes);
    doc->Save();
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kQuestion);
    EXPECT_EQ(boxes[0].title, u"QNSoft");
    EXPECT_EQ(boxes[0].icon, MsgIcon::kQuestion);
    EXPECT_EQ(boxes[0].buttons, MsgButtons::kYesNo);
    EXPECT_TRUE(doc->Saved());
    ASSERT_TRUE(fs::exists(Uploaded()));
    EXPECT_EQ(ReadBytes(Uploaded()), ReadBytes(dir_ / "notice.doc"));
    EXPECT_FALSE(fs::is_empty(dir_ / "qnoawork.bak")) << "a backup is kept";
    EXPECT_TRUE(Logged(c.confirm));
    // The save restarted the reminder's count.
    EXPECT_EQ(addin_->reminder()->iTime, 0);
    EXPECT_TRUE(addin_->reminder()->TimerEnabled());
    ui_.QueueAnswer(MsgAnswer::kNo);
    doc->Close();
    fs::remove_all(dir_ / "server" / "documents");
  }
}

TEST_F(SaveCloseTest, OwnSaveRaisedAgainDoesNotAskTwice) {
  const auto doc = OpenNotice("DraftDocument", UploadUrl());
  Edit();
  // While the question is up, the host raises before-save once more for the same document.
  ui_.OnMessage(kQuestion, [&] {
    bool save_as = false, cancel = false;
    addin_->wpsApp_DocumentBeforeSave(*doc, save_as, cancel);
  });
  ui_.QueueAnswer(MsgAnswer::kYes);
  doc->Save();
  EXPECT_EQ(BoxTexts(), (std::vector<std::u16string>{kQuestion}));
  EXPECT_TRUE(Logged("&lastflag=last"));
  int uploads = 0;
  for (const auto& r : Requests()) uploads += r.find("/upload.muro") != std::string::npos;
  EXPECT_EQ(uploads, 1);
}

TEST_F(SaveCloseTest, NoAtCloseCleansUp) {
  const auto doc = OpenNotice("DraftDocument", UploadUrl());
  Edit();
  ui_.QueueAnswer(MsgAnswer::kNo);
  doc->Close();
  EXPECT_EQ(BoxTexts(), (std::vector<std::u16string>{kQuestion})) << "the host does not ask";
  EXPECT_FALSE(fs::exists(Uploaded()));
  EXPECT_TRUE(Toolbar().empty());
  EXPECT_EQ(app_->UserName(), u"原用户");
  EXPECT_EQ(app_->UserInitials(), u"YY");
  EXPECT_EQ(addin_->reminder(), nullptr);
  EXPECT_EQ(addin_->workflow_document(), nullptr);
  EXPECT_EQ(Setting(u"WindowState"), 2);
  EXPECT_EQ(Setting(u"DrawingObjects"), 1);
  EXPECT_TRUE(OptionsItemEnabled());
  EXPECT_TRUE(addin_->IsContentDocument());
}

TEST_F(SaveCloseTest, UploadFailureAtCloseKeepsBarAndReminder) {
  const auto doc = OpenNotice("DraftDocument", nowhere_.url("/oa/doc.nsf/upload?OpenAgent"));
  Edit();
  ui_.QueueAnswer(MsgAnswer::kYes);
  doc->Close();
  EXPECT_EQ(BoxTexts(), (std::vector<std::u16string>{kQuestion, kCloseError, kKept}));
  EXPECT_EQ(Boxes()[1].title, u"QNSoft");
  EXPECT_FALSE(Toolbar().empty());
  ASSERT_NE(addin_->reminder(), nullptr);
  EXPECT_TRUE(addin_->reminder()->TimerEnabled());
  EXPECT_FALSE(addin_->closing());
  EXPECT_EQ(app_->UserName(), u"张三/办公室/青禾");
  EXPECT_TRUE(fs::exists(dir_ / "notice.doc"));
}

TEST_F(SaveCloseTest, ViewModeUploadsNothing) {
  const auto doc = OpenNotice("ViewDocument", UploadUrl());
  Edit();  // a tracked change
  doc->Close();
  EXPECT_TRUE(Boxes().empty());
  EXPECT_FALSE(fs::exists(Uploaded()));
  EXPECT_TRUE(Requests().empty());
  EXPECT_TRUE(Toolbar().empty());
  EXPECT_TRUE(OptionsItemEnabled());
}

TEST_F(SaveCloseTest, SavingAnotherDocumentLeavesEverythingAlone) {
  OpenNotice("DraftDocument", UploadUrl());
  MakeDocument(u"other.doc", DocumentLayout{u"x\r", {}, {}});
  const auto other = Open(u"other.doc");
  app_->GetSelection()->TypeText(u"y");
  other->Save();
  EXPECT_TRUE(Boxes().empty());
  EXPECT_TRUE(Requests().empty());
}

TEST_F(SaveCloseTest, DocumentWhoseControlFileFailedIsNeverUploaded) {
  // A good draft first, so that the records hold an upload address.
  const auto first = OpenNotice("DraftDocument", UploadUrl());
  ui_.QueueAnswer(MsgAnswer::kNo);
  first->Close();
  MakeDocument(u"broken.doc", NoticeDocument());
  WriteBytes(dir_ / "broken.xml", "<config>");
  const auto doc = OpenWorkflow(u"broken.doc");
  ui_.ClearRecords();
  app_->GetSelection()->TypeText(u"本地修改");
  doc->Save();
  EXPECT_TRUE(Boxes().empty());
  app_->GetSelection()->TypeText(u"再改");
  ui_.QueueAnswer(MsgAnswer::kNo);  // the host's own unsaved-changes question
  doc->Close();
  const auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u) << "only the host asks, so local changes are not lost silently";
  EXPECT_NE(boxes[0].text, kQuestion);
  EXPECT_EQ(boxes[0].buttons, MsgButtons::kYesNoCancel);
  EXPECT_TRUE(Requests().empty());
  EXPECT_TRUE(Toolbar().empty());
}

TEST_F(SaveCloseTest, ClosingAFailedFirstDocumentKeepsTheHostsUserName) {
  // Its open never replaced the user name, so there is nothing to give back at close.
  app_->SetUserName(u"Clerk");
  app_->SetUserInitials(u"C");
  MakeDocument(u"broken.doc", NoticeDocument());
  WriteBytes(dir_ / "broken.xml", "<config>");
  const auto doc = OpenWorkflow(u"broken.doc");
  doc->Close();
  EXPECT_EQ(app_->UserName(), u"Clerk");
  EXPECT_EQ(app_->UserInitials(), u"C");
}

TEST_F(SaveCloseTest, ExecuteAgentAsksTheServerAtTheRootUrl) {
  addin_->state().records.commonInfo.rootUrl = U16(server_->BaseUrl() + "/oa/doc.nsf");
  const std::u16string reply = addin_->ExecuteAgent(u"echo", u"&who=zhangsan", u"体", true);
  EXPECT_NE(reply.find(u"who=zhangsan"), std::u16string::npos) << U8(reply);
  EXPECT_TRUE(Logged("/oa/doc.nsf/echo?OpenAgent&who=zhangsan"))
      << (Requests().empty() ? "" : Requests().back());
}

// A version the server did not take: the clerk is told at once, it waits in the pending
// uploads, and it goes up when the next workflow document opens with the server back. Another
// user's version on the server makes it a conflict instead, told as one, never sent over it.
TEST_F(SaveCloseTest, AVersionTheServerDidNotTakeIsToldKeptAndSentLater) {
  struct Case {
    const char* name;
    bool conflict;
    const char16_t* box;
  };
  for (const Case& c : {Case{"server down", false, kKept}, Case{"conflict", true, kConflict}}) {
    SCOPED_TRACE(c.name);
    ui_.ClearRecords();
    Context ctx = addin_->context();
    const int port = server_->port();
    if (c.conflict) {
      RecordVersionTag(ctx, {u"6F2A", u"notice.doc"}, u"\"a version nobody has\"");
    } else {
      server_->Stop();
    }
    const auto doc = OpenNotice("DraftDocument", UploadUrl());
    app_->GetSelection()->TypeText(U16(c.name));  // each case a version of its own
    ui_.QueueAnswer(MsgAnswer::kYes);
    doc->Save();
    ASSERT_EQ(BoxTexts(), (std::vector<std::u16string>{kQuestion, c.box}));
    EXPECT_EQ(Boxes()[1].title, u"QNSoft");
    EXPECT_EQ(Boxes()[1].icon, MsgIcon::kInformation);
    EXPECT_EQ(Boxes()[1].buttons, MsgButtons::kOk);
    const std::string saved = ReadBytes(dir_ / "notice.doc");
    std::vector<PendingEntry> kept = PendingUploads(ctx).List();
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].conflict, c.conflict);
    EXPECT_EQ(ReadBytes(ToPath(kept[0].BodyPath())), saved);
    EXPECT_NE(ReadBytes(Uploaded()), saved);

    ui_.QueueAnswer(MsgAnswer::kNo);
    doc->Close();
    if (!c.conflict) {
      ASSERT_NO_FATAL_FAILURE(Start(port));
    }
    const auto again = OpenNotice("DraftDocument", UploadUrl());
    EXPECT_EQ(ReadBytes(Uploaded()) == saved, !c.conflict);
    EXPECT_EQ(PendingUploads(ctx).List().size(), c.conflict ? 1u : 0u);
    ui_.QueueAnswer(MsgAnswer::kNo);
    again->Close();
    for (const PendingEntry& e : PendingUploads(ctx).List()) PendingUploads(ctx).Drop(e.id);
  }
}

// No copy can be kept (here a file stands where the pending uploads go; a full disk alike) and
// the server does not take the version: the clerk is not told it will be sent, at the save nor
// at the close.
TEST_F(SaveCloseTest, AVersionThatCouldNotBeKeptIsNeverToldKept) {
  Context ctx = addin_->context();
  WriteBytes(ToPath(ctx.work_dir) / "pending", "in the way");
  server_->Stop();
  const auto doc = OpenNotice("DraftDocument", UploadUrl());
  Edit();
  ui_.QueueAnswer(MsgAnswer::kYes);
  doc->Save();
  EXPECT_EQ(BoxTexts(), (std::vector<std::u16string>{kQuestion, kNotKept}));
  ui_.ClearRecords();
  Edit();
  ui_.QueueAnswer(MsgAnswer::kYes);
  doc->Close();
  EXPECT_EQ(BoxTexts(), (std::vector<std::u16string>{kQuestion, kCloseError, kNotKept}));
  EXPECT_TRUE(PendingUploads(ctx).List().empty());
}

// An upload address that can never work (not an absolute http(s) URL) is said so, not promised
// for later; the version is kept, marked, and a retry passes it over instead of stopping at it.
TEST_F(SaveCloseTest, AnUploadAddressThatCanNeverWorkIsSaidSo) {
  const std::u16string no_address =
      u"文档未能上传到服务器：配置文件中的上传地址不是有效的http或https地址，文档已保存在本机，"
      u"但无法自动上传，请联系系统管理员。";
  for (const char* address : {"oa/doc.nsf/upload?OpenAgent&amp;unid=6F2A", ""}) {
    SCOPED_TRACE(address);
    ui_.ClearRecords();
    const auto doc = OpenNotice("DraftDocument", address);
    Edit();
    ui_.QueueAnswer(MsgAnswer::kYes);
    doc->Save();
    EXPECT_EQ(BoxTexts(), (std::vector<std::u16string>{kQuestion, no_address}));
    Context ctx = addin_->context();
    const std::vector<PendingEntry> kept = PendingUploads(ctx).List();
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_FALSE(kept[0].AddressUsable());
    const RetryReport report = PendingUploads(ctx).RetryAll();
    EXPECT_EQ(report.no_address, 1);
    EXPECT_EQ(report.failed + report.untried, 0);
    ui_.QueueAnswer(MsgAnswer::kNo);
    doc->Close();
    PendingUploads(ctx).Drop(kept[0].id);
  }
}

// The server refuses the password the control file gives: the clerk is asked for it in the
// password box, and the version goes with the one given (and so do the document's later
// saves); without one it is kept, marked, and the clerk told so.
TEST_F(SaveCloseTest, ARefusedPasswordIsAskedForAgain) {
  for (bool given : {true, false}) {
    SCOPED_TRACE(given ? "given" : "cancelled");
    ui_.ClearRecords();
    const int port = server_->port();
    server_->Stop();
    ASSERT_NO_FATAL_FAILURE(Start(port, {OaUser{"zhangsan", "newpass", ""}}));
    fs::remove_all(dir_ / "server" / "documents");
    const auto doc = OpenNotice("DraftDocument", UploadUrl());
    Edit();
    ui_.QueueAnswer(MsgAnswer::kYes);
    ui_.QueueInput(given ? std::optional<std::u16string>(u"newpass") : std::nullopt);
    doc->Save();
    Context ctx = addin_->context();
    const std::vector<PendingEntry> kept = PendingUploads(ctx).List();
    if (given) {
      EXPECT_EQ(BoxTexts(), (std::vector<std::u16string>{kQuestion}));
      EXPECT_EQ(ReadBytes(Uploaded()), ReadBytes(dir_ / "notice.doc"));
      EXPECT_TRUE(kept.empty());
      Edit();
      ui_.QueueAnswer(MsgAnswer::kYes);
      doc->Save();
      EXPECT_EQ(BoxTexts(), (std::vector<std::u16string>{kQuestion, kQuestion}));
      EXPECT_EQ(ReadBytes(Uploaded()), ReadBytes(dir_ / "notice.doc"));
    } else {
      EXPECT_EQ(BoxTexts(), (std::vector<std::u16string>{kQuestion, kRefused}));
      EXPECT_FALSE(fs::exists(Uploaded()));
      ASSERT_EQ(kept.size(), 1u);
      EXPECT_TRUE(kept[0].refused);
    }
    ui_.QueueAnswer(MsgAnswer::kNo);
    doc->Close();
    for (const PendingEntry& e : PendingUploads(ctx).List()) PendingUploads(ctx).Drop(e.id);
  }
}

// The word processor left open after a failed save: the kept version goes at the reminder's
// ticks once the server is back (tried every five minutes while one waits), saying nothing.
TEST_F(SaveCloseTest, AKeptVersionGoesAtTheRemindersTicksOnceTheServerIsBack) {
  const int port = server_->port();
  server_->Stop();
  const auto doc = OpenNotice("DraftDocument", UploadUrl());
  Edit();
  ui_.QueueAnswer(MsgAnswer::kYes);
  doc->Save();
  ASSERT_EQ(BoxTexts(), (std::vector<std::u16string>{kQuestion, kKept}));
  ASSERT_NO_FATAL_FAILURE(Start(port));
  clock_->Advance(minutes(4));
  EXPECT_FALSE(fs::exists(Uploaded()));
  clock_->Advance(minutes(1));
  EXPECT_EQ(ReadBytes(Uploaded()), ReadBytes(dir_ / "notice.doc"));
  Context ctx = addin_->context();
  EXPECT_TRUE(PendingUploads(ctx).List().empty());
  EXPECT_EQ(Boxes().size(), 2u);
}

}  // namespace
}  // namespace qnmuro::test_util
