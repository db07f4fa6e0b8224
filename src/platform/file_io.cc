// What both file I/O backends share: a failed file operation as the add-in's error, the flush
// of a whole file and the flush behind a writer.
#include <cerrno>

#include "platform/file_io.h"

namespace qnmuro {

Error FileError(int err, std::u16string description) {
  SetLastSystemError(err);
  const long number = (err == ENOSPC || err == EFBIG) ? kErrDiskFull : kErrPathAccess;
  return description.empty() ? MakeError(number) : Error(number, std::move(description));
}

int SyncFile(std::FILE* file) {
  if (std::fflush(file) != 0 || std::ferror(file) != 0) return errno != 0 ? errno : EIO;
  return SyncFileData(fileno(file));
}

WriteBehind::WriteBehind(std::FILE* file) : file_(file), fd_(fileno(file)) {}

int WriteBehind::Request() {
  if (std::fflush(file_) != 0) return errno;
  std::lock_guard<std::mutex> lock(mutex_);
  if (error_ != 0) return error_;
  wanted_ = true;
  if (thread_.joinable()) {
    wake_.notify_one();
  } else {
    thread_ = std::thread([this] { Run(); });
  }
  return 0;
}

int WriteBehind::Finish() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
  return error_;
}

void WriteBehind::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return wanted_ || stopping_; });
    if (!wanted_) return;  // stopping, with every request taken
    wanted_ = false;
    lock.unlock();
    const int err = SyncFileData(fd_);
    lock.lock();
    if (error_ == 0) error_ = err;
  }
}

}  // namespace qnmuro
