// The Linux backends' own constructors, for the services that have another backend on Windows.
// DefaultServices (services_posix.cc) picks them; tests and tools that need one backend by name
// include this header.
#ifndef QNMURO_PLATFORM_SERVICES_POSIX_H_
#define QNMURO_PLATFORM_SERVICES_POSIX_H_

#include <chrono>
#include <filesystem>
#include <memory>

#include "platform/http_client.h"
#include "platform/registry_store.h"
#include "platform/shell.h"

namespace qnmuro {

// The libcurl client.
std::unique_ptr<HttpClient> NewCurlHttpClient(const HttpClientOptions& options = {});

struct FileRegistryOptions {
  // A write gives up with kRegLockTimeout when the lock is still held after this long.
  std::chrono::milliseconds lock_wait = kRegistryLockWait;
};

// A store over a text file in .reg syntax (registry_store_file.cc). The file and its folder
// are created by the first write; a missing file is an empty registry. A symbolic link is
// followed to the regular file it names, which is read and replaced in place of the link;
// anything else that is not a regular file (a device, a pipe, a folder, a link to nothing)
// is refused with kRegBadStorage. Each write takes an exclusive lock on the companion file
// "<file>.lock" beside the regular file, waiting at most options.lock_wait for it, and
// replaces the file atomically (ReplaceFileContents), so concurrent writers in other
// processes never lose each other's values and readers always see a whole file. Lines the
// store cannot parse are kept byte for byte (line ends included) and otherwise ignored. A file
// without write permission for anyone is read-only: writes fail with kRegAccessDenied, also
// for root.
std::unique_ptr<RegistryStore> NewFileRegistryStore(std::filesystem::path file,
                                                    FileRegistryOptions options = {});

// The POSIX implementation (shell_posix.cc): xdg-open and xdg-mime from PATH, /proc for
// processes, signals to end them. xdg-open runs in a session of its own; the processes of that
// session that started after it are the ones it started. It has no access to windows: without a
// window system (no DISPLAY or WAYLAND_DISPLAY) no process has a visible window; with one it cannot
// tell, so it answers that every process may have one, and so leaves running programs alone.
std::unique_ptr<ShellService> NewPosixShellService();

}  // namespace qnmuro

#endif  // QNMURO_PLATFORM_SERVICES_POSIX_H_
