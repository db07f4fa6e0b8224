// The original draft and the return to the OA system. The Manuscript button downloads the
// original draft of the document body from the OA server and opens it with the program the
// system associates with its type, in a process of its own; the BackToSystem button closes the
// active document and, once none is left, lets the caller let go of the host application.
#ifndef QNMURO_COMMANDS_ORIGINAL_DRAFT_H_
#define QNMURO_COMMANDS_ORIGINAL_DRAFT_H_

#include <string>

#include "common/context.h"
#include "host/host.h"

namespace qnmuro {

// What a local copy of an original draft carries in its name: <unid>.draft<extension>.
inline constexpr char16_t kDraftInfix[] = u".draft";
// A document whose name contains this is an original draft: closing it discards its changes.
inline constexpr char16_t kDraftMark[] = u".draft.";

inline constexpr char16_t kNoOriginalNotice[] = u"对不起，不存在原稿！";

// Downloads the draft of every "content" binary that has a draft address, in list order, each
// into <work dir>/<document unid>.draft<its file's extension>, and opens the last one computed
// (a failed download opens an earlier copy at that path). Before the launch a running instance
// of the associated program without a visible window is ended. `message_text` receives each
// notice. Trapped: "对不起，不存在原稿！" alone when there is no draft address; a missing file,
// a missing program or a failed launch shows its notice and then the error report "查看原稿错误: "
// (box with the statement number, log line without), as does any failure (a local name
// outside the work directory among them).
void ShowOriginalDraft(const Context& ctx, std::u16string& message_text);

// Closes the active document; an original draft (its name contains ".draft.") is marked saved
// first, so that it closes without a question. When no document is left open, writes true to
// the application's UserControl and returns true: the caller then lets go of the application.
// Not trapped: a cancelled close question raises the host's error.
bool CloseForReturn(host::Application& app);

}  // namespace qnmuro

#endif  // QNMURO_COMMANDS_ORIGINAL_DRAFT_H_
