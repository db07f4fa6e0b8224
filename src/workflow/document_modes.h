// The four workflow actions a document can be opened for. Each prepares the host's active
// document (and, through the revision lock, the workflow document `doc`) right after the
// command bar is built. A null `app` or `doc` makes the steps that need it fail in their
// operation's failure style.
#ifndef QNMURO_WORKFLOW_DOCUMENT_MODES_H_
#define QNMURO_WORKFLOW_DOCUMENT_MODES_H_

#include <cstdint>
#include <string_view>

#include "common/context.h"
#include "host/host.h"

namespace qnmuro {

inline constexpr char16_t kFinalizeDoneText[] = u"正文生成完毕！";

// Draft: head and tail (nothing), values merged, caret at "BodyStart". Each step's failure is
// ignored.
void DraftDocument(const Context& context, host::Application* app);

// View: values merged, revision lock on, marks hidden. Each step's failure is ignored.
void ViewDocument(const Context& context, host::Application* app, host::Document* doc);

// Approve: lock released, values merged, lock on again, marks hidden. Not trapped: the first
// failure ends it and goes to the caller.
void ApproveDocument(const Context& context, host::Application* app, host::Document* doc);

// Finalise: lock released, values merged, every bookmark of the active document removed (the
// text stays), all tracked revisions accepted, then the box "正文生成完毕！". Trapped: the
// first failure ends it; "FinalizeDocument错误：" + `message_text` + the error is shown and
// logged.
void FinalizeDocument(const Context& context, host::Application* app, host::Document* doc,
                      std::u16string_view message_text);

// Deletes every bookmark of `doc`, however many, keeping the text; returns how many went.
// `removed`, when given, counts each deletion as it happens, so that a caller whose later step
// fails knows how many to undo.
int64_t RemoveAllBookmarks(host::Document& doc, int64_t* removed = nullptr);

}  // namespace qnmuro

#endif  // QNMURO_WORKFLOW_DOCUMENT_MODES_H_
