// Whole files on Windows, and the leftover cleaner. The C runtime opens files without delete
// sharing, so a file a live process is still writing cannot be removed: no mark is needed, and
// a removal that the system refuses means the file is in use.
#include <windows.h>

#include <io.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <random>

#include "platform/file_io.h"

namespace qnmuro {

const char16_t kPathSeparator = u'\\';

std::FILE* OpenPath(const std::filesystem::path& path, const char* mode) {
  const std::wstring wide_mode(mode, mode + std::char_traits<char>::length(mode));
  return _wfopen(path.c_str(), wide_mode.c_str());
}

namespace {

// The errno a caller reports for the system's error code.
int ErrnoOf(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    default:
      return EIO;
  }
}

struct HandleCloser {
  HANDLE handle;
  ~HandleCloser() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};

// The path the system has for an open handle, or empty.
std::wstring FinalPathOf(HANDLE handle) {
  std::wstring buf(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    const DWORD n = GetFinalPathNameByHandleW(handle, buf.data(), static_cast<DWORD>(buf.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0) return {};
    if (n < buf.size()) {
      buf.resize(n);
      return buf;
    }
    buf.assign(n + 1, L'\0');
  }
  return {};
}

// A name nobody can guess ahead of time, so that nothing can be planted under it.
std::wstring RandomTempName() {
  std::random_device random;
  wchar_t buf[48];
  std::swprintf(buf, 48, L".qnmuro-%08x%08x.tmp", random(), random());
  return buf;
}

}  // namespace

FileReadStatus ReadRegularFile(const std::filesystem::path& path, size_t max_bytes,
                               std::string* bytes, int* err) {
  *err = 0;
  bytes->clear();
  // Only a file on a disk: no folder, no device, no pipe (which a read could block on).
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
      return FileReadStatus::kMissing;
    }
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
      return FileReadStatus::kNotRegular;
    *err = ErrnoOf(code);
    return FileReadStatus::kFailed;
  }
  HandleCloser closer{file};
  BY_HANDLE_FILE_INFORMATION info{};
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return FileReadStatus::kNotRegular;
  }
  const unsigned long long size =
      (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  if (size > max_bytes) return FileReadStatus::kTooLarge;
  char buf[65536];
  while (true) {
    DWORD n = 0;
    if (!ReadFile(file, buf, sizeof buf, &n, nullptr)) {
      *err = ErrnoOf(GetLastError());
      return FileReadStatus::kFailed;
    }
    if (n == 0) return FileReadStatus::kOk;
    // A file that grows while it is read is held to the same bound.
    if (n > max_bytes - bytes->size()) return FileReadStatus::kTooLarge;
    bytes->append(buf, n);
  }
}

int SyncFileData(int fd) {
  if (!FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(fd)))) {
    return ErrnoOf(GetLastError());
  }
  return 0;
}

int SyncFolder(const std::filesystem::path&) {
  return 0;
}

int ReplaceFileContents(const std::filesystem::path& path, std::string_view bytes) {
  const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
  std::filesystem::path temp;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
    temp = folder / RandomTempName();
    // CREATE_NEW fails on any existing name, a link included.
    file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
      return ErrnoOf(GetLastError());
  }
  if (file == INVALID_HANDLE_VALUE) return EEXIST;
  int err = 0;
  for (size_t done = 0; done < bytes.size() && err == 0;) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) {
      err = ErrnoOf(GetLastError());
    }
    done += written;
  }
  if (err == 0 && !FlushFileBuffers(file)) err = ErrnoOf(GetLastError());
  CloseHandle(file);
  if (err == 0 && !MoveFileExW(temp.c_str(), path.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    err = ErrnoOf(GetLastError());
  }
  if (err != 0) DeleteFileW(temp.c_str());
  return err;
}

bool IsOpenedAt(std::FILE* file, const std::filesystem::path& folder,
                const std::filesystem::path& below) {
  if (file == nullptr) return false;
  const HANDLE opened = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  if (opened == INVALID_HANDLE_VALUE) return false;
  const HandleCloser dir{CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
  if (dir.handle == INVALID_HANDLE_VALUE) return false;
  // Both sides in the system's own spelling (long names, junctions and links resolved).
  const std::wstring base = FinalPathOf(dir.handle);
  const std::wstring actual = FinalPathOf(opened);
  if (base.empty() || actual.empty()) return false;
  std::filesystem::path expected = std::filesystem::path(base) / below;
  expected.make_preferred();
  return CompareStringOrdinal(expected.c_str(), -1, actual.c_str(), -1, TRUE) == CSTR_EQUAL;
}

AppendStatus AppendToRegularFile(const std::filesystem::path& path, std::string_view bytes) {
  // Append-only access puts every write at the end, whoever else writes. The reparse-point flag
  // opens a link itself rather than what it points to, so that it is seen and refused.
  const HANDLE file =
      CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return AppendStatus::kRefused;
  HandleCloser closer{file};
  BY_HANDLE_FILE_INFORMATION info{};
  const DWORD not_plain =
      FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & not_plain) != 0 || info.nNumberOfLinks != 1) {
    return AppendStatus::kRefused;
  }
  // Where the system does not keep to append-only access, the end is sought too.
  LARGE_INTEGER none{};
  SetFilePointerEx(file, none, nullptr, FILE_END);
  for (size_t done = 0; done < bytes.size();) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) {
      return AppendStatus::kCut;
    }
    done += written;
  }
  return AppendStatus::kWritten;
}

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

int FileLock::Acquire(const std::filesystem::path& path, std::chrono::milliseconds wait) {
  Release();
  // FILE_FLAG_OPEN_REPARSE_POINT: a link at the name is opened itself, never followed.
  const HANDLE file =
      CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ErrnoOf(GetLastError());
  using Clock = std::chrono::steady_clock;
  const Clock::time_point give_up = Clock::now() + wait;
  auto pause = std::chrono::milliseconds(5);
  for (;;) {
    OVERLAPPED at{};
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) break;
    const DWORD code = GetLastError();
    const Clock::time_point now = Clock::now();
    if (code != ERROR_LOCK_VIOLATION || now >= give_up) {
      CloseHandle(file);
      return code == ERROR_LOCK_VIOLATION ? EWOULDBLOCK : ErrnoOf(code);
    }
    Sleep(static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::min<Clock::duration>(pause, give_up - now))
                                 .count()));
    pause = std::min(pause * 2, std::chrono::milliseconds(100));
  }
  handle_ = reinterpret_cast<intptr_t>(file);
  return 0;
}

void FileLock::Release() {
  if (handle_ == -1) return;
  CloseHandle(reinterpret_cast<HANDLE>(handle_));  // drops the lock
  handle_ = -1;
}

}  // namespace qnmuro
