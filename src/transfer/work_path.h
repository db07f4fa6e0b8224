// Keeping local files inside the work directory. Names of local files are often built from
// values the server or the control file supplies (template, seal and draft names); such a name
// must never reach outside the work directory, whatever "..", absolute paths or symbolic
// links it contains.
#ifndef QNMURO_TRANSFER_WORK_PATH_H_
#define QNMURO_TRANSFER_WORK_PATH_H_

#include <optional>
#include <string>
#include <string_view>

namespace qnmuro {

// The absolute path that `path` names (relative paths are taken relative to `work_dir`), with
// "." and ".." resolved and existing symbolic links followed, when it lies strictly inside
// `work_dir`; nullopt when it would leave it, names the work directory itself, or is empty.
// Either separator is accepted. Never throws.
std::optional<std::u16string> ResolveInWorkDir(std::u16string_view work_dir,
                                               std::u16string_view path);

// Shorthand: whether ResolveInWorkDir finds the path inside.
inline bool IsInsideWorkDir(std::u16string_view work_dir, std::u16string_view path) {
  return ResolveInWorkDir(work_dir, path).has_value();
}

}  // namespace qnmuro

#endif  // QNMURO_TRANSFER_WORK_PATH_H_
