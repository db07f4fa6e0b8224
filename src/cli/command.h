// The qnmuro command's subcommands register themselves here, one file per group.
#ifndef QNMURO_CLI_COMMAND_H_
#define QNMURO_CLI_COMMAND_H_

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace qnmuro::cli {

using AddCommand = void (*)(CLI::App& app);

// Collects the subcommand groups; each group file defines one static registrar.
std::vector<AddCommand>& Registry();
struct Registrar {
  explicit Registrar(AddCommand add) { Registry().push_back(add); }
};

// The exit status the command ends with; a subcommand's callback sets it.
int& ExitStatus();

// A bad-argument failure: one line on stderr, exit status 2.
[[noreturn]] void Usage(const std::string& message);

}  // namespace qnmuro::cli

#endif  // QNMURO_CLI_COMMAND_H_
