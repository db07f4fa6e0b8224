// Reading and replacing whole files safely, for stores and documents that hostile hands may
// have touched: nothing but a regular file is read, no read can block on a pipe or run for
// ever on a device, and no write can be redirected by something planted beside the file.
#ifndef QNMURO_PLATFORM_FILE_IO_H_
#define QNMURO_PLATFORM_FILE_IO_H_

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "base/error.h"

namespace qnmuro {

// The system's path separator, as the add-in joins paths with it.
extern const char16_t kPathSeparator;

// A failed file operation as the add-in's error, with `err` (an errno; the Windows backend
// translates its system's codes to errno) as the last system error: a full disk or a file over
// the system's size limit is 61, anything else 75. An empty `description` takes the number's
// default one.
Error FileError(int err, std::u16string description = {});

// std::fopen for a path of any characters (through the wide name on Windows); nullptr and
// errno set on failure.
std::FILE* OpenPath(const std::filesystem::path& path, const char* mode);

enum class FileReadStatus {
  kOk,
  kMissing,     // nothing is there, or a folder on the way is missing
  kNotRegular,  // a folder, a device, a pipe, a socket, a link to one of them
  kTooLarge,    // more than the bytes allowed
  kFailed,      // the system refused; *err holds its errno
};

// Reads the whole regular file at `path` (links followed) into *bytes, when it holds at most
// `max_bytes`. The file is opened without blocking, so that a pipe in its place cannot hold the
// reader up, and checked to be a regular file before anything is read. A file rewritten in
// place during the read is read again (a few times at most, then kFailed with EAGAIN), so that
// the bytes are one version of it, never pieces of two. *err is set to the errno of a failure
// (0 otherwise).
FileReadStatus ReadRegularFile(const std::filesystem::path& path, size_t max_bytes,
                               std::string* bytes, int* err);

// Writes `bytes` to a new file in `path`'s folder, created exclusively under an unpredictable
// name (creation fails rather than open anything already there, link or file), flushes it to
// the disk, renames it over `path` and flushes the folder. The new file takes the permission
// bits of the regular file it replaces (a first file: 0666 less the umask). `path` itself is
// replaced, also when it is a symbolic link; callers that write through links resolve them
// first. Returns 0 on success, else the errno of the step that failed; then `path` is
// untouched and the temporary file is gone.
int ReplaceFileContents(const std::filesystem::path& path, std::string_view bytes);

// Flushes the bytes of the open descriptor `fd` to the disk (the data and the size; times and
// the like can be lost without losing the file). Returns 0, or the errno of the failure.
int SyncFileData(int fd);

// Flushes `file`'s buffer and then its bytes to the disk, as a file must be before it is renamed
// over the one it replaces. Returns 0, or the errno of the failure.
int SyncFile(std::FILE* file);

// Sends a long file this process is writing to the disk on a thread of its own while the writer
// goes on: the flush before the rename then finds little left to do, and unwritten pages never
// pile up. The thread uses the file's descriptor, so the object goes (or is Finish()ed) before
// the file is closed.
class WriteBehind {
 public:
  explicit WriteBehind(std::FILE* file);
  ~WriteBehind() { Finish(); }
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;

  // Flushes the stream's buffer and has what the file holds so far flushed to the disk, without
  // waiting for it (a request made while a flush runs is taken when that one ends). Returns 0,
  // or the errno of the buffer's flush or of an earlier flush to the disk (a full disk, an I/O
  // error).
  int Request();
  // Waits for the flushes asked for, then takes no further one; returns 0, or the errno of a
  // flush that failed.
  int Finish();

 private:
  void Run();

  std::FILE* file_;
  int fd_;  // taken once: the stream is the writer's
  std::mutex mutex_;
  std::condition_variable wake_;
  bool wanted_ = false;    // a flush asked for and not yet begun
  bool stopping_ = false;  // Finish() called
  int error_ = 0;          // the first failed flush's errno
  std::thread thread_;     // started by the first request
};

// Makes the entries of `folder` (a file renamed into it, a folder created in it) durable, as a
// power cut would otherwise lose them. Returns 0, or the errno of the failure. Where the system
// keeps folder entries durable itself (Windows) it does nothing.
int SyncFolder(const std::filesystem::path& folder);

// Whether the open `file` is, in the file system as it really is now, the file that `below`
// (plain names: no "." or "..") names inside the folder `folder`: a link in `folder`'s own path
// is followed, one in any part of `below` would have led the file elsewhere and answers false.
// False also when the system cannot tell where the file is.
bool IsOpenedAt(std::FILE* file, const std::filesystem::path& folder,
                const std::filesystem::path& below);

// An exclusive lock that processes take on one lock file to do a piece of work one at a time
// (a lock the system drops when its holder exits or dies). The file is created when missing,
// never through a link planted at its name, and stays. Within one process a second holder of
// the same file is another holder, so holders never nest.
class FileLock {
 public:
  FileLock() = default;
  ~FileLock() { Release(); }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Takes the lock, waiting at most `wait` while another holder has it. Returns 0, EWOULDBLOCK
  // when the other holder kept it that long, or the errno of a failure to open the file.
  int Acquire(const std::filesystem::path& path, std::chrono::milliseconds wait);
  void Release();
  bool held() const { return handle_ != -1; }

 private:
  intptr_t handle_ = -1;  // a descriptor, or a HANDLE on Windows
};

enum class AppendStatus {
  kWritten,
  kRefused,  // nothing written: not a regular file of one name, or it could not be opened
  kCut,      // opened, but the write failed or was cut short (a full disk)
};

// Appends `bytes` to the regular file at `path` in one write, creating the file (0666 less the
// umask) when it is missing. Made for a log that other processes append to, rotate, and may
// tamper with: a link in the file's place is never followed, and nothing but a regular file
// with no other name (no hard link planted there) is written to. Every call opens the path
// afresh, so that a file renamed away meanwhile gets no more lines.
AppendStatus AppendToRegularFile(const std::filesystem::path& path, std::string_view bytes);

// Marks `file`, a temporary file this process is still writing, as in use until it is closed, so
// that RemoveLeftover in another process leaves it alone. Where the system offers no such mark
// the call does nothing (on Windows an open file cannot be removed anyway).
void MarkInUse(std::FILE* file);

// Removes `path` when it is the leftover of a process that was killed: a symbolic link (the
// link goes; whatever it points to stays) or a regular file no live process has marked in use.
// Anything else, and any file in use, is left alone. True when something was removed.
bool RemoveLeftover(const std::filesystem::path& path);

}  // namespace qnmuro

#endif  // QNMURO_PLATFORM_FILE_IO_H_
