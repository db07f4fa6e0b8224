// qnmuro agent NAME [--para TEXT] [--data TEXT] [--xml] --config CONTROLFILE: runs a server
// agent at the root address of the control file and prints its answer.
#include <iostream>
#include <memory>
#include <optional>
#include <string>

#include "base/text.h"
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

void RunAgent(const AgentArgs& args) {
  TransferSession session;
  std::string error;
  if (!session.Open(args.config, &error)) return Fail("agent: " + error);
  std::optional<std::u16string> data;
  if (args.data) data = Utf8ToUtf16(*args.data);
  const std::u16string name = Utf8ToUtf16(args.name);
  const std::u16string result = ExecuteAgent(session.ctx(), session.records().commonInfo.rootUrl,
                                             name, Utf8ToUtf16(args.para), data, args.xml);
  // The call reports a failure only through its text; a server that refuses the agent (an
  // unknown one) answers with an error status and a reply that still reads as a result.
  const std::string trouble = session.last_trouble();
  if (result.rfind(u"执行代理 " + name + u" 发生错误：", 0) == 0) {
    return Fail("agent: " + (trouble.empty() ? U8(result) : trouble + " (" + U8(result) + ")"));
  }
  if (session.last_status() >= 400) {
    return Fail("agent: " +
                (trouble.empty() ? "the server answered " + std::to_string(session.last_status())
                                 : trouble) +
                ": " + U8(result));
  }
  std::cout << U8(result) << "\n";
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
  agent->callback([args] { RunAgent(*args); });
  SetHelpFooter(agent,
                {"qnmuro agent ping --config notice.xml",
                 "qnmuro agent echo --para '&id=1' --data 'text' --xml --config notice.xml"},
                {"QNMURO_WORKDIR", "QNMURO_REGISTRY", "QNMURO_CODEPAGE", "QNMURO_CA_BUNDLE"});
}

}  // namespace qnmuro::cli
