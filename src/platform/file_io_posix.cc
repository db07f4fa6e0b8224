#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>

namespace qnmuro {

const char16_t kPathSeparator = u'/';

std::FILE* OpenPath(const std::filesystem::path& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

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

constexpr int kReadAttempts = 5;

bool Unchanged(const struct stat& a, const struct stat& b) {
  return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
         a.st_mtim.tv_nsec == b.st_mtim.tv_nsec && a.st_ctim.tv_sec == b.st_ctim.tv_sec &&
         a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// Reads from the descriptor's position to the end, within `max_bytes`.
FileReadStatus ReadFrom(int fd, size_t max_bytes, std::string* bytes, int* err) {
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
  struct stat before {};
  if (::fstat(fd, &before) != 0) {
    *err = errno;
    return FileReadStatus::kFailed;
  }
  if (!S_ISREG(before.st_mode)) return FileReadStatus::kNotRegular;
  if (static_cast<uint64_t>(before.st_size) > max_bytes) return FileReadStatus::kTooLarge;
  // A file rewritten in place while it is read (not replaced by a rename, which leaves this
  // descriptor on the old file) would read as pieces of two versions: it is read again until
  // its size and times stay the same over a whole read.
  for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
    const FileReadStatus status = ReadFrom(fd, max_bytes, bytes, err);
    if (status != FileReadStatus::kOk) return status;
    struct stat after {};
    if (::fstat(fd, &after) != 0) {
      *err = errno;
      return FileReadStatus::kFailed;
    }
    if (Unchanged(before, after)) return FileReadStatus::kOk;
    before = after;
    bytes->clear();
    if (::lseek(fd, 0, SEEK_SET) != 0) break;
  }
  *err = EAGAIN;  // it kept changing
  bytes->clear();
  return FileReadStatus::kFailed;
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
  SyncFolder(folder);
  return 0;
}

int SyncFileData(int fd) {
#ifdef __linux__
  return ::fdatasync(fd) == 0 ? 0 : errno;
#else
  return ::fsync(fd) == 0 ? 0 : errno;
#endif
}

int SyncFolder(const std::filesystem::path& folder) {
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return errno;
  const int err = ::fsync(dir) == 0 ? 0 : errno;
  ::close(dir);
  return err;
}

bool IsOpenedAt(std::FILE* file, const std::filesystem::path& folder,
                const std::filesystem::path& below) {
  if (file == nullptr) return false;
  char* real = ::realpath(folder.c_str(), nullptr);
  if (real == nullptr) return false;
  const std::filesystem::path expected = std::filesystem::path(real) / below;
  std::free(real);
  // Where the descriptor really leads, as the system tracks it.
  const std::string link = "/proc/self/fd/" + std::to_string(::fileno(file));
  std::string actual(4096, '\0');
  const ssize_t n = ::readlink(link.c_str(), actual.data(), actual.size());
  if (n > 0 && static_cast<size_t>(n) < actual.size()) {
    actual.resize(static_cast<size_t>(n));
    return actual == expected.string();
  }
  // No such view of the descriptors: the file's folder, resolved, and the same file there.
  struct stat opened {};
  struct stat named {};
  char* parent = ::realpath(expected.parent_path().c_str(), nullptr);
  if (parent == nullptr) return false;
  const bool same_folder = expected.parent_path() == parent;
  std::free(parent);
  return same_folder && ::fstat(::fileno(file), &opened) == 0 &&
         ::lstat(expected.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
         opened.st_ino == named.st_ino;
}

AppendStatus AppendToRegularFile(const std::filesystem::path& path, std::string_view bytes) {
  // O_NONBLOCK: a fifo in the file's place cannot hold the open up.
  const int fd = ::open(path.c_str(),
                        O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return AppendStatus::kRefused;
  struct stat st {};
  AppendStatus status = AppendStatus::kRefused;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1) {
    status = WriteAll(fd, bytes) ? AppendStatus::kWritten : AppendStatus::kCut;
  }
  ::close(fd);
  return status;
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

int FileLock::Acquire(const std::filesystem::path& path, std::chrono::milliseconds wait) {
  Release();
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd < 0) return errno;
  using Clock = std::chrono::steady_clock;
  const Clock::time_point give_up = Clock::now() + wait;
  auto pause = std::chrono::milliseconds(5);
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    if (err == EINTR) continue;
    const Clock::time_point now = Clock::now();
    if (err != EWOULDBLOCK || now >= give_up) {
      ::close(fd);
      return err;
    }
    std::this_thread::sleep_for(std::min<Clock::duration>(pause, give_up - now));
    pause = std::min(pause * 2, std::chrono::milliseconds(100));
  }
  handle_ = fd;
  return 0;
}

void FileLock::Release() {
  if (handle_ == -1) return;
  ::close(static_cast<int>(handle_));  // drops the lock
  handle_ = -1;
}

}  // namespace qnmuro
