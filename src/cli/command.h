// The qnmuro command's subcommand groups, one file each; main.cc lists them in help order.
#ifndef QNMURO_CLI_COMMAND_H_
#define QNMURO_CLI_COMMAND_H_

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "simhost/script_runner.h"

namespace qnmuro::cli {

// Each adds its subcommand (and its own subcommands) to `app`.
void AddDemo(CLI::App& app);
void AddRun(CLI::App& app);
void AddServer(CLI::App& app);
void AddTransfer(CLI::App& app);
void AddAgent(CLI::App& app);
void AddConfig(CLI::App& app);
void AddDataSource(CLI::App& app);
void AddRegistry(CLI::App& app);
void AddPassword(CLI::App& app);
void AddPending(CLI::App& app);

// Which word processor `run` and `demo` drive (--host, --profile).
struct HostChoice {
  std::string host = "sim";
  std::string profile;  // Writer's user profile folder; empty: a fresh temporary one
};
void AddHostOptions(CLI::App& command, HostChoice& choice);
// Empty for the simulated word processor; Usage() when Writer cannot be had.
simhost::HostFactory HostFactoryFor(const HostChoice& choice);

// The command's arguments as UTF-8 (argv[0] first), with the standard streams set to pass
// bytes unchanged: on Windows read from the wide command line, elsewhere argv as it is.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// The exit status the command ends with; a subcommand's callback sets it.
int& ExitStatus();

// A bad-argument failure: one line on stderr, exit status 2.
[[noreturn]] void Usage(const std::string& message);

}  // namespace qnmuro::cli

#endif  // QNMURO_CLI_COMMAND_H_
