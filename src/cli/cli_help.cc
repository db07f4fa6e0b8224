// The help every subcommand shares: its footer of examples and environment variables, and
// `qnmuro help [COMMAND...]`, which prints a subcommand's --help.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/command.h"

namespace qnmuro::cli {
namespace {

struct Variable {
  const char* name;
  const char* meaning;
};

// Every environment variable the command reads, with what it changes.
constexpr Variable kVariables[] = {
    {"QNMURO_WORKDIR", "the work directory (default ~/OAWork; C:\\OAWork on Windows)"},
    {"QNMURO_REGISTRY",
     "the registry file (default ~/.config/qnmuro/registry.reg; Windows: the registry)"},
    {"QNMURO_CODEPAGE", "the ANSI code page of files and the log (default GBK)"},
    {"QNMURO_CA_BUNDLE", "PEM file of the CAs trusted for https (default: the system's)"},
};

std::string Meaning(const std::string& name) {
  for (const Variable& v : kVariables) {
    if (name == v.name) return v.meaning;
  }
  return "";
}

// The subcommand that the words name, or null.
CLI::App* Find(CLI::App& app, const std::vector<std::string>& words) {
  CLI::App* level = &app;
  for (const std::string& word : words) {
    CLI::App* next = nullptr;
    for (CLI::App* sub : level->get_subcommands({})) {
      if (sub->get_name() == word) next = sub;
    }
    if (next == nullptr) return nullptr;
    level = next;
  }
  return level;
}

}  // namespace

void SetHelpFooter(CLI::App* command, const std::vector<std::string>& examples,
                   const std::vector<std::string>& environment) {
  std::string text = "\nExamples:\n";
  for (const std::string& example : examples) text += "  " + example + "\n";
  text += "\nEnvironment:\n";
  if (environment.empty()) text += "  (none read)\n";
  for (const std::string& name : environment) {
    std::string padded = name;
    padded.resize(18, ' ');
    text += "  " + padded + Meaning(name) + "\n";
  }
  text += "\nExit status: 0 success, 1 failure, 2 usage error.";
  command->footer(text);
}

void AddHelp(CLI::App& app) {
  CLI::App* help = app.add_subcommand("help", "Print the help of qnmuro or of one subcommand");
  auto words = std::make_shared<std::vector<std::string>>();
  help->add_option("COMMAND", *words, "the subcommand, e.g. \"config check\"");
  SetHelpFooter(help, {"qnmuro help", "qnmuro help handover check"}, {});
  help->callback([&app, words] {
    std::vector<std::string> split;
    for (const std::string& word : *words) {
      size_t start = 0;
      for (size_t end; (end = word.find(' ', start)) != std::string::npos; start = end + 1) {
        if (end > start) split.push_back(word.substr(start, end - start));
      }
      if (start < word.size()) split.push_back(word.substr(start));
    }
    CLI::App* target = Find(app, split);
    if (target == nullptr) {
      std::string named;
      for (const std::string& word : split) named += (named.empty() ? "" : " ") + word;
      Usage("help: no subcommand '" + named + "' (see qnmuro help)");
    }
    // Not target->help(): on the top level that would describe `help` itself, the subcommand
    // being run.
    std::string name = "qnmuro";
    for (const std::string& word : split) name += " " + word;
    std::cout << target->get_formatter()->make_help(target, name, CLI::AppFormatMode::Normal);
  });
}

}  // namespace qnmuro::cli
