// The services and shared state one loaded add-in works with, handed to every operation that
// needs them. Whoever loads the add-in (the qnmuro command, a test, the COM server)
// creates the services, owns them, and keeps them alive for as long as the context is used.
// All pointers are non-owning; a null service means "not available" and the operations that
// need it fail through their normal failure path.
#ifndef QNMURO_COMMON_CONTEXT_H_
#define QNMURO_COMMON_CONTEXT_H_

#include <cstdint>
#include <string>

namespace qnmuro {

struct SharedState;
class UiService;
class Clock;
class RegistryStore;
class ShellService;
class HttpClient;
struct Services;

// The most bytes a download may bring, by what the host makes of it. The defaults are the
// host's own bounds; tests lower them.
struct DownloadLimits {
  uint64_t picture = uint64_t{7} << 20;  // a picture the host inserts (a seal)
  uint64_t file = uint64_t{256} << 20;   // a file the host opens (template, report, draft)
};

struct Context {
  SharedState* state = nullptr;
  UiService* ui = nullptr;
  Clock* clock = nullptr;
  RegistryStore* registry = nullptr;
  ShellService* shell = nullptr;
  HttpClient* http = nullptr;
  // The work directory (C:\OAWork on Windows), as a UTF-16 path without trailing separator.
  std::u16string work_dir;
  // The agent call's client where the platform has one of its own (its XML HTTP request
  // object); null: http.
  HttpClient* agent_http = nullptr;
  DownloadLimits download_limits;
};

// A context over `services` (which keep ownership) and `state`.
Context ContextFor(Services& services, SharedState* state);

}  // namespace qnmuro

#endif  // QNMURO_COMMON_CONTEXT_H_
