#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/cli_runner.h"
#include "support/temp_dir.h"

namespace qnmuro::test_util {
namespace {

class RunCliTest : public testing::Test {
 protected:
  RunCliTest() {
    std::filesystem::create_directories(work_);
    env_ = {"QNMURO_WORKDIR=" + work_.string(),
            "QNMURO_REGISTRY=" + (dir_ / "registry.reg").string(), "QNMURO_CODEPAGE=GBK"};
  }

  CliResult RunScript(const std::string& script) {
    WriteBytes(dir_ / "script.txt", script);
    return RunQnmuro({"run", (dir_ / "script.txt").string()}, env_, dir_);
  }

  TempDir dir_;
  TempDir scratch_;
  const std::filesystem::path work_ = dir_ / "OAWork";
  std::vector<std::string> env_;
};

TEST_F(RunCliTest, RunsAScriptInTheWorkDirectoryAndPrintsTheTranscript) {
  const CliResult r = RunScript(
      "new\r\ntype \"第一段\\r第二段\"\r\nsave-as 公文.wps\r\nselect-bookmark none\r\n"
      "show text\r\nset-registry CurrentFile 公文.wps\r\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "HOST-ERROR 5941 The requested member of the collection does not exist.\n"
            "TEXT 公文.wps: 第一段\\r第二段\n");
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(std::filesystem::exists(work_ / "公文.wps"));
  EXPECT_NE(ReadBytes(dir_ / "registry.reg").find("\"CurrentFile\"=\"公文.wps\""),
            std::string::npos);
}

TEST_F(RunCliTest, ReadsTheScriptFromStandardInput) {
  WriteBytes(dir_ / "script.txt", "new\nanswer no\nclose\nshow documents\n");
  std::string command = "env";
  for (const std::string& e : env_) command += " " + ShellQuote(e);
  command += " " + ShellQuote(QNMURO_BIN) + " run - <" +
             ShellQuote((dir_ / "script.txt").string()) + " >" +
             ShellQuote((scratch_ / "out").string()) + " 2>&1";
  // A new, empty document has nothing to save: no question.
  const int raw = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(raw));
  EXPECT_EQ(WEXITSTATUS(raw), 0);
  EXPECT_EQ(ReadBytes(scratch_ / "out"), "DOCUMENTS 0:\n");
}

TEST_F(RunCliTest, FailuresAndTheirExitStatus) {
  struct Case {
    const char* what;
    std::vector<std::string> args;
    int status;
    std::string err;
    std::string out = "";  // what ran
  };
  WriteBytes(dir_ / "bad.txt", "new\nshow text\nbogus 1\n");
  // A Word 97 file: the simulated word processor reads only its own flat documents.
  WriteBytes(work_ / "w97.doc", "\xD0\xCF\x11\xE0 a Word 97 file");
  WriteBytes(dir_ / "open.txt", "open w97.doc\nopen absent.doc\n");
  const Case cases[] = {
      {"script error",
       {"run", (dir_ / "bad.txt").string()},
       2,
       "line 3: unknown command \"bogus\"\n"},
      {"missing script",
       {"run", (dir_ / "missing.txt").string()},
       1,
       "qnmuro: run: cannot read the script " + (dir_ / "missing.txt").string() + "\n"},
      {"no script argument", {"run"}, 2, ""},
      {"files the host cannot open",
       {"run", (dir_ / "open.txt").string()},
       1,
       "line 1: the host cannot open w97.doc: The file is not a readable document: not "
       "well-formed XML\nline 2: the host cannot open absent.doc: The file could not be found or "
       "opened: " +
           (work_ / "absent.doc").string() + "\n",
       "HOST-ERROR 5174 The file is not a readable document: not well-formed XML\n"
       "HOST-ERROR 5174 The file could not be found or opened: " +
           (work_ / "absent.doc").string() + "\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const CliResult r = RunQnmuro(c.args, env_, scratch_);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.out, c.out);  // nothing runs before the script is known to be sound
    if (!c.err.empty()) {
      EXPECT_EQ(r.err, c.err);
    } else {
      EXPECT_FALSE(r.err.empty());
    }
  }
}

TEST_F(RunCliTest, AWorkDirectoryThatIsAFileIsRefused) {
  WriteBytes(dir_ / "plain-file", "x");
  WriteBytes(dir_ / "script.txt", "new\n");
  const CliResult r = RunQnmuro({"run", (dir_ / "script.txt").string()},
                                {"QNMURO_WORKDIR=" + (dir_ / "plain-file").string(),
                                 "QNMURO_REGISTRY=" + (dir_ / "registry.reg").string()},
                                scratch_);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot use the work directory"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace qnmuro::test_util
