// What both file I/O backends share: a failed file operation as the add-in's error.
#include <cerrno>

#include "platform/file_io.h"

namespace qnmuro {

Error FileError(int err, std::u16string description) {
  SetLastSystemError(err);
  const long number = (err == ENOSPC || err == EFBIG) ? kErrDiskFull : kErrPathAccess;
  return description.empty() ? MakeError(number) : Error(number, std::move(description));
}

}  // namespace qnmuro
