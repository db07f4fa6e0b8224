// The registry store over a .reg text file, for POSIX systems.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <system_error>
#include <thread>

#include "base/error.h"
#include "platform/file_io.h"
#include "platform/reg_document.h"
#include "platform/registry_store.h"
#include "platform/services_posix.h"

namespace qnmuro {
namespace {

constexpr long kRegInvalidParameter = 87;

long StorageFailure(long code, int err) {
  SetLastSystemError(err);
  return code;
}

long Failure(long code) {
  SetLastSystemError(code);
  return code;
}

long AccessCode(int err, long otherwise) {
  return (err == EACCES || err == EPERM || err == EROFS) ? kRegAccessDenied : otherwise;
}

// Closes a descriptor on every path.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// Text that would break a line of the file (a key path or value name with a line break).
bool BreaksLine(std::u16string_view text) {
  for (char16_t c : text) {
    if (c == u'\n' || c == u'\r' || c == 0) return true;
  }
  return false;
}

class FileRegistryStore final : public RegistryStore {
 public:
  FileRegistryStore(std::filesystem::path file, FileRegistryOptions options)
      : file_(std::move(file)), options_(options) {}

  long CreateKey(uint32_t root, std::u16string_view path) override {
    if (const long code = CheckKey(root, path)) return code;
    return Modify([&](RegDocument* doc) {
      // A root always exists; every other key gets a section of its own.
      if (!NormalizeRegistryPath(path).empty()) doc->CreateKey(root, path);
      return kRegOk;
    });
  }

  long KeyExists(uint32_t root, std::u16string_view path) override {
    if (const long code = CheckKey(root, path)) return code;
    RegDocument doc;
    if (const long code = Load(&doc)) return code;
    return doc.KeyExists(root, path) ? kRegOk : Failure(kRegNotFound);
  }

  long GetValue(uint32_t root, std::u16string_view path, std::u16string_view name,
                RegistryValue* value) override {
    if (const long code = CheckKey(root, path)) return code;
    RegDocument doc;
    if (const long code = Load(&doc)) return code;
    const RegistryValue* found = doc.Find(root, path, name);
    if (found == nullptr) return Failure(kRegNotFound);
    *value = *found;
    return kRegOk;
  }

  long SetValue(uint32_t root, std::u16string_view path, std::u16string_view name,
                const RegistryValue& value) override {
    if (const long code = CheckKey(root, path)) return code;
    if (BreaksLine(name)) return Failure(kRegInvalidParameter);
    return Modify([&](RegDocument* doc) {
      return doc->Set(root, path, name, value) ? kRegOk : kRegNotFound;
    });
  }

  long DeleteValue(uint32_t root, std::u16string_view path, std::u16string_view name) override {
    if (const long code = CheckKey(root, path)) return code;
    return Modify(
        [&](RegDocument* doc) { return doc->Remove(root, path, name) ? kRegOk : kRegNotFound; });
  }

  long ListValues(uint32_t root, std::u16string_view path, RegistryValueList* values) override {
    if (const long code = CheckKey(root, path)) return code;
    RegDocument doc;
    if (const long code = Load(&doc)) return code;
    if (!doc.KeyExists(root, path)) return Failure(kRegNotFound);
    *values = doc.List(root, path);
    return kRegOk;
  }

 private:
  static long CheckKey(uint32_t root, std::u16string_view path) {
    if (RegistryRootName(root).empty()) return Failure(kRegInvalidHandle);
    if (BreaksLine(path)) return Failure(kRegInvalidParameter);
    return kRegOk;
  }

