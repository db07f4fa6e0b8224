// The add-in connected to the simulated word processor: connection, document open, command
// bar, reminder.
#include "addin/wps_addin.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "addin/save_reminder.h"
#include "base/error.h"
#include "base/text.h"
#include "common/velto_log.h"
#include "platform/shell.h"
#include "support/addin_fixture.h"

namespace qnmuro::test_util {
namespace {

using std::chrono::minutes;

class WPSaddinTest : public AddinTest {};

TEST_F(WPSaddinTest, ConnectionWritesTheStartLineWithVersion) {
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], u"#1： WPS插件开始于2026-12-08 09:00:00（版本：1.2）...");
  EXPECT_FALSE(addin_->IsContentDocument());
  addin_->OnDisconnection();
  const auto after = LogLines();
  ASSERT_GE(after.size(), 3u);
  EXPECT_EQ(after[1], u"#2： WPS插件结束！");
  EXPECT_NE(after[2].find(u"日志结束于"), std::u16string::npos);
  addin_.reset();
}

TEST_F(WPSaddinTest, NonWorkflowDocumentsAreLeftAloneApartFromTracking) {
  MakeDocument(u"x.doc", NoticeDocument());
  // CurrentFile names a document whose control file is missing.
  SetCurrentFileValue(u"x.doc");
  const auto doc = Open(u"x.doc");
  EXPECT_EQ(CurrentFileValue(), u"x.doc");
  EXPECT_FALSE(addin_->IsContentDocument());
  EXPECT_FALSE(doc->TrackRevisions());
  EXPECT_FALSE(doc->ShowRevisions());
  EXPECT_FALSE(doc->PrintRevisions());
  EXPECT_TRUE(Toolbar().empty());
  EXPECT_EQ(app_->UserName(), u"原用户");
  // The log names what the hand-over lacked; a document that was never handed over logs nothing.
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[1].find(NoControlFileLine(u"x.doc", PathOf(u"x.xml"))), std::u16string::npos)
      << U8(lines[1]);
  // An empty CurrentFile, and the single NUL character, are no hand-over either.
  for (std::u16string value : {std::u16string(), std::u16string(1, u'\0')}) {
    WriteControl(u".doc", "DraftDocument");  // a control file named ".xml"
    SetCurrentFileValue(value);
    Open(u"x.doc");
    EXPECT_FALSE(addin_->IsContentDocument());
  }
  EXPECT_EQ(LogLines().size(), 2u);
}

TEST_F(WPSaddinTest, WorkflowDocumentOpensPrepared) {
  MakeDocument(u"notice.doc", NoticeDocument());
  WriteControl(u"notice.doc", "DraftDocument");
  app_->DefineMacro(u"OAOpen", [] {});
  const auto doc = OpenWorkflow(u"notice.doc");
  EXPECT_TRUE(addin_->IsContentDocument());
  EXPECT_EQ(addin_->workflow_document(), doc.get());
  // The hand-over is used up: the next document opened is an ordinary one.
  EXPECT_EQ(CurrentFileValue(), u"");
  EXPECT_EQ(app_->UserName(), u"张三/办公室/青禾");
  EXPECT_EQ(app_->UserInitials(), u"张三");
  EXPECT_EQ(Toolbar(),
            (std::vector<std::u16string>{u"返回OA系统[F1]", u"查看痕迹[F2]", u"隐藏红头[F3]"}));
  EXPECT_FALSE(doc->ShowRevisions());
  EXPECT_FALSE(doc->PrintRevisions());
  EXPECT_EQ(Setting(u"ShowDrawings"), 1);
  EXPECT_EQ(Setting(u"DrawingObjects"), 1);
  EXPECT_NE(addin_->reminder(), nullptr);
  const auto lines = LogLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), u"#2： 文档“" + PathOf(u"notice.doc") + u"”初始化完毕！");
  EXPECT_TRUE(Boxes().empty());

  MakeDocument(u"other.doc", DocumentLayout{u"x\r", {}, {}});
  const size_t before = LogLines().size();
  Open(u"other.doc");
  EXPECT_EQ(addin_->workflow_document(), doc.get());
  EXPECT_EQ(LogLines().size(), before);
}

