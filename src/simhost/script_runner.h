// Running scripts of user actions against the simulated word processor (`qnmuro run`).
//
// The script language, the transcript and the simulated word processor's rules are described
// for people in docs/scripts.md.
#ifndef QNMURO_SIMHOST_SCRIPT_RUNNER_H_
#define QNMURO_SIMHOST_SCRIPT_RUNNER_H_

#include <functional>
#include <iosfwd>
#include <memory>
#include <string_view>
#include <vector>

#include "common/context.h"
#include "host/host.h"
#include "hostkit/script_host.h"
#include "platform/clock.h"
#include "simhost/sim_host.h"

namespace qnmuro::simhost {

// Creates one add-in for a run. `services` holds the run's UI, clock and work directory and
// the services the caller put into ScriptRunOptions::services; it stays valid until the add-in
// is destroyed. The add-in owns whatever else it needs (its shared state). Returning null
// connects nothing.
using AddInFactory = std::function<std::unique_ptr<host::AddIn>(const Context& services)>;

struct ScriptRunOptions {
  // The work directory: relative paths, new documents. Must exist.
  std::u16string work_dir;
  // Transcript and script errors; both must be set.
  std::ostream* out = nullptr;
  std::ostream* err = nullptr;
  // Where the virtual clock starts.
  TimePoint start_time;
  // Services for the add-ins (registry, shell, http; `set-registry` writes to `registry`,
  // and fails as a host error without one). The runner fills in ui, clock and work_dir.
  Context services;
  // The add-ins to connect, in order.
  std::vector<AddInFactory> add_ins;
  // The host; empty: the simulated word processor.
  hostkit::HostFactory host;
};

// Parses and runs a script. Returns 0 when it ran to its end, host errors included, except a
// file the host could not open: then 1, each such file named on `err` ("line N: the host cannot
// open FILE: why") once the run has ended; 2 when it does not parse (the reason written to
// `err` as "line N: reason"; nothing runs, no add-in is created); 1 when the host does not
// start (the reason written to `err`).
int RunScript(std::string_view script, const ScriptRunOptions& options);

}  // namespace qnmuro::simhost

#endif  // QNMURO_SIMHOST_SCRIPT_RUNNER_H_
