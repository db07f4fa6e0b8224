// The Windows backends' own constructors (Windows only). DefaultServices (services_win.cc)
// picks them; tests that need one backend by name include this header.
#ifndef QNMURO_PLATFORM_SERVICES_WIN_H_
#define QNMURO_PLATFORM_SERVICES_WIN_H_

#include <memory>

#include "platform/clock.h"
#include "platform/http_client.h"
#include "platform/registry_store.h"
#include "platform/shell.h"
#include "platform/ui.h"

namespace qnmuro {

// Windows: timers tick as WM_TIMER messages of a message-only window (clock_win.cc).
std::unique_ptr<SystemClock> NewWindowsClock();

// The WinINet client (Windows; the CA bundle is the system's certificate store), with urlmon's
// URL download as its download service.
std::unique_ptr<HttpClient> NewWinInetHttpClient(const HttpClientOptions& options = {});

// The platform's XML HTTP request object (Windows), the agent call's client: no rate floor
// or time-outs of its own, and redirects followed as the object follows them.
std::unique_ptr<HttpClient> NewXmlHttpClient();

// The Windows registry itself, through its ANSI functions (registry_store_win.cc).
std::unique_ptr<RegistryStore> NewWindowsRegistryStore();

// The Windows implementation (shell_win.cc): ShellExecuteExA, FindExecutableA, toolhelp
// snapshots, TerminateProcess and the window functions. It keeps a handle to each process the
// shell reports having started (none when an already running program took the file over).
std::unique_ptr<ShellService> NewWindowsShellService();

// Win32 message boxes, input box, file dialog and modal form windows (ui_win.cc).
std::unique_ptr<UiService> NewWindowsUi();

}  // namespace qnmuro

#endif  // QNMURO_PLATFORM_SERVICES_WIN_H_