TEST_F(WPSaddinTest, UserNameFromFullNameAndLastName) {
  const struct {
    const char* full;
    const char16_t* user;
  } cases[] = {{"A/B/C", u"Z/B/C"}, {"ABC", u"Z"}, {"/B/C", u"Z"}};
  MakeDocument(u"n.doc", NoticeDocument());
  for (const auto& c : cases) {
    WriteControl(u"n.doc", "ViewDocument");
    std::string xml = ReadBytes(dir_ / "n.xml");
    xml.replace(xml.find("<lastName>张三</lastName>"), strlen("<lastName>张三</lastName>"),
                "<lastName>Z</lastName>");
    xml.replace(xml.find("<fullName>张三/办公室/青禾</fullName>"),
                strlen("<fullName>张三/办公室/青禾</fullName>"),
                std::string("<fullName>") + c.full + "</fullName>");
    WriteBytes(dir_ / "n.xml", xml);
    const auto doc = OpenWorkflow(u"n.doc");
    EXPECT_EQ(app_->UserName(), c.user) << c.full;
    EXPECT_EQ(app_->UserInitials(), u"Z");
    doc->Close();
  }
}

TEST_F(WPSaddinTest, ToolbarFacesAndButtons) {
  MakeDocument(u"t.doc", NoticeDocument());
  const struct {
    const char* buttons;
    const char* draft_url_replacement;  // nullptr: keep the example's draft address
    std::vector<std::u16string> bar;
  } cases[] = {
      {"", nullptr, {u"返回OA系统[F1]"}},
      {"加盖印章", nullptr, {u"返回OA系统[F1]", u"加盖印章[F2]"}},
      {"查看痕迹,隐藏红头,引入文章,引入签报,更换模板,查看原文,加盖印章",
       nullptr,
       {u"返回OA系统[F1]", u"查看痕迹[F2]", u"隐藏红头[F3]", u"引入文章[F4]", u"引入签报[F5]",
        u"更换模板[F6]", u"查看原文[F1]", u"加盖印章[F2]"}},
      {"查看原文,加盖印章,更换模板", "", {u"返回OA系统[F1]", u"更换模板[F2]", u"加盖印章[F3]"}},
  };
  for (const auto& c : cases) {
    WriteControl(u"t.doc", "ShowRevision", c.buttons);
    if (c.draft_url_replacement != nullptr) {
      std::string xml = ReadBytes(dir_ / "t.xml");
      const std::string from =
          "<draftUrl>http://127.0.0.1:8080/oa/doc.nsf/0/6F2A/$file/notice_draft.doc</draftUrl>";
      xml.replace(xml.find(from), from.size(), "<draftUrl></draftUrl>");
      WriteBytes(dir_ / "t.xml", xml);
    }
    const auto doc = OpenWorkflow(u"t.doc");
    EXPECT_EQ(Toolbar(), c.bar) << c.buttons;
    doc->Close();
  }
  // Rebuilding leaves exactly one bar.
  WriteControl(u"t.doc", "ShowRevision", "加盖印章");
  OpenWorkflow(u"t.doc");
  addin_->SetWPSBar();
  addin_->SetWPSBar();
  EXPECT_EQ(app_->AddedBars().size(), 1u);
  EXPECT_EQ(Toolbar(), (std::vector<std::u16string>{u"返回OA系统[F1]", u"加盖印章[F2]"}));
}

TEST_F(WPSaddinTest, DisableAndEnableToolBar) {
  MakeDocument(u"t.doc", NoticeDocument());
  WriteControl(u"t.doc", "ShowRevision");
  OpenWorkflow(u"t.doc");
  addin_->DisableToolBar(u"QNMuroBar");
  EXPECT_FALSE(app_->Click(u"查看痕迹"));
  addin_->EnableToolBar(u"QNMuroBar");
  EXPECT_TRUE(app_->Click(u"查看痕迹"));
  EXPECT_THROW(addin_->DisableToolBar(u"NoSuchBar"), Error);
}

TEST_F(WPSaddinTest, FailedControlFileLoad) {
  MakeDocument(u"bad.doc", NoticeDocument());
  WriteBytes(dir_ / "bad.xml", "<config><common>");
  const auto doc = OpenWorkflow(u"bad.doc");
  EXPECT_TRUE(addin_->IsContentDocument());
  EXPECT_EQ(addin_->workflow_document(), doc.get());
  EXPECT_EQ(CurrentFileValue(), u"");
  EXPECT_NE(addin_->reminder(), nullptr);
  EXPECT_TRUE(Toolbar().empty());
  const auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, u"配置参数无法初始化，文档可能不正常，请联系系统管理员！");
  EXPECT_EQ(boxes[0].title, u"QNSoft");
  EXPECT_EQ(boxes[0].icon, MsgIcon::kInformation);
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), 3u);
  const std::u16string path = PathOf(u"bad.xml");
  // No error is pending: empty description and number; 77 is the parser's code for the
  // unfinished tag, the last system error of the failed load.
  EXPECT_EQ(lines[1], u"#2： Config.Init() Error:初始化控制参数时，无法打开配置文件：" + path +
                          u"(0:77) Err.Source= Err.Number=0");
  EXPECT_EQ(lines[2], u"#3： DocumentOpen错误：配置参数“" + path +
                          u"”无法初始化，文档可能不正常！(0:77) Err.Source= Err.Number=0");
}

