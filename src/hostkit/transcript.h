// The lines `qnmuro run` writes on standard output as a script runs: one line per event, UTF-8,
// with CR and LF inside texts written as \r and \n so that every event stays on one line.
#ifndef QNMURO_HOSTKIT_TRANSCRIPT_H_
#define QNMURO_HOSTKIT_TRANSCRIPT_H_

#include <string>
#include <string_view>

#include "base/error.h"
#include "platform/ui.h"

namespace qnmuro::hostkit {

// A text as transcripts write it: UTF-8, CR as \r, LF as \n.
std::string TranscriptText(std::u16string_view text);
// The same in double quotes.
std::string TranscriptQuoted(std::u16string_view text);

// The line of one box of the scripted UI, without a line end; empty for a record that makes no
// line (cursor changes). A box's missing title is the application title.
//   MSGBOX [<title>] <icon> <buttons>: <text> => <answer>
//   INPUTBOX [<title>] <prompt> => "<text>"        or  => (cancel)
//   DIALOG [<caption>] => "<path>"                  (file dialog)
//   DIALOG [<caption>] => "<choice>" ...            (form: its choices in control order;
//                                                    "(ok)" when it was confirmed without any)
//   DIALOG [<caption>] => (cancel)
// A box that found no queued answer ends with " (default)".
std::string FormatUiRecord(const UiRecord& record);

// HOST-ERROR <number> <description>
std::string FormatHostError(const Error& error);

// A length in points, shortest exact form: "72", "72.5".
std::string FormatLength(float value);

}  // namespace qnmuro::hostkit

#endif  // QNMURO_HOSTKIT_TRANSCRIPT_H_
