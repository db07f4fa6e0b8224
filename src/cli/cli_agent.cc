// qnmuro agent NAME [--para TEXT] [--data TEXT] [--xml] --config CONTROLFILE: runs a server
// agent at the root address of the control file and prints its answer.
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "cli/command.h"
#include "cli/transfer_session.h"
#include "transfer/agent.h"

namespace qnmuro::cli {
namespace {

struct AgentArgs {
  std::string name;
  std::string para;
  std::optional<std::string> data;
  bool xml = false;
  std::string config;
};

int RunAgent(const AgentArgs& args) {
  TransferSession session;
  std::string error;
  if (!session.Open(args.config, &error)) {
    std::cerr << "qnmuro: agent: " << error << "\n";
    return 1;
  }
  std::optional<std::u16string> data;
  if (args.data) data = Utf8ToUtf16(*args.data);
  const std::u16string name = Utf8ToUtf16(args.name);
  const std::u16string result = ExecuteAgent(session.ctx(), session.records().commonInfo.rootUrl,
                                             name, Utf8ToUtf16(args.para), data, args.xml);
  std::cout << U8(result) << "\n";
  // The call reports a failure only through its text.
  return result.rfind(u"执行代理 " + name + u" 发生错误：", 0) == 0 ? 1 : 0;
}

}  // namespace

void AddAgent(CLI::App& app) {
  CLI::App* agent = app.add_subcommand("agent", "Run a server agent and print its answer");
  auto args = std::make_shared<AgentArgs>();
  agent->add_option("NAME", args->name, "the agent's name")->required();
  agent->add_option("--para", args->para, "text appended after ?OpenAgent, e.g. \"&id=1\"");
  agent->add_option("--data", args->data, "the request body");
  agent->add_flag("--xml", args->xml, "print the reply as XML rather than its text");
  agent->add_option("--config", args->config, "the control file giving the root address")
      ->required();
  agent->callback([args] { ExitStatus() = RunAgent(*args); });
}

}  // namespace qnmuro::cli
