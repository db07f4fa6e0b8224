// The "引入签报" button against the development OA server.
#include "commands/report_insertion.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "common/identity.h"

#include "support/served_fixture.h"

namespace qnmuro::test_util {
namespace {

namespace fs = std::filesystem;

constexpr char16_t kButton[] = u"引入签报";
constexpr char16_t kReportText[] = u"签报正文。";
constexpr char kFirstValue[] = "<value>青办〔2026〕12号</value>";

class ReportInsertionTest : public ServedAddinTest {
 protected:
  // A report template on the server and the notice opened for `action` with `first_value` as
  // the first extend parameter's value.
  std::shared_ptr<host::Document> OpenNotice(const char* action, const std::string& first_value) {
    MakeDocument(u"report.doc", DocumentLayout{kReportText, {}, {}});
    Publish("R1", "report.doc", ReadBytes(dir_ / "report.doc"));
    fs::remove(dir_ / "report.doc");
    MakeDocument(u"notice.doc", NoticeDocument());
    WriteServedControl(u"notice.doc", action, "引入签报", [&](std::string& xml) {
      ReplaceEvery(xml, kFirstValue, "<value>" + first_value + "</value>");
    });
    return OpenWorkflow(u"notice.doc");
  }
  // Closes the document without a question, so that the next case can open it afresh.
  void Discard(host::Document& doc) {
    doc.Unprotect(u"wombat;pqlrxe");
    doc.SetSaved(true);
    doc.Close();
  }
};

TEST_F(ReportInsertionTest, InsertsUntrackedAndLeavesTheDocumentLocked) {
  for (const char* action : {"DraftDocument", "ViewDocument"}) {
    SCOPED_TRACE(action);
    const auto doc = OpenNotice(action, FileUrl("R1", "report.doc"));
    ui_.ClearRecords();
    ASSERT_TRUE(app_->Click(kButton));
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(fs::exists(dir_ / "6F2A.report.doc"));
    EXPECT_NE(doc->Content()->Text().find(kReportText), std::u16string::npos);
    EXPECT_FALSE(Tracked(*doc, kReportText));
    EXPECT_EQ(doc->GetProtectionType(), host::kAllowOnlyRevisions);
    EXPECT_TRUE(doc->TrackRevisions());
    EXPECT_EQ(ui_.cursor(), 32512);
    Discard(*doc);
  }
}

TEST_F(ReportInsertionTest, NoTemplateInTheFirstParameterIsANotice) {
  const auto doc = OpenNotice("DraftDocument", "");
  const std::u16string before = doc->Content()->Text();
  ASSERT_TRUE(app_->Click(kButton));
  EXPECT_EQ(ShownBoxes(),
            std::vector<std::u16string>{u"[QNSoft] information: 对不起，不存在签报模板！"});
  EXPECT_EQ(doc->Content()->Text(), before);
  EXPECT_EQ(addin_->message_text(), kNoReportNotice);
}

TEST_F(ReportInsertionTest, ThePasswordIsAskedForBeforeLookingForATemplate) {
  MakeDocument(u"notice.doc", NoticeDocument());
  WriteServedControl(u"notice.doc", "DraftDocument", "引入签报", [](std::string& xml) {
    ReplaceEvery(xml, kFirstValue, "<value></value>");
    ReplaceEvery(xml, "<password>3A7F0C21B4</password>", "<password></password>");
  });
  OpenWorkflow(u"notice.doc");
  ui_.ClearRecords();
  ui_.QueueInput(u"secret");
  ASSERT_TRUE(app_->Click(kButton));
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
            std::vector<std::u16string>{u"[QNSoft] information: 对不起，不存在签报模板！"});
}

TEST_F(ReportInsertionTest, WhatCannotBeInsertedIsReportedAndTheLockPutBack) {
  const struct {
    const char* label;
    std::string address;  // relative to the server, or whole
    std::string served;   // what the server holds for R1/bad.doc
    std::u16string description;
  } cases[] = {
      {"not on the server", "missing.doc", "", u"无法通过UrlDownloadToFile下载文件从："},
      {"an error page", "bad.doc", "<html><body>Internal error</body></html>", u"The file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    const auto doc = OpenNotice("ViewDocument", FileUrl("R1", c.address));
    if (!c.served.empty()) Publish("R1", "bad.doc", c.served);
    const std::u16string before = doc->Content()->Text();
    ui_.ClearRecords();
    ASSERT_TRUE(app_->Click(kButton));
    const auto boxes = ShownBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].rfind(u"[] none: 引入签报错误: " + std::u16string(c.description), 0), 0u)
        << U8(boxes[0]);
    EXPECT_EQ(boxes[0].substr(boxes[0].size() - 3), u":0)");
    EXPECT_NE(LogLines().back().find(u"引入签报错误: " + std::u16string(c.description)),
              std::u16string::npos);
    EXPECT_EQ(doc->Content()->Text(), before);
    EXPECT_EQ(doc->GetProtectionType(), host::kAllowOnlyRevisions);
    EXPECT_TRUE(doc->TrackRevisions());
    EXPECT_EQ(ui_.cursor(), 32512);
    Discard(*doc);
  }
}

}  // namespace
}  // namespace qnmuro::test_util
