// The qnmuro command's subcommand groups, one file each; main.cc lists them in help order.
#ifndef QNMURO_CLI_COMMAND_H_
#define QNMURO_CLI_COMMAND_H_

#include <CLI/CLI.hpp>

#include <string>

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

// The exit status the command ends with; a subcommand's callback sets it.
int& ExitStatus();

// A bad-argument failure: one line on stderr, exit status 2.
[[noreturn]] void Usage(const std::string& message);

}  // namespace qnmuro::cli

#endif  // QNMURO_CLI_COMMAND_H_
