#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>

namespace qnmuro {
namespace {

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// A name nobody can guess ahead of time, so that nothing can be planted under it.
std::string RandomTempName() {
  std::random_device random;
  char buf[48];
  std::snprintf(buf, sizeof buf, ".qnmuro-%08x%08x.tmp", random(), random());
  return buf;
}

}  // namespace

FileReadStatus ReadRegularFile(const std::filesystem::path& path, size_t max_bytes,
                               std::string* bytes, int* err) {
  *err = 0;
  bytes->clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return FileReadStatus::kMissing;
    *err = errno;
    return FileReadStatus::kFailed;
  }
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    *err = errno;
    return FileReadStatus::kFailed;
  }
  if (!S_ISREG(st.st_mode)) return FileReadStatus::kNotRegular;
  if (static_cast<uint64_t>(st.st_size) > max_bytes) return FileReadStatus::kTooLarge;
  char buf[65536];
  while (true) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *err = errno;
      return FileReadStatus::kFailed;
    }
    if (n == 0) return FileReadStatus::kOk;
    // A file that grows while it is read is held to the same bound.
    if (static_cast<size_t>(n) > max_bytes - bytes->size()) return FileReadStatus::kTooLarge;
    bytes->append(buf, static_cast<size_t>(n));
  }
}

int ReplaceFileContents(const std::filesystem::path& path, std::string_view bytes) {
  const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
  std::filesystem::path temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = folder / RandomTempName();
    // O_EXCL fails on any existing name, a dangling link included; O_NOFOLLOW says so twice.
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return errno;
  }
  if (fd < 0) return EEXIST;
  int err = 0;
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) ::fchmod(fd, old.st_mode & 07777);
  if (!WriteAll(fd, bytes) || ::fsync(fd) != 0) err = errno;
  if (::close(fd) != 0 && err == 0) err = errno;
  if (err == 0 && ::rename(temp.c_str(), path.c_str()) != 0) err = errno;
  if (err != 0) {
    ::unlink(temp.c_str());
    return err;
  }
  // Make the rename itself durable.
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return 0;
}

void MarkInUse(std::FILE* file) {
  // An advisory lock, dropped by the system when the file is closed or its process dies.
  if (file != nullptr) ::flock(::fileno(file), LOCK_EX | LOCK_NB);
}

bool RemoveLeftover(const std::filesystem::path& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return false;
  if (S_ISLNK(st.st_mode)) return ::unlink(path.c_str()) == 0;
  if (!S_ISREG(st.st_mode)) return false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  const bool removed = ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlink(path.c_str()) == 0;
  ::close(fd);
  return removed;
}

}  // namespace qnmuro
