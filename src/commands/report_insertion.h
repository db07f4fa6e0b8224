// Report insertion: the 引入签报 button downloads the report template that the control file
// names and inserts it at the caret, with the workflow document's revision lock lifted so that
// the inserted text does not appear as a tracked change.
#ifndef QNMURO_COMMANDS_REPORT_INSERTION_H_
#define QNMURO_COMMANDS_REPORT_INSERTION_H_

#include <string>

#include "common/context.h"
#include "host/host.h"

namespace qnmuro {

inline constexpr char16_t kNoReportNotice[] = u"对不起，不存在签报模板！";
// What a local copy of a report template carries in its name: <unid>.report<extension>.
inline constexpr char16_t kReportInfix[] = u".report";

// The template's address is the value of the first extend parameter, whatever its name; empty
// means none: `message_text` becomes "对不起，不存在签报模板！" and is shown as a notice.
// Otherwise the template is downloaded into <work dir>/<document unid>.report<extension of the
// address>, the lock of `doc` is lifted (UnTrackRevision), the file inserted at the selection
// and the lock applied (TrackRevision), whatever it was before. Trapped: a failure (a failed
// download, a file that is not a document, a local name outside the work directory) shows
// "引入签报错误: " + `message_text` + the error with the statement number, logs it without, and
// puts the lock back as the command found it. The arrow cursor returns on every way out.
void InsertReport(const Context& ctx, host::Application* app, host::Document* doc,
                  std::u16string& message_text);

}  // namespace qnmuro

#endif  // QNMURO_COMMANDS_REPORT_INSERTION_H_
