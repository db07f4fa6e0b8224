// The four workflow actions, end to end: a template-made document handed over with a control
// file and a data source, opened in the simulated word processor.
#include "workflow/document_modes.h"

#include <gtest/gtest.h>

#include "support/addin_fixture.h"
#include "workflow/revision_lock.h"

namespace qnmuro::test_util {
namespace {

class DocumentModesTest : public AddinTest {
 protected:
  std::shared_ptr<host::Document> OpenNotice(const char* action) {
    MakeDocument(u"notice.doc", NoticeDocument());
    WriteControl(u"notice.doc", action);
    WriteDataSource(u"notice.doc", ExampleDataSource());
    return OpenWorkflow(u"notice.doc");
  }
  std::u16string BookmarkText(host::Document& doc, std::u16string_view name) {
    return doc.GetBookmarks().Item(name)->GetRange()->Text();
  }
  // Protects a document file for revisions with `password`, outside the workflow.
  void ProtectFile(std::u16string_view name, std::u16string_view password) {
    const auto doc = Open(name);
    doc->Protect(host::kAllowOnlyRevisions, password);
    doc->Save();
    doc->Close();
  }
};

TEST_F(DocumentModesTest, DraftMergesAndPutsTheCaretAtTheBody) {
  const auto doc = OpenNotice("DraftDocument");
  EXPECT_EQ(BookmarkText(*doc, u"签发人"), u"李四");
  const long body = doc->GetBookmarks().Item(u"BodyStart")->Start();
  const auto caret = app_->GetSelection()->GetRange();
  EXPECT_EQ(caret->Start(), body);
  EXPECT_EQ(caret->End(), body);
  EXPECT_EQ(doc->GetProtectionType(), host::kNoProtection);
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(DocumentModesTest, DraftWithoutBodyStartStillMerges) {
  DocumentLayout layout = NoticeDocument();
  std::erase_if(layout.bookmarks, [](const BookmarkPlace& b) { return b.name == u"BodyStart"; });
  MakeDocument(u"notice.doc", layout);
  WriteControl(u"notice.doc", "DraftDocument");
  WriteDataSource(u"notice.doc", ExampleDataSource());
  const auto doc = OpenWorkflow(u"notice.doc");
  EXPECT_EQ(BookmarkText(*doc, u"标题"), u"关于召开年度工作会议的通知");
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(DocumentModesTest, ViewLocksWithTheFixedPassword) {
  const auto doc = OpenNotice("ViewDocument");
  EXPECT_EQ(BookmarkText(*doc, u"签发人"), u"李四");
  EXPECT_EQ(doc->GetProtectionType(), host::kAllowOnlyRevisions);
  EXPECT_TRUE(doc->TrackRevisions());
  EXPECT_FALSE(doc->ShowRevisions());
  EXPECT_FALSE(doc->PrintRevisions());
  EXPECT_FALSE(OptionsItemEnabled());
  // The password is the whole text, semicolon included.
  EXPECT_THROW(doc->Unprotect(u"wombat"), Error);
  doc->Unprotect(u"wombat;pqlrxe");
  EXPECT_EQ(doc->GetProtectionType(), host::kNoProtection);
}

TEST_F(DocumentModesTest, ViewLeavesAnExistingRevisionLockAlone) {
  MakeDocument(u"notice.doc", NoticeDocument());
  ProtectFile(u"notice.doc", u"another");
  WriteControl(u"notice.doc", "ViewDocument");
  const auto doc = OpenWorkflow(u"notice.doc");
  EXPECT_EQ(doc->GetProtectionType(), host::kAllowOnlyRevisions);
  EXPECT_THROW(doc->Unprotect(kProtectionPassword), Error);  // still the other lock
  EXPECT_TRUE(OptionsItemEnabled());
  EXPECT_TRUE(doc->TrackRevisions());
  EXPECT_FALSE(doc->ShowRevisions());
}

TEST_F(DocumentModesTest, ApproveUnlocksMergesUntrackedAndRelocks) {
  MakeDocument(u"notice.doc", NoticeDocument());
  ProtectFile(u"notice.doc", kProtectionPassword);
  WriteControl(u"notice.doc", "ApproveDocument");
  WriteDataSource(u"notice.doc", ExampleDataSource());
  const auto doc = OpenWorkflow(u"notice.doc");
  EXPECT_EQ(BookmarkText(*doc, u"签发人"), u"李四");
  EXPECT_TRUE(app_->Revisions(*doc).empty()) << "the merge is not a tracked change";
  EXPECT_EQ(doc->GetProtectionType(), host::kAllowOnlyRevisions);
  EXPECT_TRUE(doc->TrackRevisions());
  EXPECT_FALSE(doc->ShowRevisions());
  EXPECT_FALSE(OptionsItemEnabled());
  doc->Unprotect(kProtectionPassword);
}

TEST_F(DocumentModesTest, FinalizeRemovesEveryBookmarkAndAcceptsRevisions) {
  MakeDocument(u"notice.doc", NoticeDocument());
  {
    // A reviewer's tracked change waiting in the document.
    const auto doc = Open(u"notice.doc");
    doc->SetTrackRevisions(true);
    app_->GetSelection()->SetRange(9, 9);
    app_->GetSelection()->TypeText(u"补充");
    doc->Save();
    doc->Close();
  }
  WriteControl(u"notice.doc", "FinalizeDocument");
  WriteDataSource(u"notice.doc", ExampleDataSource());
  const auto doc = OpenWorkflow(u"notice.doc");
  EXPECT_EQ(doc->GetBookmarks().Count(), 0);
  EXPECT_TRUE(app_->Revisions(*doc).empty());
  const std::u16string text = doc->Content()->Text();
  EXPECT_NE(text.find(u"关于召开年度工作会议的通知"), std::u16string::npos);
  EXPECT_NE(text.find(u"补充正文内容。"), std::u16string::npos);
  EXPECT_FALSE(doc->TrackRevisions());
  EXPECT_EQ(doc->GetProtectionType(), host::kNoProtection);
  const auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, u"正文生成完毕！");
  EXPECT_EQ(boxes[0].title, u"");
  EXPECT_EQ(boxes[0].icon, MsgIcon::kNone);
  EXPECT_EQ(boxes[0].buttons, MsgButtons::kOk);
}

TEST_F(DocumentModesTest, FinalizeWithoutBookmarksStillFinishes) {
  MakeDocument(u"plain.doc", DocumentLayout{u"只有正文。\r", {}, {}});
  WriteControl(u"plain.doc", "FinalizeDocument");
  OpenWorkflow(u"plain.doc");
  const auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, u"正文生成完毕！");
}

TEST_F(DocumentModesTest, FinalizeRemovesMoreBookmarksThanSixteenBitsCount) {
  const auto doc = app_->GetDocuments().Add();
  constexpr long kCount = 32768;  // one more than a 16-bit counter holds
  app_->GetSelection()->TypeText(std::u16string(kCount, u'x'));
  for (long i = 0; i < kCount; ++i) {
    doc->GetBookmarks().Add(u"b" + ToText(i), i, i + 1);
  }
  ASSERT_EQ(doc->GetBookmarks().Count(), kCount);
  addin_->FinalizeDocument();
  EXPECT_EQ(doc->GetBookmarks().Count(), 0);
  EXPECT_EQ(doc->Content()->Text().size(), static_cast<size_t>(kCount));
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, u"正文生成完毕！");
}

TEST_F(DocumentModesTest, FinalizeFailureIsShownAndLogged) {
  // No document at all: the merge reports its own failure and the operation goes on; the
  // first host step of its own then fails.
  addin_->FinalizeDocument();
  const auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text.rfind(u"MergeDataSource错误：", 0), 0u);
  EXPECT_EQ(boxes[1].text.rfind(u"FinalizeDocument错误：", 0), 0u);
  EXPECT_EQ(boxes[1].title, u"");
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[2].rfind(u"#3： " + boxes[1].text + u" Err.Source=", 0), 0u) << U8(lines[2]);
}

TEST_F(DocumentModesTest, OtherActionsPrepareNothingButTheBar) {
  const auto doc = OpenNotice("ShowRevision");
  EXPECT_EQ(BookmarkText(*doc, u"签发人"), u"签发人") << "no merge";
  EXPECT_EQ(doc->GetProtectionType(), host::kNoProtection);
  EXPECT_FALSE(Toolbar().empty());
  EXPECT_FALSE(doc->ShowRevisions());
}

}  // namespace
}  // namespace qnmuro::test_util
