// Pictures, the window and the view of the Writer host, against a real headless Writer.
#include <gtest/gtest.h>

#include <com/sun/star/view/XViewSettingsSupplier.hpp>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>

#include "base/text.h"
#include "lohost/lo_model.h"
#include "lohost/writer_host.h"
#include "simhost/sim_fixture.h"

namespace qnmuro::lohost {
namespace {

namespace fs = std::filesystem;
using simhost::HostErrorOf;

// Writer's default page style: 2 cm margins.
constexpr float kMargin = 2 * 72 / 2.54f;

class LoShapesTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!WriterInstalled()) return;
    dir_ = new test_util::TempDir;
    for (const char* name : {"office_seal.png", "docmarkline.bmp"})
      fs::copy_file(fs::path(QNMURO_SOURCE_DIR) / "examples" / name, dir_->path() / name);
    test_util::WriteBytes(dir_->path() / "fake.png", "not a picture at all");
    hostkit::HostOptions options;
    options.ui = &ui_;
    options.work_dir = FromPath(dir_->path());
    app_ = StartWriterHost(options, {}).release();
  }
  static void TearDownTestSuite() {
    delete app_;
    app_ = nullptr;
    delete dir_;
    dir_ = nullptr;
  }
  void SetUp() override {
    if (!WriterInstalled()) GTEST_SKIP() << "LibreOffice Writer is not installed";
  }
  void TearDown() override {
    if (app_ == nullptr) return;
    while (app_->GetDocuments().Count() > 0) {
      auto doc = app_->GetDocuments().Item(1);
      doc->SetSaved(true);
      doc->Close();
    }
  }

  // A new document of `paragraphs` numbered paragraphs (80 make two pages).
  std::shared_ptr<host::Document> NewDoc(int paragraphs) {
    auto doc = app_->GetDocuments().Add();
    std::u16string text;
    for (int i = 1; i <= paragraphs; ++i)
      text += u"Paragraph " + ToText(static_cast<long long>(i)) + u"\r";
    app_->GetSelection()->TypeText(text);
    return doc;
  }
  // The position of the first paragraph laid out on `page`.
  long FirstOnPage(host::Document& doc, long page) {
    const std::u16string text = doc.Content()->Text();
    for (long at = 0; at < static_cast<long>(text.size()); ++at) {
      if (at > 0 && text[at - 1] != u'\r') continue;
      app_->GetSelection()->SetRange(at, at);
      if (app_->GetSelection()->EndPageNumber() == page) return at;
    }
    ADD_FAILURE() << "no page " << page;
    return 0;
  }
  hostkit::ShapeInfo Info(host::Document& doc, std::u16string_view name) {
    for (const auto& info : app_->ShapeInfos(doc))
      if (info.name == name) return info;
    ADD_FAILURE() << "no picture " << Utf16ToUtf8(name);
    return {};
  }

  static inline test_util::TempDir* dir_ = nullptr;
  static inline ScriptedUi ui_;
  static inline hostkit::ScriptHost* app_ = nullptr;
};

struct Placed {
  const char16_t* file;
  const char16_t* name;
  long page;
  float left, top, width, height;
};
constexpr Placed kPlaced[] = {
    {u"office_seal.png", u"SealOne", 1, 100, 200, 50, 40},
    {u"docmarkline.bmp", u"LineTwo", 2, 30.5f, 60, 80, 10},
};

void ExpectPlaced(const hostkit::ShapeInfo& info, const Placed& want, const std::string& where) {
  SCOPED_TRACE(where + " " + Utf16ToUtf8(want.name));
  EXPECT_EQ(info.page, want.page);
  EXPECT_NEAR(info.left, want.left, 1);
  EXPECT_NEAR(info.top, want.top, 1);
  EXPECT_NEAR(info.width, want.width, 1);
  EXPECT_NEAR(info.height, want.height, 1);
  EXPECT_TRUE(info.behind_text);
}

TEST_F(LoShapesTest, PicturesLandOnTheirPageAndSurviveSaveAndReopen) {
  // Writer's .doc filter does not keep the pictures' names: they come back in order.
  for (const auto& [ext, keeps_names] :
       {std::pair{".odt", true}, {".docx", true}, {".doc", false}}) {
    auto doc = NewDoc(80);
    for (const Placed& p : kPlaced) {
      app_->GetSelection()->SetRange(FirstOnPage(*doc, p.page) + 3, FirstOnPage(*doc, p.page) + 3);
      auto shape =
          doc->GetShapes().AddPicture(p.file, false, true, p.left, p.top, p.width, p.height);
      shape->SetName(p.name);
      shape->ZOrder(host::kSendBehindText);
      EXPECT_NEAR(shape->Left(), p.left, 1);
    }
    ASSERT_EQ(doc->GetShapes().Count(), 2);
    for (const Placed& p : kPlaced) ExpectPlaced(Info(*doc, p.name), p, "added");
    const std::u16string file = u"pictures" + Utf8ToUtf16(ext);
    doc->SaveAs(file);
    doc->Close();
    doc = app_->GetDocuments().Open(file, true);
    ASSERT_EQ(doc->GetShapes().Count(), 2) << ext;
    const std::vector<hostkit::ShapeInfo> infos = app_->ShapeInfos(*doc);
    for (size_t i = 0; i < std::size(kPlaced); ++i) {
      const Placed& p = kPlaced[i];
      ExpectPlaced(keeps_names ? Info(*doc, p.name) : infos[i], p, ext);
    }
    doc->Close();
  }
}

