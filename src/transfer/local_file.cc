#include "transfer/local_file.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "base/text.h"

namespace qnmuro {

FilePtr OpenLocal(const std::u16string& path, const char* mode) {
#ifdef _WIN32
  const std::wstring wide_mode(mode, mode + std::char_traits<char>::length(mode));
  return FilePtr(_wfopen(ToPath(path).c_str(), wide_mode.c_str()));
#else
  return FilePtr(std::fopen(ToPath(path).c_str(), mode));
#endif
}

bool CloseFile(FilePtr file, int* err) {
  std::FILE* raw = file.release();
  const bool flushed = std::fflush(raw) == 0 && std::ferror(raw) == 0;
  const int flush_errno = errno;
  const bool closed = std::fclose(raw) == 0;
  if (flushed && closed) return true;
  *err = !flushed ? flush_errno : errno;
  return false;
}

void RemoveQuietly(const std::u16string& path) {
  std::error_code ec;
  if (!path.empty()) std::filesystem::remove(ToPath(path), ec);
}

}  // namespace qnmuro
