// The qnmuro command's subcommand groups, one file each; main.cc lists them in help order.
#ifndef QNMURO_CLI_COMMAND_H_
#define QNMURO_CLI_COMMAND_H_

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "config/control_rules.h"
#include "hostkit/script_host.h"
#include "hosts/host_table.h"

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
void AddHandover(CLI::App& app);
void AddLog(CLI::App& app);
void AddDoctor(CLI::App& app);
// `handover check [DIR] [--host HOST] [--json]`: what the add-in will do with the hand-over in
// DIR (empty: the work directory); the exit status, 0 when it is usable.
int CheckHandover(const std::string& dir, const std::string& host, bool json);
// Which hosts `handover check` tries without --host, for its help: "sim when it can read the
// file, else Writer".
std::string DefaultReaders();
// `help [COMMAND...]`; added last, so that it knows every other subcommand.
void AddHelp(CLI::App& app);

// Ends `command`'s --help with its examples (one command line each) and the environment
// variables it reads, by name: QNMURO_WORKDIR, QNMURO_REGISTRY, QNMURO_CODEPAGE,
// QNMURO_CA_BUNDLE. Every subcommand calls it once its own subcommands are added.
void SetHelpFooter(CLI::App* command, const std::vector<std::string>& examples,
                   const std::vector<std::string>& environment);

// Which word processor `run` and `demo` drive (--host, --profile); the host table
// (hosts/host_table.h) says which there are, the first being the default.
struct HostChoice {
  std::string host = hosts::HostTable().front().name;
  std::string profile;  // Writer's user profile folder; empty: a fresh temporary one
};
void AddHostOptions(CLI::App& command, HostChoice& choice);
// The table's names for a --host help text, in order ("a, b or c"), each followed by its note
// in parentheses when `with_notes`.
std::string HostChoices(bool with_notes);
// Accepts only the table's names.
CLI::Validator HostValidator();
// The chosen host's factory; Usage() when it cannot be had here.
hostkit::HostFactory HostFactoryFor(const HostChoice& choice);
// `hosts`: the table's names, one a line (for the shell completion; not in the help).
void AddHosts(CLI::App& app);

// The command's arguments as UTF-8 (argv[0] first), with the standard streams set to pass
// bytes unchanged: on Windows read from the wide command line, elsewhere argv as it is.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// The exit status the command ends with; a subcommand's callback sets it.
int& ExitStatus();

// A bad-argument failure: one line on stderr, exit status 2.
[[noreturn]] void Usage(const std::string& message);

// A failure (exit status 1): "qnmuro: " + message on stderr.
void Fail(const std::string& message);

// A control file's findings on stderr, one line each: "qnmuro: COMMAND: [warning: ]element:
// problem" ("warning: " for a warning, and for every finding unless `strict`); and as a JSON
// array of {severity, element, problem}.
void PrintFindings(const std::string& command, const std::vector<Finding>& findings, bool strict);
std::string FindingsJson(const std::vector<Finding>& findings);

}  // namespace qnmuro::cli

#endif  // QNMURO_CLI_COMMAND_H_