TEST_F(LoShapesTest, AFileThatIsNoPictureOrIsMissingAddsNothing) {
  auto doc = NewDoc(3);
  host::Shapes& shapes = doc->GetShapes();
  EXPECT_EQ(HostErrorOf([&] { shapes.AddPicture(u"none.png", false, true, 0, 0, 9, 9); }),
            host::kFileError);
  EXPECT_EQ(HostErrorOf([&] { shapes.AddPicture(u"fake.png", false, true, 0, 0, 9, 9); }),
            host::kBadPicture);
  EXPECT_EQ(shapes.Count(), 0);
}

// The add-in's seal placement: where the bookmark is shown, made relative to its page.
TEST_F(LoShapesTest, ASealAtABookmarkLandsWhereTheBookmarkIs) {
  auto doc = NewDoc(80);
  struct Case {
    long page;
    long offset;  // characters into the page's first paragraph
    float left;   // expected, from the page's corner
  };
  for (const Case c : {Case{1, 0, kMargin}, Case{2, 0, kMargin}, Case{2, 5, kMargin + 20}}) {
    SCOPED_TRACE("page " + std::to_string(c.page) + " offset " + std::to_string(c.offset));
    const long at = FirstOnPage(*doc, c.page) + c.offset;
    doc->GetBookmarks().Add(u"SealHere", at, at + 1);
    doc->GetBookmarks().Item(u"SealHere")->Select();
    auto selection = app_->GetSelection();
    auto window = app_->ActiveWindow();
    const host::DocumentRect rect =
        window->ScreenToDocument(window->GetPoint(*selection->GetRange()));
    const host::PagePoint origin = window->PageOrigin(selection->EndPageNumber());
    auto seal = doc->GetShapes().AddPicture(u"office_seal.png", false, true,
                                            rect.left - origin.left, rect.top - origin.top, 40, 40);
    const hostkit::ShapeInfo info = Info(*doc, seal->Name());
    EXPECT_EQ(info.page, c.page);
    EXPECT_NEAR(info.left, c.left, c.offset == 0 ? 3 : 25);
    EXPECT_NEAR(info.top, kMargin, 3);
    // The selection is where it was.
    EXPECT_EQ(selection->GetRange()->Start(), at);
    seal->Delete();
  }
  // The user's insert picture lands where the selection is, too.
  const long at = FirstOnPage(*doc, 2);
  app_->GetSelection()->SetRange(at, at);
  app_->AddPictureAtSelection(u"docmarkline.bmp", u"Inserted", 30, 3);
  const hostkit::ShapeInfo info = Info(*doc, u"Inserted");
  EXPECT_EQ(info.page, 2);
  EXPECT_NEAR(info.left, kMargin, 3);
  EXPECT_NEAR(info.top, kMargin, 3);
}

TEST_F(LoShapesTest, ADeletedOrClosedPictureIsADeletedObject) {
  auto doc = NewDoc(3);
  auto first = doc->GetShapes().AddPicture(u"office_seal.png", false, true, 10, 10, 20, 20);
  auto second = doc->GetShapes().AddPicture(u"docmarkline.bmp", false, true, 10, 40, 20, 5);
  EXPECT_NE(first->Name(), second->Name());
  const auto z = [&](auto& shape) { return Info(*doc, shape->Name()).z_order; };
  second->ZOrder(host::kSendToBack);
  EXPECT_LT(z(second), z(first));
  second->ZOrder(host::kBringForward);
  EXPECT_GT(z(second), z(first));
  second->ZOrder(host::kSendBackward);
  EXPECT_LT(z(second), z(first));
  second->ZOrder(host::kBringToFront);
  EXPECT_GT(z(second), z(first));
  second->ZOrder(host::kBringInFrontOfText);
  EXPECT_FALSE(Info(*doc, second->Name()).behind_text);
  first->SetVisible(false);
  EXPECT_FALSE(first->Visible());
  first->Delete();
  EXPECT_EQ(HostErrorOf([&] { first->Name(); }), host::kObjectDeleted);
  EXPECT_EQ(doc->GetShapes().Count(), 1);
  doc->SetSaved(true);
  doc->Close();
  EXPECT_EQ(HostErrorOf([&] { second->Left(); }), host::kObjectDeleted);
}

TEST_F(LoShapesTest, TheViewAndTheOptionsSwitchPicturesAndDrawings) {
  NewDoc(1);
  const auto window = app_->ActiveWindow();
  host::View& view = window->GetView();
  EXPECT_TRUE(view.ShowDrawings());
  view.SetShowDrawings(false);
  EXPECT_FALSE(app_->ActiveWindow()->GetView().ShowDrawings());
  // Pictures are not swapped for Writer's grey placeholder frames (the hidden red head's rule).
  EXPECT_EQ(
      Uno([&] {
        return Reference<css::view::XViewSettingsSupplier>(
                   std::dynamic_pointer_cast<LoDocument>(app_->ActiveDocument())->Controller(),
                   css::uno::UNO_QUERY_THROW)
            ->getViewSettings()
            ->getPropertyValue(Ascii("ShowGraphics"));
      }),
      css::uno::Any(true));
  view.SetShowDrawings(true);
  EXPECT_TRUE(view.ShowDrawings());
  host::Options& options = app_->GetOptions();
  EXPECT_EQ(options.DrawingObjects(), 1);
  options.SetDrawingObjects(0);
  EXPECT_EQ(app_->Settings()[2], (std::pair<std::u16string, long>{u"DrawingObjects", 0}));
  options.SetDrawingObjects(1);
  EXPECT_EQ(options.DrawingObjects(), 1);
}

}  // namespace
}  // namespace qnmuro::lohost
