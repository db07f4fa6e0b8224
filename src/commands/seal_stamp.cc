#include "commands/seal_stamp.h"

#include <chrono>
#include <memory>

#include "base/error.h"
#include "commands/command_support.h"
#include "host/host_util.h"
#include "platform/clock.h"

namespace qnmuro {
namespace {

// The first shape, among those there when the command started, that is a seal of this
// command; null when there is none.
std::shared_ptr<host::Shape> FirstSeal(host::Shapes& shapes) {
  const long count = shapes.Count();
  for (long i = 1; i <= count; ++i) {
    auto shape = shapes.Item(i);
    if (Require(shape).Name().starts_with(kSealShapePrefix)) return shape;
  }
  return nullptr;
}

// Where the selection is shown, in points from the origin of the page it ends on.
host::PagePoint SelectionPlace(host::Application& app) {
  const auto selection = app.GetSelection();
  const auto window = app.ActiveWindow();
  const auto range = Require(selection).GetRange();
  const host::DocumentRect at = Require(window).ScreenToDocument(window->GetPoint(Require(range)));
  const host::PagePoint page = window->PageOrigin(selection->EndPageNumber());
  return {at.left - page.left, at.top - page.top};
}

std::u16string SealName(const Context& ctx) {
  const LocalTime now =
      ctx.clock != nullptr ? ctx.clock->NowLocal() : ToLocalTime(std::chrono::system_clock::now());
  return kSealShapePrefix + FormatTimestamp(now);
}

}  // namespace

void SetSeal(const Context& ctx, host::Application* app, ChangeSealForm& form,
             std::u16string_view message_text) {
  TrapFirstFailure(
      [&] {
        // A path left from an earlier OK must not stamp again when the dialog is just closed.
        form.SetLocalSealPath(u"");
        form.Show();
        const std::u16string path = form.LocalSealPath();
        if (path.empty()) return;
        host::Application& application = Require(app);
        const auto doc = application.ActiveDocument();
        host::Shapes& shapes = Require(doc).GetShapes();
        const std::shared_ptr<host::Shape> earlier = FirstSeal(shapes);
        host::Bookmarks& bookmarks = doc->GetBookmarks();
        if (bookmarks.Exists(kSealBookmark)) Require(bookmarks.Item(kSealBookmark)).Select();
        const host::PagePoint at = SelectionPlace(application);
        const auto seal =
            shapes.AddPicture(path, false, true, at.left, at.top, kSealSize, kSealSize);
        Require(seal).SetName(SealName(ctx));
        seal->ZOrder(host::kSendBehindText);
        if (earlier) earlier->Delete();
      },
      [&](const Error& error) {
        ReportCommandError(ctx, u"盖印错误: ", message_text, error, &error);
      });
}

}  // namespace qnmuro
