#include "commands/file_insertion.h"

#include "base/error.h"
#include "common/velto_log.h"
#include "config/control_rules.h"
#include "host/command_bars.h"
#include "host/host_util.h"
#include "platform/ui.h"
#include "workflow/revision_lock.h"

namespace qnmuro {
namespace {

void RemoveInsertionMarkers(host::Document* doc) noexcept {
  bool marked = false;
  IgnoreFailure([&] { marked = Require(doc).GetBookmarks().Exists(kInsertFileStart); });
  if (!marked) return;
  IgnoreFailure([&] { Require(doc->GetBookmarks().Item(kInsertFileStart)).Delete(); });
  IgnoreFailure([&] { Require(doc->GetBookmarks().Item(kInsertFileEnd)).Delete(); });
}

}  // namespace

void InsertFile(const Context& ctx, host::Application* app, host::Document* doc, long action) {
  const bool approve = ActionPreparation(static_cast<int16_t>(action)) == Preparation::kApprove;
  LockState before;
  TrapFirstFailure(
      [&] {
        if (approve) {
          before = SaveLockState(doc);
          UnTrackRevision(app, doc);
        }
        RunInsertFileMenu(Require(app));
        if (approve) TrackRevision(app, doc);
      },
      [&](const Error& error) {
        IgnoreFailure([&] {
          if (ctx.ui != nullptr) {
            ctx.ui->ShowMessage(error.description(), MsgButtons::kOk, MsgIcon::kNone, u"");
          }
        });
        WriteErrorLog(ctx.state, ComposeErrorReport(u"InsertFile错误：", u"", error), &error);
        RemoveInsertionMarkers(doc);
        // A document locked for review is never left open to untracked edits.
        if (approve) RestoreLockState(app, doc, before);
      });
}

}  // namespace qnmuro
