// The leftover cleaner on Windows. The C runtime opens files without delete sharing, so a file
// a live process is still writing cannot be removed: no mark is needed, and a removal that the
// system refuses means the file is in use.
#include <windows.h>

#include "platform/file_io.h"

namespace qnmuro {

void MarkInUse(std::FILE*) {}

bool RemoveLeftover(const std::filesystem::path& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  // A link goes whatever it points to; a folder or device under the name stays.
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
    return false;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return RemoveDirectoryW(path.c_str()) != 0;
  return DeleteFileW(path.c_str()) != 0;
}

}  // namespace qnmuro
