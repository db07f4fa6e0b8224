// This platform's default services, created together. Whoever loads the add-in (the qnmuro
// command, a test, the COM server) creates them once, owns them, and hands them to the
// add-in's context; a caller that needs another backend for one service (a virtual clock, the
// scripted UI, an HTTP client that fails on purpose) replaces that member before use.
//
// Each platform defines DefaultServices in its own file (services_posix.cc, services_win.cc);
// its backends' own constructors are declared beside it (services_posix.h, services_win.h).
#ifndef QNMURO_PLATFORM_SERVICES_H_
#define QNMURO_PLATFORM_SERVICES_H_

#include <filesystem>
#include <memory>
#include <string>

#include "platform/clock.h"
#include "platform/http_client.h"
#include "platform/registry_store.h"
#include "platform/shell.h"
#include "platform/ui.h"

namespace qnmuro {

struct ServiceOptions {
  // The work directory; empty: DefaultWorkDir().
  std::u16string work_dir;
  // The registry file of the file-backed store; empty: DefaultRegistryPath(). Not used where
  // the platform has a registry of its own.
  std::filesystem::path registry_file;
  // The terminal UI answers "yes" (or "ok") where it would otherwise take the default button.
  bool assume_yes = false;
};

struct Services {
  // Declared first so that it outlives every member that reads the time while it goes away.
  std::unique_ptr<Clock> clock;
  std::unique_ptr<UiService> ui;
  std::unique_ptr<RegistryStore> registry;
  std::unique_ptr<ShellService> shell;
  std::unique_ptr<HttpClient> http;
  // The agent call's own client, where the platform has one (null on Linux: http serves).
  std::unique_ptr<HttpClient> agent_http;
  // The work directory as a UTF-16 path without trailing separator.
  std::u16string work_dir;
  // The ANSI code page, resolved once when the services were created (see AnsiCodePage()).
  std::string code_page;
};

// This platform's services: on Linux the system clock, the terminal UI (interactive when
// standard input and standard error are terminals), the registry file, the POSIX shell and
// processes, and libcurl. Never fails: a service that cannot be used fails when it is used.
Services DefaultServices(const ServiceOptions& options = {});

// This platform's registry store: the registry file at DefaultRegistryPath() on Linux, the
// Windows registry on Windows.
std::unique_ptr<RegistryStore> DefaultRegistryStore();

// QNMURO_WORKDIR, or ~/OAWork when unset (C:\OAWork on Windows), without trailing separator.
std::u16string DefaultWorkDir();

}  // namespace qnmuro

#endif  // QNMURO_PLATFORM_SERVICES_H_
