#include "workflow/revision_lock.h"

#include <gtest/gtest.h>

#include "support/addin_fixture.h"

namespace qnmuro::test_util {
namespace {

class RevisionLockTest : public AddinTest {
 protected:
  void SetUp() override {
    MakeDocument(u"l.doc", NoticeDocument());
    WriteControl(u"l.doc", "ShowRevision");  // no preparation: the lock is up to the test
    doc_ = OpenWorkflow(u"l.doc");
  }
  std::shared_ptr<host::Document> doc_;
};

TEST_F(RevisionLockTest, TrackTwiceLocksOnce) {
  EXPECT_TRUE(addin_->TrackRevision());
  EXPECT_EQ(doc_->GetProtectionType(), host::kAllowOnlyRevisions);
  EXPECT_FALSE(OptionsItemEnabled());
  EXPECT_TRUE(doc_->TrackRevisions());
  EXPECT_TRUE(doc_->PrintRevisions());
  EXPECT_FALSE(doc_->ShowRevisions());
  // Re-enable the item by hand: a second call must not touch it again.
  app_->GetCommandBars()
      .Find(u"Menu Bar")
      ->GetControls()
      .Item(u"工具(&T)")
      ->GetControls()
      .Item(u"选项(&E)...")
      ->SetEnabled(true);
  doc_->SetShowRevisions(true);
  EXPECT_TRUE(addin_->TrackRevision());
  EXPECT_TRUE(OptionsItemEnabled());
  EXPECT_FALSE(doc_->ShowRevisions());
  doc_->Unprotect(kProtectionPassword);
}

TEST_F(RevisionLockTest, UnTrackOnAnUnlockedDocument) {
  doc_->SetTrackRevisions(true);
  doc_->SetShowRevisions(true);
  doc_->SetPrintRevisions(true);
  EXPECT_TRUE(addin_->UnTrackRevision());
  EXPECT_EQ(doc_->GetProtectionType(), host::kNoProtection);
  EXPECT_TRUE(OptionsItemEnabled());
  EXPECT_FALSE(doc_->TrackRevisions());
  EXPECT_FALSE(doc_->ShowRevisions());
  EXPECT_FALSE(doc_->PrintRevisions());
}

TEST_F(RevisionLockTest, ForeignLockIsKeptButTheOptionsItemComesBack) {
  doc_->Protect(host::kAllowOnlyRevisions, u"someone else");
  addin_->TrackRevision();  // already locked: nothing to do
  EXPECT_TRUE(addin_->UnTrackRevision());
  EXPECT_EQ(doc_->GetProtectionType(), host::kAllowOnlyRevisions);
  EXPECT_TRUE(OptionsItemEnabled());
  EXPECT_TRUE(doc_->TrackRevisions()) << "the lock keeps tracking on";
  EXPECT_FALSE(doc_->ShowRevisions());
}

TEST_F(RevisionLockTest, OtherProtectionTypesAreLeftAlone) {
  doc_->Protect(host::kAllowOnlyReading, u"r");
  EXPECT_TRUE(addin_->TrackRevision());
  EXPECT_EQ(doc_->GetProtectionType(), host::kAllowOnlyReading);
  EXPECT_TRUE(addin_->UnTrackRevision());
  EXPECT_EQ(doc_->GetProtectionType(), host::kAllowOnlyReading);
  EXPECT_TRUE(OptionsItemEnabled());
}

TEST_F(RevisionLockTest, WithoutPrintLeavesTheOptionsItem) {
  EXPECT_TRUE(addin_->TrackRevisionWithoutPrint());
  EXPECT_EQ(doc_->GetProtectionType(), host::kAllowOnlyRevisions);
  EXPECT_TRUE(OptionsItemEnabled());
  EXPECT_TRUE(doc_->TrackRevisions());
  EXPECT_FALSE(doc_->PrintRevisions());
  EXPECT_FALSE(doc_->ShowRevisions());
}

TEST_F(RevisionLockTest, LockActsOnTheWorkflowDocumentShowAndHideOnTheActiveOne) {
  const auto other = app_->GetDocuments().Add();  // now the active document
  other->SetShowRevisions(false);
  addin_->TrackRevision();
  EXPECT_EQ(doc_->GetProtectionType(), host::kAllowOnlyRevisions);
  EXPECT_EQ(other->GetProtectionType(), host::kNoProtection);
  addin_->ShowRevision();
  EXPECT_TRUE(other->ShowRevisions());
  EXPECT_FALSE(doc_->ShowRevisions());
  addin_->HideRevision();
  EXPECT_FALSE(other->ShowRevisions());
}

}  // namespace
}  // namespace qnmuro::test_util