  // The regular file behind file_: file_ itself when it is one or is missing, the file that
  // a symbolic link (or a chain of them) ends in. Anything else is refused.
  long Resolve(std::filesystem::path* target) const {
    struct stat st {};
    if (::lstat(file_.c_str(), &st) != 0) {
      if (errno == ENOENT || errno == ENOTDIR) {
        *target = file_;
        return kRegOk;
      }
      return StorageFailure(AccessCode(errno, kRegCantRead), errno);
    }
    if (S_ISREG(st.st_mode)) {
      *target = file_;
      return kRegOk;
    }
    if (S_ISLNK(st.st_mode)) {
      std::unique_ptr<char, decltype(&std::free)> real(::realpath(file_.c_str(), nullptr),
                                                       &std::free);
      if (real != nullptr && ::stat(real.get(), &st) == 0 && S_ISREG(st.st_mode)) {
        *target = real.get();
        return kRegOk;
      }
    }
    return Failure(kRegBadStorage);
  }

  // Reads the whole file; a missing file is an empty registry. The file is only ever
  // replaced by rename, so a read without the lock still sees one whole version.
  long Load(RegDocument* doc) const {
    std::filesystem::path target;
    if (const long code = Resolve(&target)) return code;
    return LoadFrom(target, doc);
  }

  static long LoadFrom(const std::filesystem::path& target, RegDocument* doc) {
    std::string bytes;
    int err = 0;
    switch (ReadRegularFile(target, std::string().max_size(), &bytes, &err)) {
      case FileReadStatus::kOk:
        *doc = RegDocument::Parse(bytes);
        return kRegOk;
      case FileReadStatus::kMissing:
        *doc = RegDocument();
        return kRegOk;
      case FileReadStatus::kNotRegular:
        return Failure(kRegBadStorage);
      case FileReadStatus::kTooLarge:
        return StorageFailure(kRegCantRead, EFBIG);
      case FileReadStatus::kFailed:
        break;
    }
    return StorageFailure(AccessCode(err, kRegCantRead), err);
  }

  // Takes the exclusive lock on `lock`, waiting at most options_.lock_wait for another
  // holder to let go.
  long Lock(const Fd& lock) const {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point give_up = Clock::now() + options_.lock_wait;
    auto pause = std::chrono::milliseconds(5);
    while (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
      if (errno == EINTR) continue;
      if (errno != EWOULDBLOCK) return StorageFailure(kRegCantWrite, errno);
      const Clock::time_point now = Clock::now();
      if (now >= give_up) return Failure(kRegLockTimeout);
      std::this_thread::sleep_for(std::min<Clock::duration>(pause, give_up - now));
      pause = std::min(pause * 2, std::chrono::milliseconds(100));
    }
    return kRegOk;
  }

  // Read-modify-write under an exclusive lock on the companion lock file. `change` returns a
  // result code; only a successful change is written back.
  template <class Change>
  long Modify(Change&& change) {
    std::filesystem::path target;
    if (const long code = Resolve(&target)) return code;
    // A file marked read-only (no write permission for anyone) stays as it is, also for a
    // program of the administrator's: replacing it by rename would pass over the mark.
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0 && (st.st_mode & 0222) == 0) {
      return StorageFailure(kRegAccessDenied, EACCES);
    }
    std::error_code ec;
    if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ec);
    // Never through a link planted under the lock's name.
    const std::string lock_path = target.string() + ".lock";
    Fd lock(::open(lock_path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (lock.get() < 0) return StorageFailure(AccessCode(errno, kRegCantWrite), errno);
    if (const long code = Lock(lock)) return code;
    RegDocument doc;
    if (const long code = LoadFrom(target, &doc)) return code;
    const std::string before = doc.Serialize();
    if (const long code = change(&doc)) return Failure(code);
    const std::string after = doc.Serialize();
    if (after == before) return kRegOk;
    if (const int err = ReplaceFileContents(target, after)) {
      return StorageFailure(AccessCode(err, kRegCantWrite), err);
    }
    return kRegOk;
    // The lock is released when `lock` closes.
  }

  std::filesystem::path file_;
  FileRegistryOptions options_;
};

}  // namespace

std::unique_ptr<RegistryStore> NewFileRegistryStore(std::filesystem::path file,
                                                    FileRegistryOptions options) {
  return std::make_unique<FileRegistryStore>(std::move(file), options);
}

}  // namespace qnmuro
