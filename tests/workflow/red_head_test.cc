#include "workflow/red_head.h"

#include <gtest/gtest.h>

#include "support/addin_fixture.h"

namespace qnmuro::test_util {
namespace {

TEST(RedHeadShapeTest, NameContainsTheMarkInAnyCase) {
  const struct {
    const char16_t* name;
    bool red_head;
  } cases[] = {{u"DocMarkLine", true},    {u"docmarkline2", true},  {u"xDOCMARKLINEy", true},
               {u"Doc Mark Line", false}, {u"Seal20261208", false}, {u"", false}};
  for (const auto& c : cases) EXPECT_EQ(IsRedHeadShape(c.name), c.red_head) << U8(c.name);
}

class RedHeadTest : public AddinTest {
 protected:
  void SetUp() override {
    DocumentLayout layout = NoticeDocument();
    layout.shapes = {u"DocMarkLine1", u"logo", u"redDOCMARKLINE"};
    MakeDocument(u"r.doc", layout);
    WriteControl(u"r.doc", "ShowRevision", "隐藏红头");
    doc_ = OpenWorkflow(u"r.doc");
  }
  std::vector<bool> Visible() {
    std::vector<bool> out;
    for (const auto& s : app_->ShapeInfos(*doc_)) out.push_back(s.visible);
    return out;
  }
  std::shared_ptr<host::Document> doc_;
};

TEST_F(RedHeadTest, HideThenShow) {
  EXPECT_EQ(Visible(), (std::vector<bool>{true, true, true}));
  ASSERT_TRUE(app_->Click(u"隐藏红头"));
  EXPECT_EQ(Visible(), (std::vector<bool>{false, true, false}));
  EXPECT_EQ(Setting(u"ShowDrawings"), 0);
  EXPECT_EQ(Setting(u"ShowBackground"), 0);
  EXPECT_EQ(Setting(u"DrawingObjects"), 0);
  EXPECT_EQ(Toolbar()[1], u"显示红头[F2]");
  EXPECT_EQ(app_->GetCommandBars().Find(u"QNMuroBar")->GetControls().Item(2)->TooltipText(),
            u"显示红头");

  ASSERT_TRUE(app_->Click(u"显示红头"));
  EXPECT_EQ(Visible(), (std::vector<bool>{true, true, true}));
  EXPECT_EQ(Setting(u"ShowDrawings"), 1);
  EXPECT_EQ(Setting(u"ShowBackground"), 0) << "showing leaves switch B alone";
  EXPECT_EQ(Setting(u"DrawingObjects"), 1);
  EXPECT_EQ(Toolbar()[1], u"隐藏红头[F2]");
}

TEST_F(RedHeadTest, UnknownCaptionShows) {
  ASSERT_TRUE(app_->Click(u"隐藏红头"));
  const auto button = app_->GetCommandBars().Find(u"QNMuroBar")->GetControls().Item(2);
  button->SetCaption(u"别的");
  button->Execute();
  EXPECT_EQ(button->Caption(), u"隐藏红头");
  EXPECT_EQ(Visible(), (std::vector<bool>{true, true, true}));
  EXPECT_EQ(Setting(u"DrawingObjects"), 1);
}

TEST_F(RedHeadTest, WithoutRedHeadShapesTheSettingsStillFlip) {
  doc_->Close();
  MakeDocument(u"plain.doc", DocumentLayout{u"正文\r", {}, {}});
  WriteControl(u"plain.doc", "ShowRevision", "隐藏红头");
  OpenWorkflow(u"plain.doc");
  ASSERT_TRUE(app_->Click(u"隐藏红头"));
  EXPECT_EQ(Setting(u"ShowDrawings"), 0);
  EXPECT_EQ(Setting(u"DrawingObjects"), 0);
  EXPECT_EQ(Toolbar()[1], u"显示红头[F2]");
}

}  // namespace
}  // namespace qnmuro::test_util
