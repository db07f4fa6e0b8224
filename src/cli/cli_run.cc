// qnmuro run SCRIPT|-: drives the simulated word processor, with the add-ins connected, from
// a script of user actions and prints the transcript (language: simhost/script_runner.h).
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <system_error>

#include "addin/wps_addin.h"
#include "base/text.h"
#include "cli/command.h"
#include "common/context.h"
#include "platform/services.h"
#include "simhost/script_runner.h"

namespace qnmuro::cli {
namespace {

// The add-ins a run connects, in this order. Each add-in adds its factory here, e.g.
//   add_ins.push_back([](const Context& services) { return std::make_unique<X>(services); });
// `services` holds the run's scripted UI, virtual clock, work directory, the registry store,
// the HTTP client and the shell service.
std::vector<simhost::AddInFactory> RunAddIns() {
  std::vector<simhost::AddInFactory> add_ins;
  add_ins.push_back([](const Context& services) { return std::make_unique<WPSaddin>(services); });
  return add_ins;
}

std::string ReadScript(const std::string& name) {
  if (name == "-") {
    return std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  }
  std::ifstream in(name, std::ios::binary);
  if (!in) Usage("run: cannot read the script " + name);
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) Usage("run: cannot read the script " + name);
  return text.str();
}

int Run(const std::string& script_name) {
  const std::string script = ReadScript(script_name);

  // The script answers every box and runs on its own clock: only the registry, the network
  // and the shell are the platform's.
  const Services services = DefaultServices();
  std::error_code ec;
  std::filesystem::create_directories(ToPath(services.work_dir), ec);
  if (ec || !std::filesystem::is_directory(ToPath(services.work_dir))) {
    std::cerr << "qnmuro: run: cannot use the work directory " << U8(services.work_dir) << ": "
              << (ec ? ec.message() : "not a directory") << "\n";
    return 1;
  }

  simhost::ScriptRunOptions options;
  options.work_dir = services.work_dir;
  options.out = &std::cout;
  options.err = &std::cerr;
  options.start_time = std::chrono::system_clock::now();
  options.services.registry = services.registry.get();
  options.services.http = services.http.get();
  options.services.shell = services.shell.get();
  options.add_ins = RunAddIns();
  return simhost::RunScript(script, options);
}

}  // namespace

void AddRun(CLI::App& app) {
  CLI::App* run = app.add_subcommand(
      "run", "Drive the simulated word processor from a script and print a transcript");
  auto script = std::make_shared<std::string>();
  run->add_option("SCRIPT", *script, "the script file, or - for standard input")->required();
  run->callback([script] { ExitStatus() = Run(*script); });
}

}  // namespace qnmuro::cli
