#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "support/cli_runner.h"

namespace qnmuro {
namespace {

using test_util::CountLines;
using test_util::ReadBytes;
using test_util::RunQnmuro;
using test_util::ShellQuote;
using test_util::TempDir;
using test_util::WriteBytes;

class RegistryCliTest : public ::testing::Test {
 protected:
  RegistryCliTest() : file_((dir_ / "reg" / "registry.reg").string()) {}
  test_util::CliResult Run(const std::vector<std::string>& args) {
    return RunQnmuro(args, {"QNMURO_REGISTRY=" + file_}, dir_);
  }
  TempDir dir_;
  std::string file_;
};

TEST_F(RegistryCliTest, SetGetListUnset) {
  EXPECT_EQ(Run({"registry", "set", "CurrentUser", "张三"}).status, 0);
  EXPECT_EQ(Run({"registry", "set", "sid", "SessionID=\"x\\y\""}).status, 0);
  EXPECT_EQ(Run({"registry", "set", "", "default"}).status, 0);
  auto r = Run({"registry", "get", "currentuser"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "张三\n");
  EXPECT_EQ(Run({"registry", "get", "sid"}).out, "SessionID=\"x\\y\"\n");
  EXPECT_EQ(Run({"registry", "get", ""}).out, "default\n");
  r = Run({"registry", "list"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "\"CurrentUser\"=\"张三\"\n\"sid\"=\"SessionID=\\\"x\\\\y\\\"\"\n@=\"default\"\n");
  EXPECT_EQ(ReadBytes(file_),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\zuzozer\\web]\n"
            "\"CurrentUser\"=\"张三\"\n\"sid\"=\"SessionID=\\\"x\\\\y\\\"\"\n@=\"default\"\n");
  EXPECT_EQ(Run({"registry", "unset", "sid"}).status, 0);
  EXPECT_EQ(Run({"registry", "unset", "sid"}).status, 0);  // already gone
  r = Run({"registry", "get", "sid"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            "qnmuro: registry get: no value \"sid\" under "
            "HKEY_LOCAL_MACHINE\\SOFTWARE\\zuzozer\\web\n");
}

TEST_F(RegistryCliTest, MissingValueIsNamedAndExitsOneMissingFileListsNothing) {
  auto r = Run({"registry", "get", "CurrentFile"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(CountLines(r.err), 1) << r.err;
  r = Run({"registry", "list"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
}

TEST_F(RegistryCliTest, OtherTypesPrintInRegForm) {
  WriteBytes(
      dir_ / "reg.reg",
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\zuzozer\\web]\n\"n\"=dword:0000002a\n\"b\"=hex:01,02\n");
  const auto r =
      RunQnmuro({"registry", "get", "n"}, {"QNMURO_REGISTRY=" + (dir_ / "reg.reg").string()}, dir_);
  EXPECT_EQ(r.out, "dword:0000002a\n");
}

TEST_F(RegistryCliTest, BadArgumentsGiveOneLineAndStatusTwo) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"registry"},
                                               {"registry", "get"},
                                               {"registry", "set", "a"},
                                               {"registry", "delete", "a"},
                                               {"registry", "list", "extra"},
                                               {"registry", "unset"}}) {
    const auto r = Run(args);
    EXPECT_EQ(r.status, 2) << args.back();
    EXPECT_EQ(CountLines(r.err), 1) << r.err;
  }
  // A mistyped subcommand is named in the message.
  EXPECT_EQ(Run({"registry", "delete", "a"}).err,
            "qnmuro: unknown subcommand 'delete' for 'qnmuro registry' (see qnmuro registry "
            "--help)\n");
  EXPECT_EQ(Run({"frob"}).err,
            "qnmuro: unknown subcommand 'frob' for 'qnmuro' (see qnmuro --help)\n");
  // Every subcommand is listed, and the version needs none.
  const auto help = Run({"--help"});
  for (const char* name : {"demo", "run", "oa-server", "transfer", "agent", "config", "datasource",
                           "registry", "password"}) {
    EXPECT_NE(help.out.find(std::string("  ") + name + " "), std::string::npos) << name;
  }
  const auto version = Run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "qnmuro " QNMURO_VERSION "\n");
}

TEST_F(RegistryCliTest, UnwritableRegistryIsOneLineAndStatusOne) {
  WriteBytes(dir_ / "plain", "x");
  const auto r = RunQnmuro({"registry", "set", "a", "b"},
                           {"QNMURO_REGISTRY=" + (dir_ / "plain" / "r.reg").string()}, dir_);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(CountLines(r.err), 1) << r.err;
}

TEST_F(RegistryCliTest, CorruptFileStillServesItsGoodValues) {
  std::filesystem::create_directories(dir_ / "reg");
  WriteBytes(file_,
             "\xFF\xFE garbage\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\zuzozer\\web]\n"
             "\"CurrentUser\"=\"li\"\n\"x\"=\"unterminated\n");
  EXPECT_EQ(Run({"registry", "get", "CurrentUser"}).out, "li\n");
  EXPECT_EQ(Run({"registry", "get", "x"}).status, 1);
  EXPECT_EQ(Run({"registry", "set", "CurrentFile", "a.doc"}).status, 0);
  EXPECT_EQ(ReadBytes(file_).rfind("\xFF\xFE garbage\n", 0), 0u);
  EXPECT_EQ(Run({"registry", "get", "CurrentFile"}).out, "a.doc\n");
}

TEST_F(RegistryCliTest, ALinkIsFollowedAndAnythingElseNotRegularRefused) {
  const auto real = dir_ / "real" / "registry.reg";
  WriteBytes(real, "");
  std::filesystem::create_symlink(real, dir_ / "link.reg");
  auto r = RunQnmuro({"registry", "set", "CurrentUser", "li"},
                     {"QNMURO_REGISTRY=" + (dir_ / "link.reg").string()}, dir_);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(std::filesystem::is_symlink(dir_ / "link.reg"));
  EXPECT_NE(ReadBytes(real).find("\"CurrentUser\"=\"li\""), std::string::npos);

  ASSERT_EQ(::mkfifo((dir_ / "pipe.reg").c_str(), 0600), 0);
  const std::string pipe = (dir_ / "pipe.reg").string();
  r = RunQnmuro({"registry", "set", "CurrentUser", "wang"}, {"QNMURO_REGISTRY=" + pipe}, dir_);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "qnmuro: registry: cannot write " + pipe +
                       ": the registry file is not a regular file (code 1009)\n");
  r = RunQnmuro({"registry", "get", "CurrentUser"}, {"QNMURO_REGISTRY=" + pipe}, dir_);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "qnmuro: registry: cannot read " + pipe +
                       ": the registry file is not a regular file (code 1009)\n");
  EXPECT_FALSE(std::filesystem::is_regular_file(dir_ / "pipe.reg"));
}

