#include "commands/report_insertion.h"

#include "base/error.h"
#include "commands/command_support.h"
#include "common/identity.h"
#include "common/shared_state.h"
#include "common/utils.h"
#include "host/host_util.h"
#include "workflow/revision_lock.h"

namespace qnmuro {

void InsertReport(const Context& ctx, host::Application* app, host::Document* doc,
                  std::u16string& message_text) {
  LockState before;
  bool unlocked = false;
  TrapFirstFailure(
      [&] {
        SetCursorShape(ctx, kWaitCursor);
        const ControlRecords& records = Require(ctx.state).records;
        // Asked for first, whether or not there is a template to download.
        const Login login = ControlFileLogin(ctx, records.commonInfo);
        // Only the first parameter is looked at.
        const std::u16string address =
            records.extendParameters.empty() ? u"" : records.extendParameters[0].value;
        if (address.empty()) {
          message_text = kNoReportNotice;
          ShowNotice(ctx, message_text);
          SetCursorShape(ctx, kArrowCursor);
          return;
        }
        const std::u16string local =
            WorkFilePath(ctx, records.documentInfo.unid + kReportInfix + CopyExtension(address));
        DownloadOrRaise(ctx, login, address, local);
        before = SaveLockState(doc);
        unlocked = true;
        UnTrackRevision(app, doc);
        Require(app).GetSelection()->InsertFile(local);
        TrackRevision(app, doc);
        SetCursorShape(ctx, kArrowCursor);
      },
      [&](const Error& error) {
        SetCursorShape(ctx, kArrowCursor);
        ReportCommandError(ctx, u"引入签报错误: ", message_text, error, &error, true);
        // A document under review is never left open to untracked edits.
        if (unlocked) RestoreLockState(app, doc, before);
      });
}

}  // namespace qnmuro
