// What every subcommand of qnmuro shares: exit statuses 0, 1 and 2 with the reason on stderr,
// --help ending with examples and the environment read, `help COMMAND`, and the completion
// script knowing every subcommand.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/cli_runner.h"
#include "support/refusing_port.h"
#include "support/temp_dir.h"

namespace qnmuro::test_util {
namespace {

namespace fs = std::filesystem;

class ConventionsCliTest : public ::testing::Test {
 protected:
  ConventionsCliTest() {
    fs::create_directories(dir_ / "work");
    std::string control = ReadBytes(fs::path(QNMURO_SOURCE_DIR) / "examples" / "control.xml");
    for (size_t at; (at = control.find("http://127.0.0.1:8080")) != std::string::npos;) {
      control.replace(at, 21, refusing_.url(""));
    }
    WriteBytes(dir_ / "control.xml", control);
    WriteBytes(dir_ / "bad.xml", "<config>");
  }
  CliResult Run(const std::vector<std::string>& args) {
    return RunQnmuro(args,
                     {"QNMURO_WORKDIR=" + (dir_ / "work").string(),
                      "QNMURO_REGISTRY=" + (dir_ / "registry.reg").string()},
                     scratch_);
  }
  std::string Path(const char* name) const { return (dir_ / name).string(); }

  // Every subcommand path, read from the help texts as a user finds them.
  std::vector<std::vector<std::string>> Subcommands(const std::vector<std::string>& under) {
    std::vector<std::string> args{"help"};
    args.insert(args.end(), under.begin(), under.end());
    std::istringstream help(Run(args).out);
    std::vector<std::vector<std::string>> found;
    bool listing = false;
    for (std::string line; std::getline(help, line);) {
      if (line == "Subcommands:") listing = true;
      if (!listing || line.rfind("  ", 0) != 0) {
        if (listing && line.empty()) listing = false;
        continue;
      }
      std::vector<std::string> path = under;
      path.push_back(line.substr(2, line.find(' ', 2) - 2));
      found.push_back(path);
      for (const auto& deeper : Subcommands(path)) found.push_back(deeper);
    }
    return found;
  }

