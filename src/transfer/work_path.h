// Keeping local files inside the work directory. Names of local files are often built from
// values the server or the control file supplies (template, seal and draft names); such a name
// must never reach outside the work directory, whatever "..", absolute paths or symbolic
// links it contains.
#ifndef QNMURO_TRANSFER_WORK_PATH_H_
#define QNMURO_TRANSFER_WORK_PATH_H_

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace qnmuro {

// The absolute path that `path` names (relative paths are taken relative to `work_dir`) when
// it lies strictly inside `work_dir`; nullopt when it would leave it, names the work directory
// itself, or is empty. The path is followed part by part as the system would open it: no part
// below the work directory may be a symbolic link (or any other kind of link the system
// follows), and ".." may only step back over a folder that exists. The result is the work
// directory's real path followed by the remaining parts, "." and ".." resolved. Either
// separator is accepted. Never throws.
std::optional<std::u16string> ResolveInWorkDir(std::u16string_view work_dir,
                                               std::u16string_view path);

// ResolveInWorkDir's result in two: the work directory's real path, and the parts below it.
struct WorkDirPath {
  std::filesystem::path folder;
  std::filesystem::path below;
};
std::optional<WorkDirPath> SplitInWorkDir(std::u16string_view work_dir, std::u16string_view path);

// Shorthand: whether ResolveInWorkDir finds the path inside.
inline bool IsInsideWorkDir(std::u16string_view work_dir, std::u16string_view path) {
  return ResolveInWorkDir(work_dir, path).has_value();
}

// Whether `name` is one file-name part that names a file in any folder it is joined to: not
// empty, not "." or "..", without "/", "\" or NUL, and (with `windows_rules`, the default on
// Windows) without ":" (a stream of another file) and not a device name (CON, PRN, AUX, NUL,
// COM1-COM9, LPT1-LPT9 in any letter case, with or without an extension).
#ifdef _WIN32
inline constexpr bool kWindowsFileNames = true;
#else
inline constexpr bool kWindowsFileNames = false;
#endif
bool IsFileNamePart(std::u16string_view name, bool windows_rules = kWindowsFileNames);

}  // namespace qnmuro

#endif  // QNMURO_TRANSFER_WORK_PATH_H_
