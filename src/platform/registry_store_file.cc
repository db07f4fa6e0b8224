// The registry store over a .reg text file, for POSIX systems.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

#include "base/error.h"
#include "platform/reg_document.h"
#include "platform/registry_store.h"

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
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Text that would break a line of the file (a key path or value name with a line break).
bool BreaksLine(std::u16string_view text) {
  for (char16_t c : text) {
    if (c == u'\n' || c == u'\r' || c == 0) return true;
  }
  return false;
}

class FileRegistryStore final : public RegistryStore {
 public:
  explicit FileRegistryStore(std::filesystem::path file)
      : file_(std::move(file)), lock_(file_.string() + ".lock") {}

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

  // Reads the whole file; a missing file is an empty registry. The file is only ever
  // replaced by rename, so a read without the lock still sees one whole version.
  long Load(RegDocument* doc) const {
    Fd fd(::open(file_.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
      if (errno == ENOENT || errno == ENOTDIR) {
        *doc = RegDocument();
        return kRegOk;
      }
      return StorageFailure(AccessCode(errno, kRegCantRead), errno);
    }
    std::string bytes;
    char buf[65536];
    while (true) {
      const ssize_t n = ::read(fd.get(), buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return StorageFailure(kRegCantRead, errno);
      if (n == 0) break;
      bytes.append(buf, static_cast<size_t>(n));
    }
    *doc = RegDocument::Parse(bytes);
    return kRegOk;
  }

  // Read-modify-write under an exclusive lock on the companion lock file. `change` returns a
  // result code; only a successful change is written back.
  template <class Change>
  long Modify(Change&& change) {
    std::error_code ec;
    if (file_.has_parent_path()) std::filesystem::create_directories(file_.parent_path(), ec);
    Fd lock(::open(lock_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
    if (lock.get() < 0) return StorageFailure(AccessCode(errno, kRegCantWrite), errno);
    while (::flock(lock.get(), LOCK_EX) != 0) {
      if (errno != EINTR) return StorageFailure(kRegCantWrite, errno);
    }
    RegDocument doc;
    if (const long code = Load(&doc)) return code;
    const std::string before = doc.Serialize();
    if (const long code = change(&doc)) return Failure(code);
    const std::string after = doc.Serialize();
    if (after == before) return kRegOk;
    return Replace(after);
    // The lock is released when `lock` closes.
  }

  // Writes `bytes` to a new file beside the registry file and renames it over the old one.
  long Replace(const std::string& bytes) {
    struct stat old_stat {};
    const bool had_file = ::stat(file_.c_str(), &old_stat) == 0;
    std::string temp;
    int raw = -1;
    for (int n = 0; n < 100 && raw < 0; ++n) {
      // Under the exclusive lock only a crashed writer's leftover can hold the name.
      temp = file_.string() + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(n);
      raw = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (raw < 0 && errno != EEXIST) break;
    }
    if (raw < 0) return StorageFailure(AccessCode(errno, kRegCantWrite), errno);
    Fd out(raw);
    int err = 0;
    if (had_file) ::fchmod(out.get(), old_stat.st_mode & 07777);
    if (!WriteAll(out.get(), bytes) || ::fsync(out.get()) != 0) err = errno;
    if (::close(out.release()) != 0 && err == 0) err = errno;
    if (err == 0 && ::rename(temp.c_str(), file_.c_str()) != 0) err = errno;
    if (err != 0) {
      ::unlink(temp.c_str());
      return StorageFailure(AccessCode(err, kRegCantWrite), err);
    }
    // Make the rename itself durable.
    Fd dir(::open(file_.has_parent_path() ? file_.parent_path().c_str() : ".",
                  O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) ::fsync(dir.get());
    return kRegOk;
  }

  std::filesystem::path file_;
  std::filesystem::path lock_;
};

}  // namespace

std::unique_ptr<RegistryStore> NewFileRegistryStore(std::filesystem::path file) {
  return std::make_unique<FileRegistryStore>(std::move(file));
}

}  // namespace qnmuro
