// qnmuro: the command-line face of the add-in for people who run the OA side.
#include <cstdio>
#include <exception>
#include <iostream>

#include "cli/command.h"

namespace qnmuro::cli {

int& ExitStatus() {
  static int status = 0;
  return status;
}

namespace {
struct UsageError {
  std::string message;
};
}  // namespace

void Usage(const std::string& message) {
  throw UsageError{message};
}

void Fail(const std::string& message) {
  std::cerr << "qnmuro: " << message << "\n";
  ExitStatus() = 1;
}

namespace {

// "A subcommand is required" says little when the user typed one that does not exist: name it.
std::string Explain(CLI::App& app, const CLI::ParseError& e) {
  CLI::App* level = &app;
  std::string path = "qnmuro";
  while (true) {
    const std::vector<CLI::App*> parsed = level->get_subcommands();
    if (parsed.empty()) break;
    level = parsed.front();
    path += " " + level->get_name();
  }
  const std::vector<std::string> extras = level->remaining();
  if (!extras.empty() && !level->get_subcommands({}).empty() && extras.front()[0] != '-') {
    return "unknown subcommand '" + extras.front() + "' for '" + path + "' (see " + path +
           " --help)";
  }
  return e.what();
}

}  // namespace

}  // namespace qnmuro::cli

int main(int argc, char** argv) {
  using namespace qnmuro::cli;
  CLI::App app{"qnmuro - the QNMuroWPS add-in and its tools for OA integrators", "qnmuro"};
  app.set_version_flag("--version", "qnmuro " QNMURO_VERSION);
  app.require_subcommand(1);
  for (auto add :
       {AddDemo, AddRun, AddServer, AddHandover, AddTransfer, AddPending, AddAgent, AddConfig,
        AddDataSource, AddRegistry, AddPassword, AddLog, AddDoctor, AddHosts, AddHelp}) {
    add(app);
  }
  SetHelpFooter(
      &app,
      {"qnmuro demo", "qnmuro handover notice.doc --config notice.xml", "qnmuro help config check"},
      {"QNMURO_WORKDIR", "QNMURO_REGISTRY", "QNMURO_CODEPAGE", "QNMURO_CA_BUNDLE"});
  std::vector<std::string> args = Utf8Arguments(argc, argv);
  std::vector<char*> arg_pointers;
  for (std::string& arg : args) arg_pointers.push_back(arg.data());
  try {
    app.parse(static_cast<int>(arg_pointers.size()), arg_pointers.data());
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::cerr << "qnmuro: " << Explain(app, e) << "\n";
    return 2;
  } catch (const qnmuro::cli::UsageError& e) {
    std::cerr << "qnmuro: " << e.message << "\n";
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "qnmuro: " << e.what() << "\n";
    return 1;
  }
  std::fflush(stdout);
  return ExitStatus();
}