TEST_F(RegistryCliTest, AWriteWaitsForAnotherProgramsLock) {
  EXPECT_EQ(Run({"registry", "set", "a", "1"}).status, 0);
  const int holder = ::open((file_ + ".lock").c_str(), O_RDWR);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX), 0);
  std::thread release([holder] {
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    ::flock(holder, LOCK_UN);
  });
  const auto start = std::chrono::steady_clock::now();
  const auto r = Run({"registry", "set", "a", "2"});
  const auto waited = std::chrono::steady_clock::now() - start;
  release.join();
  ::close(holder);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_GE(waited, std::chrono::milliseconds(600));
  EXPECT_EQ(Run({"registry", "get", "a"}).out, "2\n");
}

TEST_F(RegistryCliTest, TwoWriterProcessesAtOnceLoseNothing) {
  constexpr int kEach = 25;
  // Two shell loops, each running the real binary, started together.
  std::string script;
  for (const char* who : {"a", "b"}) {
    script += "( i=0; while [ $i -lt " + std::to_string(kEach) + " ]; do " +
              ShellQuote(QNMURO_BIN) + " registry set " + who + "$i v$i || exit 1; " +
              "i=$((i+1)); done ) & ";
  }
  script += "wait";
  const std::string command =
      "QNMURO_REGISTRY=" + ShellQuote(file_) + " sh -c " + ShellQuote(script);
  ASSERT_EQ(std::system(command.c_str()), 0);
  const auto r = Run({"registry", "list"});
  EXPECT_EQ(CountLines(r.out), 2 * kEach) << r.out;
  for (const char* who : {"a", "b"}) {
    for (int i = 0; i < kEach; ++i) {
      EXPECT_EQ(Run({"registry", "get", who + std::to_string(i)}).out,
                "v" + std::to_string(i) + "\n");
    }
  }
}

}  // namespace
}  // namespace qnmuro