TEST_F(WPSaddinTest, ConnectingTwiceKeepsTheLog) {
  addin_->OnConnection(app_.get());
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), 2u) << "one start banner only";
  EXPECT_EQ(lines[1].rfind(u"#2： WPS插件开始于", 0), 0u);
  // Still subscribed exactly once: one open, one preparation.
  MakeDocument(u"c.doc", NoticeDocument());
  WriteControl(u"c.doc", "FinalizeDocument");
  OpenWorkflow(u"c.doc");
  EXPECT_EQ(Boxes().size(), 1u);
}

TEST_F(WPSaddinTest, ReminderComesEveryHourWithoutSave) {
  MakeDocument(u"r.doc", NoticeDocument());
  WriteControl(u"r.doc", "ShowRevision");
  clock_->Set(FromLocalTime({2026, 12, 8, 13, 5, 0}));
  OpenWorkflow(u"r.doc");
  clock_->Advance(minutes(60));
  auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, u"青禾办公系统提示");
  EXPECT_EQ(boxes[0].text,
            u"您正在编辑的WPS文件从13点5分开始还未存盘，请及时执行保存操作。\r\n\r\n提示时间：14点0"
            u"5分。");
  // At 00:30 the start names 23 o'clock.
  clock_->Set(FromLocalTime({2026, 12, 9, 23, 30, 0}));
  clock_->Advance(minutes(60));
  boxes = Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].text,
            u"您正在编辑的WPS文件从23点30分开始还未存盘，请及时执行保存操作。\r\n\r\n提示时间：00点"
            u"30分。");
}

TEST_F(WPSaddinTest, RevisionButtonTogglesMarks) {
  MakeDocument(u"v.doc", NoticeDocument());
  WriteControl(u"v.doc", "ShowRevision");
  const auto doc = OpenWorkflow(u"v.doc");
  ASSERT_TRUE(app_->Click(u"查看痕迹"));
  EXPECT_TRUE(doc->ShowRevisions());
  ASSERT_TRUE(app_->Click(u"隐藏痕迹"));
  EXPECT_FALSE(doc->ShowRevisions());
  EXPECT_FALSE(doc->PrintRevisions());
  EXPECT_EQ(Toolbar()[1], u"查看痕迹[F2]");
}

TEST_F(WPSaddinTest, RevisionClickBeforeAnyWorkflowDocumentDoesNothing) {
  const auto bar = app_->GetCommandBars().Add(u"Other", host::kBarTop, false, true);
  const auto button = bar->GetControls().Add(host::kControlButton, 1, std::nullopt, true);
  button->SetCaption(u"查看痕迹");
  app_->GetDocuments().Add()->SetShowRevisions(false);
  bool cancel = false;
  addin_->Revision_Click(*button, cancel);
  EXPECT_EQ(button->Caption(), u"查看痕迹");
  EXPECT_FALSE(app_->ActiveDocument()->ShowRevisions());
}

// Records what the add-in asks of the window system.
class RecordingShell : public ShellService {
 public:
  long OpenDocument(std::u16string_view, std::u16string_view) override { return kShellOk; }
  long FindProgram(std::u16string_view, std::u16string_view, std::u16string*) override {
    return kShellNoAssociation;
  }
  bool ListProcesses(std::vector<ProcessEntry>*) override { return false; }
  bool HasVisibleWindow(uint32_t) override { return false; }
  bool EndProcess(uint32_t) override { return false; }
  bool BringMainWindowToFront(std::u16string_view class_fragment) override {
    fronted.emplace_back(class_fragment);
    return false;  // no such window: ignored
  }
  std::vector<std::u16string> fronted;
};

TEST_F(WPSaddinTest, MakeWPSTopAsksForTheMainWindow) {
  addin_->MakeWPSTop();  // the fixture's shell has no window: nothing happens
  RecordingShell shell;
  Context ctx = ctx_;
  ctx.shell = &shell;
  WPSaddin other(ctx);
  other.MakeWPSTop();
  EXPECT_EQ(shell.fronted, (std::vector<std::u16string>{u"WPSMain"}));
}

}  // namespace
}  // namespace qnmuro::test_util
