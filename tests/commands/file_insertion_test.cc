// The "引入文章" button: the host's own insert-file command, with the revision lock lifted
// around it in the approve action.
#include "commands/file_insertion.h"

#include <gtest/gtest.h>

#include "host/command_bars.h"
#include "support/addin_fixture.h"

namespace qnmuro::test_util {
namespace {

constexpr char16_t kButton[] = u"引入文章";
constexpr char16_t kArticle[] = u"插入的文章。";

class FileInsertionTest : public AddinTest {
 protected:
  std::shared_ptr<host::Document> OpenNotice(const char* action) {
    MakeDocument(u"article.doc", DocumentLayout{kArticle, {}, {}});
    MakeDocument(u"notice.doc", NoticeDocument());
    WriteControl(u"notice.doc", action, "引入文章");
    return OpenWorkflow(u"notice.doc");
  }
};

TEST_F(FileInsertionTest, InsertsThePickedFileTrackedOnlyWhereTheActionTracks) {
  const struct {
    const char* action;
    long protection_after;
    bool tracked;
  } cases[] = {
      {"DraftDocument", host::kNoProtection, false},
      {"ViewDocument", host::kAllowOnlyRevisions, true},
      {"ApproveDocument", host::kAllowOnlyRevisions, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.action);
    const auto doc = OpenNotice(c.action);
    ui_.ClearRecords();
    ui_.QueueFile(u"article.doc");
    ASSERT_TRUE(app_->Click(kButton));
    EXPECT_NE(doc->Content()->Text().find(kArticle), std::u16string::npos);
    EXPECT_EQ(doc->GetProtectionType(), c.protection_after);
    EXPECT_EQ(Tracked(*doc, kArticle), c.tracked);
    EXPECT_TRUE(Boxes().empty());
    doc->SetSaved(true);
    doc->Close();
  }
}

TEST_F(FileInsertionTest, CancelledDialogInApproveRestoresTheLock) {
  const auto doc = OpenNotice("ApproveDocument");
  const std::u16string before = doc->Content()->Text();
  ui_.QueueFile(std::nullopt);
  ASSERT_TRUE(app_->Click(kButton));
  EXPECT_EQ(doc->Content()->Text(), before);
  EXPECT_EQ(doc->GetProtectionType(), host::kAllowOnlyRevisions);
  EXPECT_TRUE(doc->TrackRevisions());
  EXPECT_FALSE(OptionsItemEnabled());
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(FileInsertionTest, HostWithoutTheMenuItemReportsRemovesMarkersAndKeepsTheLock) {
  const auto doc = OpenNotice("ApproveDocument");
  doc->GetBookmarks().Add(kInsertFileStart, 2, 2);  // a leftover start without its end
  app_->GetCommandBars()
      .Find(kMenuBarName)
      ->GetControls()
      .Item(kInsertMenuCaption)
      ->SetCaption(u"Insert");
  ui_.ClearRecords();
  ASSERT_TRUE(app_->Click(kButton));
  EXPECT_EQ(ShownBoxes(), std::vector<std::u16string>{
                              u"[] none: The requested member of the collection does not exist."});
  EXPECT_FALSE(doc->GetBookmarks().Exists(kInsertFileStart));
  EXPECT_EQ(doc->GetProtectionType(), host::kAllowOnlyRevisions);
  EXPECT_TRUE(doc->TrackRevisions());
  const auto log = LogLines();
  ASSERT_FALSE(log.empty());
  EXPECT_NE(log.back().find(u"InsertFile错误：The requested member of the collection does not "
                            u"exist.(5941:"),
            std::u16string::npos)
      << U8(log.back());
}

}  // namespace
}  // namespace qnmuro::test_util
