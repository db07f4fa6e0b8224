// qnmuro: the command-line face of the add-in for people who run the OA side.
#include <cstdio>
#include <exception>
#include <iostream>

#include "cli/command.h"

namespace qnmuro::cli {

std::vector<AddCommand>& Registry() {
  static std::vector<AddCommand> commands;
  return commands;
}

int& ExitStatus() {
  static int status = 0;
  return status;
}

namespace {
struct UsageError {
  std::string message;
};
}  // namespace

void Usage(const std::string& message) { throw UsageError{message}; }

}  // namespace qnmuro::cli

int main(int argc, char** argv) {
  using namespace qnmuro::cli;
  CLI::App app{"qnmuro - the QNMuroWPS add-in and its tools for OA integrators", "qnmuro"};
  app.require_subcommand(1);
  for (AddCommand add : Registry()) add(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::cerr << "qnmuro: " << e.what() << "\n";
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
