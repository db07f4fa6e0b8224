// The subcommand whose parts run only on the build machine (the development OA server): on
// Windows it is listed, and says so when used.
#include <iostream>

#include "cli/command.h"

namespace qnmuro::cli {
namespace {

void AddUnavailable(CLI::App& app, const std::string& name, const std::string& description) {
  CLI::App* cmd = app.add_subcommand(name, description);
  cmd->allow_extras();
  SetHelpFooter(cmd, {"qnmuro " + name + " --help"}, {});
  cmd->callback([name] {
    std::cerr << "qnmuro: " << name
              << ": not available in the Windows build (it needs the development OA server,"
                 " which runs on Linux)\n";
    ExitStatus() = 2;
  });
}

}  // namespace

void AddServer(CLI::App& app) {
  AddUnavailable(app, "oa-server", "Run the development OA server (Linux build only)");
}

}  // namespace qnmuro::cli
