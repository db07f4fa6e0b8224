// What the toolbar's commands share: their notices and error reports, the names of the local
// copies they download into the work directory, and the downloads themselves.
#ifndef QNMURO_COMMANDS_COMMAND_SUPPORT_H_
#define QNMURO_COMMANDS_COMMAND_SUPPORT_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/error.h"
#include "common/context.h"
#include "common/identity.h"

namespace qnmuro {

// The title of the add-in's notices.
inline constexpr char16_t kNoticeTitle[] = u"QNSoft";

// A notice: the information icon, an OK button and the title "QNSoft".
void ShowNotice(const Context& ctx, std::u16string_view text);

// A command's error report: label + context + the error (ComposeErrorReport), shown in a plain
// box (OK, no icon, the application title) and then written with WriteErrorLog. With
// `statement_number` the box's text carries the statement-number field ":0" before its closing
// parenthesis; the log line never does. Never throws.
void ReportCommandError(const Context& ctx, std::u16string_view label,
                        std::u16string_view context_text, const Error& error, const Error* handled,
                        bool statement_number = false) noexcept;

// Whether a plain file exists at `path`; never throws.
bool IsPlainFile(std::u16string_view path);

// <work dir>/<name>, for a local copy whose name comes from the control file or the server.
// Raises error 52 (bad file name) when `name` is not one file-name part (IsFileNamePart) or
// the path would leave the work directory.
std::u16string WorkFilePath(const Context& ctx, std::u16string_view name);

// The extension (GetFileExtension, dot included) that a local copy takes from a file name or
// an address. What would hold a folder separator is none: the name's last part has no dot.
std::u16string CopyExtension(std::u16string_view name);

// Downloads `url` into `path` (inside the work directory) with `login`, through HttpOperation.
// True when the whole resource arrived; a failed download leaves an earlier file at `path` as
// it was. The transfer writes its own log lines. Held to ctx.download_limits.file.
bool DownloadTo(Context ctx, const Login& login, std::u16string_view url, std::u16string_view path);

// As DownloadTo, but a failed download raises error 53 with the transfer's own reason, and
// the bound is `max_bytes` (unset: ctx.download_limits.file).
void DownloadOrRaise(Context ctx, const Login& login, std::u16string_view url,
                     std::u16string_view path, std::optional<uint64_t> max_bytes = std::nullopt);

// Downloads a file of one of the OA server's documents (a template, a seal picture) into
// `path`: from the control file's root address + "/0/" + `unid` + "/$file/" + the script-escaped
// `file`, as the control file's user (ControlFileLogin), of at most `max_bytes` (the limit of
// what the file becomes, ctx.download_limits). Raises as DownloadOrRaise does.
void DownloadServerFile(Context ctx, std::u16string_view unid, std::u16string_view file,
                        std::u16string_view path, uint64_t max_bytes);

}  // namespace qnmuro

#endif  // QNMURO_COMMANDS_COMMAND_SUPPORT_H_
