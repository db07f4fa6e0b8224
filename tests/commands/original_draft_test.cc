// The "查看原文" and "返回OA系统" buttons against the development OA server, with a fake shell
// standing in for the system's programs.
#include "commands/original_draft.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "common/identity.h"

#include "support/served_fixture.h"

namespace qnmuro::test_util {
namespace {

namespace fs = std::filesystem;

constexpr char16_t kManuscript[] = u"查看原文";
constexpr char16_t kBackToSystem[] = u"返回OA系统";

class OriginalDraftTest : public ServedAddinTest {
 protected:
  std::shared_ptr<host::Document> OpenNotice(const std::function<void(std::string&)>& edit = {}) {
    MakeDocument(u"notice.doc", NoticeDocument());
    WriteServedControl(u"notice.doc", "DraftDocument", "查看原文", edit);
    return OpenWorkflow(u"notice.doc");
  }
  std::u16string Local(std::u16string_view name) const { return PathOf(name); }
};

TEST_F(OriginalDraftTest, EveryContentDraftIsDownloadedAndTheLastOpened) {
  OpenNotice([this](std::string& xml) {
    ReplaceEvery(xml, "<type>attachment</type>", "<type>content</type>");
    ReplaceEvery(xml, "<fileName>agenda.xls</fileName>", "<fileName>agenda.wps</fileName>");
    ReplaceEvery(xml, "<draftUrl></draftUrl>",
                 "<draftUrl>" + FileUrl("6F2A", "second.wps") + "</draftUrl>");
  });
  Publish("6F2A", "notice_draft.doc", "first draft");
  Publish("6F2A", "second.wps", "second draft");
  shell_.program = u"/opt/office/wps";
  shell_.processes = {{5, u"wps"}, {7, u"wps", true}};  // 5: not the add-in's
  ui_.ClearRecords();
  ASSERT_TRUE(app_->Click(kManuscript));
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(ReadBytes(dir_ / "6F2A.draft.doc"), "first draft");
  EXPECT_EQ(ReadBytes(dir_ / "6F2A.draft.wps"), "second draft");
  EXPECT_EQ(shell_.calls, (std::vector<std::u16string>{
                              u"find 6F2A.draft.wps|" + WorkDir() + u"/", u"list", u"visible 7",
                              u"end 7", u"open " + Local(u"6F2A.draft.wps") + u"|" + WorkDir()}));
  std::u16string all;
  for (const auto& line : LogLines()) all += line + u"\n";
  EXPECT_NE(all.find(u"强行关闭进程：wps7"), std::u16string::npos);
  EXPECT_NE(all.find(u"开始执行启动原稿操作..."), std::u16string::npos);
  EXPECT_EQ(ui_.cursor(), 32512);
}

TEST_F(OriginalDraftTest, NoContentDraftIsANoticeAndNothingElse) {
  OpenNotice([](std::string& xml) {
    ReplaceEvery(xml, "<type>content</type>", "<type>attachment</type>");
  });
  const size_t lines = LogLines().size();
  ui_.ClearRecords();
  ASSERT_TRUE(app_->Click(kManuscript));
  EXPECT_EQ(ShownBoxes(),
            std::vector<std::u16string>{u"[QNSoft] information: 对不起，不存在原稿！"});
  EXPECT_EQ(LogLines().size(), lines);
  EXPECT_EQ(addin_->message_text(), u"对不起，不存在原稿！");
  EXPECT_TRUE(shell_.calls.empty());
}

TEST_F(OriginalDraftTest, WhatKeepsTheDraftFromOpeningIsNoticedAndReported) {
  OpenNotice();
  const std::u16string name = u"6F2A.draft.doc";
  const struct {
    const char* label;
    bool published;
    bool earlier_copy;
    std::u16string program;
    long open_result;
    std::u16string notice;  // empty: the draft opens
  } cases[] = {
      {"not on the server", false, false, u"/opt/wps", kShellOk,
       u"无法找到或下载“" + name + u"”文件，请联系系统管理员！"},
      {"an earlier copy stands in", false, true, u"/opt/wps", kShellOk, u""},
      {"no program", true, false, u"", kShellOk,
       u"无法找到文件“" + name +
           u"”对应的启动程序，请确认您的计算机是否安装了适合的程序，并且确认您是以管理员的身份"
           u"登录您的Windows操作系统！"},
      {"launch refused", true, false, u"/opt/wps", kShellAccessDenied,
       u"无法启动文件：" + name +
           u"，请确认是否安装了适合的程序，并且您是以管理员的身份登录Windows！"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    fs::remove(dir_ / "6F2A.draft.doc");
    fs::remove_all(dir_ / "server" / "files");
    if (c.published) Publish("6F2A", "notice_draft.doc", "draft");
    if (c.earlier_copy) WriteBytes(dir_ / "6F2A.draft.doc", "earlier");
    shell_.program = c.program;
    shell_.openResult = c.open_result;
    shell_.calls.clear();
    ui_.ClearRecords();
    ASSERT_TRUE(app_->Click(kManuscript));
    const auto boxes = Boxes();
    if (c.notice.empty()) {
      EXPECT_TRUE(boxes.empty());
      EXPECT_EQ(shell_.calls.back(), u"open " + Local(name) + u"|" + WorkDir());
      continue;
    }
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, c.notice);
    EXPECT_EQ(boxes[0].icon, MsgIcon::kInformation);
    EXPECT_EQ(boxes[0].title, u"QNSoft");
    const std::u16string report = u"查看原稿错误: " + c.notice + u"(0:";
    EXPECT_EQ(boxes[1].text.rfind(report, 0), 0u) << U8(boxes[1].text);
    EXPECT_EQ(boxes[1].text.substr(boxes[1].text.size() - 3), u":0)");
    EXPECT_EQ(boxes[1].icon, MsgIcon::kNone);
    const auto log = LogLines();
    EXPECT_NE(log.back().find(report), std::u16string::npos) << U8(log.back());
    EXPECT_EQ(ui_.cursor(), 32512);
  }
}

TEST_F(OriginalDraftTest, OnlyADocumentFormatIsOpened) {
  OpenNotice();
  Publish("6F2A", "notice_draft.doc", "draft");
  shell_.program = u"/opt/wps";
  const struct {
    const char16_t* file_name;
    const char16_t* local;  // the local copy's name
    bool opens;
  } cases[] = {
      {u"notice.exe", u"6F2A.draft.exe", false},   {u"notice.HTA", u"6F2A.draft.HTA", false},
      {u"notice.js", u"6F2A.draft.js", false},     {u"notice.bat", u"6F2A.draft.bat", false},
      {u"notice.docm", u"6F2A.draft.docm", false}, {u"notice.doc.lnk", u"6F2A.draft.lnk", false},
      {u"notice", u"6F2A.draft", false},           {u"notice.DOCX", u"6F2A.draft.DOCX", true},
      {u"notice.Pdf", u"6F2A.draft.Pdf", true},    {u"notice.et", u"6F2A.draft.et", true},
      {u"notice.tiff", u"6F2A.draft.tiff", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(U8(c.file_name));
    addin_->state().records.binarys[0].fileName = c.file_name;
    shell_.calls.clear();
    ui_.ClearRecords();
    ASSERT_TRUE(app_->Click(kManuscript));
    const auto boxes = ShownBoxes();
    if (c.opens) {
      EXPECT_TRUE(boxes.empty());
      EXPECT_EQ(shell_.calls.back(), u"open " + Local(c.local) + u"|" + WorkDir());
      continue;
    }
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind(u"[] none: 查看原稿错误: ", 0), 0u) << U8(boxes[0]);
    EXPECT_NE(boxes[0].find(u"不能打开此类型的文件：" + std::u16string(c.local) + u"(52:"),
              std::u16string::npos)
        << U8(boxes[0]);
    EXPECT_NE(LogLines().back().find(u"不能打开此类型的文件："), std::u16string::npos);
    EXPECT_TRUE(shell_.calls.empty());
  }
}

TEST_F(OriginalDraftTest, ThePasswordIsAskedForBeforeLookingForADraft) {
  OpenNotice([](std::string& xml) {
    ReplaceEvery(xml, "<type>content</type>", "<type>attachment</type>");
    ReplaceEvery(xml, "<password>3A7F0C21B4</password>", "<password></password>");
  });
  ui_.ClearRecords();
  ui_.QueueInput(u"secret");
  ASSERT_TRUE(app_->Click(kManuscript));
  const auto& records = ui_.records();
  const auto input = std::find_if(records.begin(), records.end(), [](const UiRecord& r) {
    return r.kind == UiRecord::Kind::kInput;
  });
  ASSERT_NE(input, records.end());
  EXPECT_EQ(input->text, kPasswordPrompt);
  EXPECT_EQ(std::count_if(records.begin(), input,
                          [](const UiRecord& r) { return r.kind == UiRecord::Kind::kMessage; }),
            0);
  EXPECT_EQ(ShownBoxes(),
            std::vector<std::u16string>{u"[QNSoft] information: 对不起，不存在原稿！"});
}

TEST_F(OriginalDraftTest, ALocalNameOutsideTheWorkDirectoryTakesTheFailurePath) {
  OpenNotice([](std::string& xml) { ReplaceEvery(xml, "<unid>6F2A</unid>", "<unid>../x</unid>"); });
  Publish("6F2A", "notice_draft.doc", "draft");
  ui_.ClearRecords();
  ASSERT_TRUE(app_->Click(kManuscript));
  const auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text.rfind(u"查看原稿错误: 本地文件不在工作目录中：", 0), 0u)
      << U8(boxes[0].text);
  EXPECT_NE(boxes[0].text.find(u"(52:"), std::u16string::npos);
  EXPECT_FALSE(fs::exists(dir_.path().parent_path() / "x.draft.doc"));
  EXPECT_TRUE(shell_.calls.empty());
}

TEST_F(OriginalDraftTest, BackToSystemClosesADraftWithoutAQuestionAndKeepsTheAddin) {
  const auto workflow = OpenNotice();
  MakeDocument(u"6F2A.draft.doc", DocumentLayout{u"原稿", {}, {}});
  const auto draft = Open(u"6F2A.draft.doc");
  app_->GetSelection()->TypeText(u"改动");
  ui_.ClearRecords();
  ASSERT_TRUE(app_->Click(kBackToSystem));
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(app_->GetDocuments().Count(), 1);
  EXPECT_EQ(Setting(u"UserControl"), 0);
  EXPECT_EQ(addin_->workflow_document(), workflow.get());
}

TEST_F(OriginalDraftTest, BackToSystemFromTheLastDocumentLetsTheHostGo) {
  OpenNotice();
  app_->GetSelection()->TypeText(u"改动");
  ui_.QueueAnswer(MsgAnswer::kNo);  // not to the server
  ASSERT_TRUE(app_->Click(kBackToSystem));
  EXPECT_EQ(app_->GetDocuments().Count(), 0);
  EXPECT_EQ(Setting(u"UserControl"), 1);
  // The add-in no longer hears the host: a document handed over now is not prepared.
  OpenWorkflow(u"notice.doc");
  EXPECT_TRUE(Toolbar().empty());
  EXPECT_EQ(CurrentFileValue(), u"notice.doc");
}

}  // namespace
}  // namespace qnmuro::test_util
