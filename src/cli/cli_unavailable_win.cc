// The subcommands whose parts run only on the build machine (the simulated word processor and
// the development OA server): on Windows they are listed, and say so when used.
#include <iostream>

#include "cli/command.h"

namespace qnmuro::cli {
namespace {

void AddUnavailable(CLI::App& app, const std::string& name, const std::string& description) {
  CLI::App* cmd = app.add_subcommand(name, description);
  cmd->allow_extras();
  cmd->callback([name] {
    std::cerr << "qnmuro: " << name
              << ": not available in the Windows build (it needs the simulated word processor"
                 " or the development OA server, which run on Linux)\n";
    ExitStatus() = 2;
  });
}

}  // namespace

void AddDemo(CLI::App& app) {
  AddUnavailable(app, "demo", "Run one document's round trip (Linux build only)");
}

void AddRun(CLI::App& app) {
  AddUnavailable(app, "run", "Run the simulated word processor from a script (Linux build only)");
}

void AddServer(CLI::App& app) {
  AddUnavailable(app, "oa-server", "Run the development OA server (Linux build only)");
}

}  // namespace qnmuro::cli
