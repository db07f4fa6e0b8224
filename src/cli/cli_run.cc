// qnmuro run SCRIPT|-: drives the simulated word processor, with the add-ins connected, from
// a script of user actions and prints the transcript (language: docs/scripts.md).
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

// The script's text; false (said on stderr) when it cannot be read.
bool ReadScript(const std::string& name, std::string* script) {
  if (name == "-") {
    script->assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    return true;
  }
  std::ifstream in(name, std::ios::binary);
  std::ostringstream text;
  if (in) text << in.rdbuf();
  if (!in || in.bad()) {
    Fail("run: cannot read the script " + name);
    return false;
  }
  *script = text.str();
  return true;
}

}  // namespace

namespace {

int Run(const std::string& script_name, const HostChoice& choice) {
  std::string script;
  if (!ReadScript(script_name, &script)) return 1;

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
  options.host = HostFactoryFor(choice);
  return simhost::RunScript(script, options);
}

}  // namespace

void AddRun(CLI::App& app) {
  CLI::App* run = app.add_subcommand(
      "run", "Drive the simulated word processor from a script and print a transcript");
  auto script = std::make_shared<std::string>();
  auto choice = std::make_shared<HostChoice>();
  run->add_option("SCRIPT", *script, "the script file, or - for standard input")->required();
  AddHostOptions(*run, *choice);
  run->callback([script, choice] { ExitStatus() = Run(*script, *choice); });
  SetHelpFooter(run,
                {"qnmuro run examples/open_notice.run",
                 "printf 'new\\ntype \"正文\"\\nsave-as a.doc\\n' | qnmuro run -",
                 "qnmuro run --host libreoffice examples/open_notice.run"},
                {"QNMURO_WORKDIR", "QNMURO_REGISTRY", "QNMURO_CODEPAGE", "QNMURO_CA_BUNDLE"});
}

}  // namespace qnmuro::cli