  TempDir dir_;
  TempDir scratch_;
  RefusingPort refusing_;
};

TEST_F(ConventionsCliTest, StatusAndReasonOfEveryKindOfFailure) {
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* reason;  // in the one stderr line
  };
  const std::string control = Path("control.xml");
  const Case cases[] = {
      {{"frob"}, 2, "unknown subcommand 'frob'"},
      {{"help", "frob"}, 2, "help: no subcommand 'frob'"},
      {{"run", Path("none.run")}, 1, "cannot read the script"},
      {{"config", "check", Path("bad.xml")}, 1, "Config.Init() Error:"},
      {{"datasource", Path("bad.xml"), "dump"}, 1, "无法装载数据源"},
      {{"registry", "get", "NoSuchValue"}, 1, "registry get: no value \"NoSuchValue\""},
      {{"password", "decrypt", "not hex"}, 2, "is not an enciphered password"},
      {{"log"}, 1, "log: there is no log"},
      {{"log", "--tail", "-1"}, 2, "--tail"},
      {{"handover", "--config", control}, 2, "give the document"},
      {{"handover", Path("none.doc"), "--config", control}, 1, "neither an http(s) address"},
      {{"handover", Path("bad.xml"), "--name", "b.doc", "--config", Path("bad.xml")},
       1,
       "cannot load the control"},
      {{"handover", "check"}, 1, "CurrentFile is empty"},
      {{"transfer", "download", refusing_.url("/a.doc"), "a.doc", "--config", control},
       1,
       "download failed: 127.0.0.1:"},
      {{"agent", "ping", "--config", control}, 1, "firewall says no) (执行代理 ping 发生错误："},
      {{"handover", control, "--name", "a.XML", "--config", control}, 2, "its own control file"},
  };
  for (const Case& c : cases) {
    const CliResult r = Run(c.args);
    EXPECT_EQ(r.status, c.status) << c.args[0] << " " << c.args.back() << "\n" << r.err;
    EXPECT_EQ(r.err.rfind("qnmuro: ", 0), 0u) << r.err;
    EXPECT_EQ(CountLines(r.err), 1) << r.err;
    EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
    // Only the check's findings are output in their own right.
    if (c.args[0] != "handover" || c.args[1] != "check") {
      EXPECT_EQ(r.out, "") << c.args[0];
    }
  }
  // A failed transfer names the error line the transfer logged, not only where the log is.
  const CliResult r = Run(cases[13].args);
  EXPECT_NE(r.err.find(" Err.Source="), std::string::npos) << r.err;
  EXPECT_NE(r.err.find((dir_ / "work" / "comlog.txt").string()), std::string::npos) << r.err;
}

// What the completion offers for the last word of a command line, with the words before it.
TEST_F(ConventionsCliTest, CompletionSkipsOptionValuesAndTheHandedOverDocument) {
  const struct {
    const char* line;  // the last word is the one completed
    const char* offered;
  } cases[] = {
      {"qnmuro handover notice.doc --", "--config"},
      {"qnmuro handover notice.doc --config c.xml --", "--datasource"},
      {"qnmuro handover check --", "--json"},
      {"qnmuro handover check --host ", "libreoffice"},
      {"qnmuro run --host s", "sim"},
      {"qnmuro agent --config c.xml --", "--para"},
      {"qnmuro config check --json --", "--strict"},
      {"qnmuro transfer download --config c.xml --", "--config"},
  };
  const std::string completion =
      (fs::path(QNMURO_SOURCE_DIR) / "scripts" / "qnmuro-completion.bash").string();
  for (const auto& c : cases) {
    const std::string script = "source '" + completion + "'\nread -ra COMP_WORDS <<<'" + c.line +
                               "'\n" +
                               (std::string(c.line).back() == ' ' ? "COMP_WORDS+=('')\n" : "") +
                               "COMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n_qnmuro\n"
                               "printf '%s\\n' \"${COMPREPLY[@]}\"\n";
    WriteBytes(scratch_ / "complete.sh", script);
    // The completion asks the command for the --host choices: this build's qnmuro comes first.
    const char* path = std::getenv("PATH");
    const std::string bin_dir = fs::path(QNMURO_BIN).parent_path().string();
    const CliResult r = RunProgram("/bin/bash", {(scratch_ / "complete.sh").string()},
                                   {"PATH=" + bin_dir + ":" + (path ? path : "")}, scratch_);
    EXPECT_NE(("\n" + r.out).find(std::string("\n") + c.offered + "\n"), std::string::npos)
        << c.line << "\n"
        << r.out << r.err;
  }
}

TEST_F(ConventionsCliTest, EveryHelpEndsWithExamplesAndTheEnvironmentAndCompletionKnowsAll) {
  const std::string completion =
      ReadBytes(fs::path(QNMURO_SOURCE_DIR) / "scripts" / "qnmuro-completion.bash");
  const auto paths = Subcommands({});
  EXPECT_GT(paths.size(), 25u);
  for (auto path : paths) {
    std::string name;
    for (const std::string& word : path) name += " " + word;
    const CliResult by_help = Run([&] {
      std::vector<std::string> args{"help"};
      args.insert(args.end(), path.begin(), path.end());
      return args;
    }());
    std::vector<std::string> flagged = path;
    // The data source's operations come after its FILE.
    if (path[0] == "datasource" && path.size() > 1) flagged.insert(flagged.begin() + 1, "a.xml");
    flagged.push_back("--help");
    const CliResult by_flag = Run(flagged);
    EXPECT_EQ(by_help.status, 0) << name;
    EXPECT_EQ(by_help.out, by_flag.out) << name;
    const std::string& help = by_help.out;
    EXPECT_NE(help.find("\nExamples:\n  qnmuro " + path[0]), std::string::npos) << name << help;
    EXPECT_NE(help.find("\nEnvironment:\n  "), std::string::npos) << name;
    const std::string end = "\nExit status: 0 success, 1 failure, 2 usage error.\n";
    EXPECT_EQ(help.rfind(end), help.size() - end.size()) << name;
    // The completion offers each word where it belongs: in a list of words.
    const std::string& word = path.back();
    bool listed = false;
    for (const char* before : {" ", "\""}) {
      for (const char* after : {" ", "\""}) {
        listed = listed || completion.find(before + word + after) != std::string::npos;
      }
    }
    EXPECT_TRUE(listed) << word;
  }
}

}  // namespace
}  // namespace qnmuro::test_util
