// File insertion: the InsertFile button runs the host's own "插入(&I)" -> "文件(&L)..." command,
// which shows the host's file dialog and inserts the chosen file at the caret. In the approve
// action the workflow document is locked for tracked revisions, so the lock is lifted around
// the command and the inserted text enters untracked; in the other actions protection and
// tracking are not touched.
#ifndef QNMURO_COMMANDS_FILE_INSERTION_H_
#define QNMURO_COMMANDS_FILE_INSERTION_H_

#include "common/context.h"
#include "host/host.h"

namespace qnmuro {

// Bookmarks that may mark an inserted file in the workflow document; a failed insertion
// removes them.
inline constexpr char16_t kInsertFileStart[] = u"InsertFileStart";
inline constexpr char16_t kInsertFileEnd[] = u"InsertFileEnd";

// Runs the insertion for the workflow document `doc` opened for `action`. Trapped: a failure
// shows the error's own description in a plain box, writes "InsertFile错误：" + the error to the
// event log, puts the lock back as it was before the command and removes the insertion markers
// from `doc` (each removal attempted on its own).
void InsertFile(const Context& ctx, host::Application* app, host::Document* doc, long action);

}  // namespace qnmuro

#endif  // QNMURO_COMMANDS_FILE_INSERTION_H_
