#include "workflow/document_modes.h"

#include "base/error.h"
#include "common/velto_log.h"
#include "datasource/merge.h"
#include "host/host_util.h"
#include "platform/ui.h"
#include "workflow/red_head.h"
#include "workflow/revision_lock.h"

namespace qnmuro {

void DraftDocument(const Context& context, host::Application* app) {
  IgnoreFailure([&] { MergeDataSource(context, Require(app)); });
  IgnoreFailure([&] {
    Require(Require(Require(app).ActiveDocument()).GetBookmarks().Item(kBodyStart)).Select();
  });
}

void ViewDocument(const Context& context, host::Application* app, host::Document* doc) {
  IgnoreFailure([&] { MergeDataSource(context, Require(app)); });
  IgnoreFailure([&] { TrackRevision(app, doc); });
  IgnoreFailure([&] { HideRevision(Require(app)); });
}

void ApproveDocument(const Context& context, host::Application* app, host::Document* doc) {
  UnTrackRevision(app, doc);
  MergeDataSource(context, Require(app));
  TrackRevision(app, doc);
  HideRevision(Require(app));
}

void FinalizeDocument(const Context& context, host::Application* app, host::Document* doc,
                      std::u16string_view message_text) {
  TrapFirstFailure(
      [&] {
        UnTrackRevision(app, doc);
        MergeDataSource(context, Require(app));
        const auto active = Require(app).ActiveDocument();
        RemoveAllBookmarks(Require(active));
        active->AcceptAllRevisions();
        Require(context.ui).ShowMessage(kFinalizeDoneText, MsgButtons::kOk, MsgIcon::kNone, u"");
      },
      [&](const Error& error) {
        const std::u16string report =
            ComposeErrorReport(u"FinalizeDocument错误：", message_text, error);
        if (context.ui != nullptr) {
          context.ui->ShowMessage(report, MsgButtons::kOk, MsgIcon::kNone, u"");
        }
        WriteErrorLog(context.state, report, &error);
      });
}

int64_t RemoveAllBookmarks(host::Document& doc, int64_t* removed) {
  host::Bookmarks& bookmarks = doc.GetBookmarks();
  // The count is read once into a wide counter and the loop bounded by it, so any number of
  // bookmarks goes and a host that fails to remove one cannot keep the loop going. Removing
  // from the last one on never renumbers a bookmark still to be removed.
  const int64_t count = bookmarks.Count();
  for (int64_t i = count; i >= 1; --i) {
    Require(bookmarks.Item(static_cast<long>(i))).Delete();
    if (removed != nullptr) ++*removed;
  }
  return count;
}

}  // namespace qnmuro
