// Small stateless procedures of the Common module: path splitting, URL query building and
// escaping, the file-name encoding of the upload protocol, the backup copy made before a
// document goes to the server, and the program/process/cursor helpers of the original-draft
// viewer.
//
// Positions are 1-based, searches exact and case-sensitive. Path procedures accept both "/"
// and "\" as folder separators; built paths use the platform separator. Only ShellOpenFile
// writes an error line and KillProcess an event line; everything else swallows its errors and
// returns the values stated.
#ifndef QNMURO_COMMON_UTILS_H_
#define QNMURO_COMMON_UTILS_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace qnmuro {

struct Context;

// The backup folder's name, beside the document.
inline constexpr char16_t kBackupFolderName[] = u"qnoawork.bak";

// The extension with its dot. When the fourth character from the end is ".", the last four
// characters; otherwise from the last "." to the end (the scan does not stop at separators),
// or empty without a dot. On any error, including a text shorter than four characters (which
// has no fourth character from the end), the last four characters (the whole text).
std::u16string GetFileExtension(std::u16string_view path);
// The path without its last (length of GetFileExtension) characters.
std::u16string RemoveFileExtension(std::u16string_view path);
// What follows the last "/" or "\"; the whole path without separator; empty for a blank path.
std::u16string GetFileName(std::u16string_view path);
// Up to and including the last "/" or "\"; the path itself without separator; empty for a
// blank path.
std::u16string GetFilePath(std::u16string_view path);

// Adds a query parameter: a leading "&" or "?" of the (left-trimmed) parameter is dropped, and
// the parameter joined with "?" (no query yet), "&", or nothing (the query already ends in "&").
std::u16string AppendUrlParameter(std::u16string_view url, std::u16string_view parameter);

// Base64 of the text's ANSI bytes with "+" -> "%2B" and "/" -> "%2F" ("=" stays). Raises the
// Base64 errors to the caller.
std::u16string EncodeFileName(std::u16string_view text);

// Keeps the 69 characters A-Z a-z 0-9 @ * _ + - . / and writes every other UTF-16 unit as
// %X (as %0X), %XX, %u0XXX or %uXXXX, upper-case hex without leading zeros.
std::u16string EscapeText(std::u16string_view text);

// Copies the document at `path` to <folder>/qnoawork.bak/<yyyymmddhhnnss><name> (the time from
// ctx.clock, local; a name longer than 32 characters loses its first 32), after
// PrepareBackupFolder. True when the copy succeeded. A path without a folder part has no
// place beside it for the folder: false, nothing done.
bool BackupFile(const Context& ctx, std::u16string_view path);
// Creates the folder if missing, then deletes its files (not subfolders) last modified more
// than 7 days before ctx.clock's now. Ignores every error.
void PrepareBackupFolder(const Context& ctx, std::u16string_view folder);

// Opens the file with its associated program, working directory ctx.work_dir. Returns the
// shell's result (above 32) or, after writing "启动<path>失败！<code>..." to the event log, 0.
int32_t ShellOpenFile(const Context& ctx, std::u16string_view path);
// The program associated with the file (at most 255 characters), or empty.
std::u16string FindAssociatedProgram(const Context& ctx, std::u16string_view path);
// Ends the first running process that ctx.shell started (OpenDocument) and whose executable name
// equals GetFileName(program) (ignoring case), unless it has a visible window below the
// foreground window, and then writes
// "强行关闭进程：<name><pid>" with WriteLog. Errors are ignored.
void KillProcess(const Context& ctx, std::u16string_view program);
// System cursor codes.
inline constexpr int kWaitCursor = 32514;
inline constexpr int kArrowCursor = 32512;
// Sets the mouse cursor (kWaitCursor, kArrowCursor) through ctx.ui; errors are ignored.
void SetCursorShape(const Context& ctx, int code);

}  // namespace qnmuro

#endif  // QNMURO_COMMON_UTILS_H_
