// The "更换模板" button and its dialog against the development OA server.
#include "commands/template_change.h"

#include <gtest/gtest.h>

#include "support/served_fixture.h"

namespace qnmuro::test_util {
namespace {

namespace fs = std::filesystem;

constexpr char16_t kButton[] = u"更换模板";
constexpr char16_t kHead[] = u"青禾市人民政府文件";
constexpr char16_t kBody[] = u"正文内容。";
constexpr char kLetter[] =
    "<wordName name=\"函\" unid=\"F7\"><templateName>函</templateName>"
    "<templateFile>letter.wps.bak</templateFile></wordName></wordConfig>";

// A template: "BodyStart" at the end of the title line, the empty body line after it.
DocumentLayout RedTemplate() {
  // 青禾市人民政府文件 0-8, 标题 10-11, the body line 13, 签发人 14-16.
  return DocumentLayout{
      std::u16string(kHead) + u"\r标题\r\r签发人\r",
      {{u"标题", 10, 12}, {u"BodyStart", 12, 12}, {u"BodyEnd", 13, 13}, {u"签发人", 14, 17}},
      {}};
}

class TemplateChangeTest : public ServedAddinTest {
 protected:
  // Puts a document made from `layout` on the server as the template file `name`.
  void PublishTemplate(const std::string& unid, const std::string& name,
                       const DocumentLayout& layout) {
    MakeDocument(u"made.fodt", layout);
    Publish(unid, name, ReadBytes(dir_ / "made.fodt"));
    fs::remove(dir_ / "made.fodt");
  }
  std::shared_ptr<host::Document> OpenNotice(const char* action,
                                             const DocumentLayout& layout = NoticeDocument()) {
    MakeDocument(u"notice.doc", layout);
    WriteDataSource(u"notice.doc", ExampleDataSource());
    WriteServedControl(u"notice.doc", action, "更换模板", [](std::string& xml) {
      // One template offered in upper case, one not offered; 请示 offers none of its own.
      ReplaceEvery(xml, "notice_red.wps", "notice_red.WPS");
      ReplaceEvery(xml, "notice_plain.wps", "notice_plain.doc");
      ReplaceEvery(xml, "request.wps", "request.doc");
      ReplaceEvery(xml, "</wordConfig>", kLetter);
    });
    return OpenWorkflow(u"notice.doc");
  }
  void Change(const std::u16string& body_type, const std::u16string& name) {
    ui_.ClearRecords();
    ui_.QueueFormAnswer(FormAnswer{body_type, name, false});
    ASSERT_TRUE(app_->Click(kButton));
  }
  std::u16string Marked(host::Document& doc) {
    host::Bookmarks& b = doc.GetBookmarks();
    return doc.GetRange(b.Item(u"BodyStart")->Start(), b.Item(u"BodyEnd")->End())->Text();
  }
  std::vector<std::u16string> BookmarkNames(host::Document& doc) {
    std::vector<std::u16string> names;
    for (long i = 1; i <= doc.GetBookmarks().Count(); ++i) {
      names.push_back(doc.GetBookmarks().Item(i)->Name());
    }
    return names;
  }
};

TEST_F(TemplateChangeTest, TheBodyMovesIntoTheChosenTemplateAndTheDocumentIsLocked) {
  PublishTemplate("A1B2C3", "notice_red.WPS", RedTemplate());
  const auto doc = OpenNotice("ApproveDocument");
  Change(u"通知", u"红头通知");
  EXPECT_TRUE(ShownBoxes().empty());
  EXPECT_EQ(app_->GetDocuments().Count(), 1);
  EXPECT_EQ(app_->ActiveDocument(), doc);
  const std::u16string text = doc->Content()->Text();
  EXPECT_EQ(text, std::u16string(kHead) + u"\r关于召开年度工作会议的通知\r" + kBody + u"\r李四\r");
  EXPECT_EQ(Marked(*doc), kBody);
  EXPECT_EQ(BookmarkNames(*doc),
            (std::vector<std::u16string>{u"标题", u"BodyStart", u"BodyEnd", u"签发人"}));
  const auto caret = app_->GetSelection()->GetRange();
  EXPECT_EQ(caret->Start(), doc->GetBookmarks().Item(u"BodyStart")->Start());
  EXPECT_EQ(doc->GetProtectionType(), host::kAllowOnlyRevisions);
  EXPECT_TRUE(doc->TrackRevisions());
  EXPECT_TRUE(fs::exists(dir_ / "New_notice.doc"));
  // Changing again, to the same template, keeps exactly one body.
  Change(u"通知", u"红头通知");
  EXPECT_EQ(doc->Content()->Text(), text);
}

TEST_F(TemplateChangeTest, TheDialogOffersWpsTemplatesAndFallsBackToTheFirstBodyType) {
  OpenNotice("DraftDocument");
  ChangeTemplateForm form(addin_->context());
  form.form().Load();
  FormControl& types = *form.form().Find(u"WordCombox");
  FormControl& list = *form.form().Find(u"TemplateList");
  EXPECT_EQ(types.items(), (std::vector<std::u16string>{u"通知", u"请示", u"函"}));
  const struct {
    const char16_t* type;
    std::vector<std::u16string> offered;
  } cases[] = {
      {u"通知", {u"红头通知"}},  // upper-case WPS counts, the .doc does not
      {u"请示", {u"红头通知"}},  // no ".wps" template: the first body type's
      {u"函", {u"函"}},          // ".wps" anywhere in the name
      {u"不存在", {u"红头通知"}},
  };
  for (const auto& c : cases) {
    types.SetText(c.type);
    EXPECT_EQ(list.items(), c.offered) << U8(c.type);
  }
  // OK after the fallback downloads from the first body type.
  PublishTemplate("A1B2C3", "notice_red.WPS", RedTemplate());
  types.SetText(u"请示");
  list.SelectItem(u"红头通知");
  form.Show(app_.get());  // the scripted UI has no answer: cancelled
  EXPECT_EQ(form.LocalTemplatePath(), u"");
  form.form().Show();
  form.form().Find(u"OK")->Click();
  EXPECT_EQ(form.LocalTemplatePath(), PathOf(u"New_notice.doc"));
  EXPECT_FALSE(form.form().visible());
  // OK with no template chosen says so and keeps the dialog open.
  form.form().Show();
  types.SetText(u"函");
  form.form().Find(u"OK")->Click();
  EXPECT_TRUE(form.form().visible());
  EXPECT_EQ(ShownBoxes().back(), u"[] none: 请选择模板！");
}

TEST_F(TemplateChangeTest, CancelNoTemplateOrAFailedDownloadChangesNothing) {
  const auto doc = OpenNotice("ViewDocument");
  const std::u16string before = doc->Content()->Text();
  const struct {
    FormAnswer answer;
    std::u16string box;  // the start of the one box shown, or none
  } cases[] = {
      {{std::nullopt, std::nullopt, true}, u""},
      {{u"通知", u"不存在", false}, u"[] none: 请选择模板！"},
      {{u"通知", u"红头通知", false},  // nothing published
       u"[] none: 更换模板错误.OK_Click:无法通过UrlDownloadToFile"},
  };
  for (const auto& c : cases) {
    ui_.ClearRecords();
    ui_.QueueFormAnswer(c.answer);
    ASSERT_TRUE(app_->Click(kButton));
    const auto boxes = ShownBoxes();
    ASSERT_EQ(boxes.size(), c.box.empty() ? 0u : 1u);
    if (!c.box.empty()) {
      EXPECT_EQ(boxes[0].rfind(c.box, 0), 0u) << U8(boxes[0]);
    }
    EXPECT_EQ(doc->Content()->Text(), before);
    EXPECT_EQ(doc->GetProtectionType(), host::kAllowOnlyRevisions);
    EXPECT_FALSE(fs::exists(dir_ / "New_notice.doc"));
  }
}

// Under review the document must stay locked: a mismatch puts the lock back as it found it.
TEST_F(TemplateChangeTest, AMissingMarkerIsAMismatchThatKeepsTheLock) {
  DocumentLayout without_end = NoticeDocument();
  std::erase_if(without_end.bookmarks, [](const BookmarkPlace& b) { return b.name == u"BodyEnd"; });
  const struct {
    const char* label;
    DocumentLayout current;
    DocumentLayout served;
  } cases[] = {
      {"the current document", without_end, RedTemplate()},
      {"the template", NoticeDocument(), DocumentLayout{u"无标记模板\r", {}, {}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    PublishTemplate("A1B2C3", "notice_red.WPS", c.served);
    const auto doc = OpenNotice("ApproveDocument", c.current);
    const std::u16string before = doc->Content()->Text();
    Change(u"通知", u"红头通知");
    EXPECT_EQ(ShownBoxes(),
              std::vector<std::u16string>{
                  u"[青禾办公自动化系统] critical: "
                  u"您所选模板与当前正文类型不匹配，无法替换模板，请联系系统管理员！\r0"});
    EXPECT_EQ(app_->GetDocuments().Count(), 1);
    EXPECT_EQ(doc->Content()->Text(), before);
    EXPECT_EQ(doc->GetProtectionType(), host::kAllowOnlyRevisions);
    EXPECT_TRUE(doc->TrackRevisions());
    doc->Unprotect(u"wombat;pqlrxe");
    doc->SetSaved(true);
    doc->Close();
  }
}

// Spoils the filled template once it is saved and closing, as a failing disk or another
// program might, so that its insertion into the current document fails halfway.
class SpoilOnClose final : public host::ApplicationEvents, public host::DocumentEvents {
 public:
  explicit SpoilOnClose(fs::path file) : file_(std::move(file)) {}
  void DocumentOpen(host::Document& doc) override {
    if (doc.Name() == u"New_notice.doc") doc.Subscribe(this);
  }
  void DocumentBeforeSave(host::Document&, bool&, bool&) override {}
  void Close() override { WriteBytes(file_, "spoilt"); }

 private:
  fs::path file_;
};

TEST_F(TemplateChangeTest, AFailureLeavesTheDocumentAsItWasWithTheUsersLastEdit) {
  for (const bool spoil : {false, true}) {
    SCOPED_TRACE(spoil ? "spoilt after filling" : "no document");
    if (spoil) {
      PublishTemplate("A1B2C3", "notice_red.WPS", RedTemplate());
    } else {
      Publish("A1B2C3", "notice_red.WPS", "<html><body>Server error</body></html>");
    }
    const auto doc = OpenNotice("ViewDocument");
    app_->GetSelection()->TypeText(u"用户的改动");
    const std::u16string before = doc->Content()->Text();
    const std::vector<std::u16string> marks = BookmarkNames(*doc);
    SpoilOnClose spoiler(dir_ / "New_notice.doc");
    if (spoil) app_->Subscribe(&spoiler);
    Change(u"通知", u"红头通知");
    app_->Unsubscribe(&spoiler);
    const auto boxes = ShownBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    const std::u16string report = u"更换模板错误: The file is not a readable document";
    EXPECT_EQ(boxes[0].rfind(u"[] none: " + report, 0), 0u) << U8(boxes[0]);
    EXPECT_EQ(boxes[0].substr(boxes[0].size() - 3), u":0)");
    EXPECT_EQ(boxes[1], u"[] none: 系统将继续采用原有模板！");
    // The log line is the first box's text without the statement number.
    const std::u16string shown = boxes[0].substr(boxes[0].find(report));
    EXPECT_NE(LogLines().back().find(shown.substr(0, shown.size() - 3) + u") Err.Source="),
              std::u16string::npos)
        << U8(LogLines().back());
    EXPECT_EQ(app_->GetDocuments().Count(), 1);
    EXPECT_EQ(doc->Content()->Text(), before);
    EXPECT_EQ(BookmarkNames(*doc), marks);
    EXPECT_EQ(doc->GetProtectionType(), host::kAllowOnlyRevisions);
    EXPECT_TRUE(doc->TrackRevisions());
    doc->Unprotect(u"wombat;pqlrxe");
    doc->SetSaved(true);
    doc->Close();
  }
}

}  // namespace
}  // namespace qnmuro::test_util
