// Local files the transfers read and write: opened by their UTF-16 path and closed on every
// path out; a file that is kept is closed with CloseFile, which tells whether every byte
// reached it.
#ifndef QNMURO_TRANSFER_LOCAL_FILE_H_
#define QNMURO_TRANSFER_LOCAL_FILE_H_

#include <cstdio>
#include <memory>
#include <string>

namespace qnmuro {

struct FileCloser {
  void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// std::fopen for a UTF-16 path; empty with errno set on failure.
FilePtr OpenLocal(const std::u16string& path, const char* mode);

// Flushes and closes `file`. False, with the errno of the failed step in `err`, when a write,
// the flush or the close failed.
bool CloseFile(FilePtr file, int* err);

// Removes the file when it exists; the empty path and any failure are ignored.
void RemoveQuietly(const std::u16string& path);

}  // namespace qnmuro

#endif  // QNMURO_TRANSFER_LOCAL_FILE_H_
