#include "workflow/red_head.h"

#include <string>

#include "base/error.h"
#include "base/text.h"
#include "host/host_util.h"

namespace qnmuro {
namespace {

void SetRedHeadShapesVisible(host::Application* app, bool visible) {
  long count = 0;
  std::shared_ptr<host::Document> doc;
  IgnoreFailure([&] {
    doc = Require(app).ActiveDocument();
    count = Require(doc).GetShapes().Count();
  });
  for (long i = 1; i <= count; ++i) {
    // A shape whose name cannot be read is skipped.
    IgnoreFailure([&] {
      const auto shape = doc->GetShapes().Item(i);
      if (IsRedHeadShape(Require(shape).Name())) shape->SetVisible(visible);
    });
  }
}

void SetCaption(host::Control& button, std::u16string_view caption) {
  IgnoreFailure([&] { button.SetCaption(caption); });
  IgnoreFailure([&] { button.SetTooltipText(caption); });
}

}  // namespace

bool IsRedHeadShape(std::u16string_view shape_name) {
  return ContainsIgnoreCase(shape_name, kRedHeadShapeMark);
}

void ToggleRedHead(host::Application* app, host::Control& button) noexcept {
  std::u16string caption;
  IgnoreFailure([&] { caption = button.Caption(); });
  if (caption == kHideRedHeadCaption) {
    IgnoreFailure([&] { Require(Require(app).ActiveWindow()).GetView().SetShowDrawings(false); });
    IgnoreFailure([&] { Require(Require(app).ActiveWindow()).GetView().SetShowBackground(false); });
    SetRedHeadShapesVisible(app, false);
    IgnoreFailure([&] { Require(app).GetOptions().SetDrawingObjects(0); });
    SetCaption(button, kShowRedHeadCaption);
  } else {
    IgnoreFailure([&] { Require(Require(app).ActiveWindow()).GetView().SetShowDrawings(true); });
    SetRedHeadShapesVisible(app, true);
    IgnoreFailure([&] { Require(app).GetOptions().SetDrawingObjects(1); });
    SetCaption(button, kHideRedHeadCaption);
  }
}

void ShowRedHeadSettings(host::Application& app) {
  app.GetOptions().SetDrawingObjects(1);
  Require(app.ActiveWindow()).GetView().SetShowDrawings(true);
}

}  // namespace qnmuro
