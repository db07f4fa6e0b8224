// `qnmuro run --host libreoffice` ended by a stop signal halfway through: while its save waits
// on a server that accepts and never answers, SIGTERM, SIGINT or SIGHUP ends it as the signal
// ends a program, and neither its Writer nor Writer's temporary profile is left behind.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "lohost/writer_host.h"
#include "support/temp_dir.h"

extern char** environ;

namespace qnmuro::test_util {
namespace {

namespace fs = std::filesystem;
using std::chrono::seconds;
using std::chrono::steady_clock;

// A listener on 127.0.0.1 that takes every connection and never answers it.
class SilentServer {
 public:
  SilentServer() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        listen(fd_, 16) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
      ADD_FAILURE() << "no listener: " << std::strerror(errno);
      return;
    }
    port_ = ntohs(address.sin_port);
  }
  ~SilentServer() {
    for (const int fd : taken_) close(fd);
    if (fd_ >= 0) close(fd_);
  }
  int port() const { return port_; }
  // Takes a waiting connection; whether there was one.
  bool Take() {
    const int fd = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) taken_.push_back(fd);
    return fd >= 0;
  }

 private:
  int fd_ = -1;
  int port_ = 0;
  std::vector<int> taken_;
};

// The processes whose command line names `path` (Writer started with a profile in it), less
// those already gone (dead, not yet waited for).
std::vector<pid_t> ProcessesNaming(const std::string& path) {
  std::vector<pid_t> found;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/proc", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string command = ReadBytes(entry.path() / "cmdline");
    const std::string stat = ReadBytes(entry.path() / "stat");
    const size_t state = stat.rfind(')');
    const bool gone = state == std::string::npos || stat.compare(state, 3, ") Z") == 0;
    if (!gone && command.find(path) != std::string::npos) found.push_back(std::stoi(name));
  }
  return found;
}

struct StopSignal {
  const char* name;
  int number;
};

void PrintTo(const StopSignal& s, std::ostream* out) {
  *out << s.name;
}

// Starts `args` with `env`, its output and errors into `out`, with the stop signals as a program
// gets them by default (none blocked, none ignored). posix_spawn's error, 0 when it started.
int SpawnWithDefaultSignals(std::vector<std::string> args, std::vector<std::string> env,
                            const std::string& out, pid_t* pid) {
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults, none;
  sigemptyset(&defaults);
  for (const int s : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&defaults, s);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&files, 1, 2);
  const int spawned = posix_spawn(pid, argv[0], &files, &attributes, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&files);
  posix_spawnattr_destroy(&attributes);
  return spawned;
}

// Whether `pid` ends within `limit` (its status in `status`).
bool EndsWithin(pid_t pid, std::chrono::seconds limit, int* status) {
  for (const auto until = steady_clock::now() + limit; steady_clock::now() < until;) {
    if (waitpid(pid, status, WNOHANG) == pid) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

class WriterStopSignalTest : public ::testing::TestWithParam<StopSignal> {};

TEST_P(WriterStopSignalTest, EndsTheRunWithoutLeavingWriterOrItsProfile) {
  if (!lohost::WriterInstalled()) GTEST_SKIP() << "LibreOffice Writer is not installed";
  const int signal_number = GetParam().number;
  const TempDir scratch;
  const fs::path work = scratch / "work", tmp = scratch / "tmp";
  fs::create_directories(work);
  fs::create_directories(tmp);
  const fs::path examples = fs::path(QNMURO_SOURCE_DIR) / "examples";
  fs::copy_file(examples / "templates" / "notice.doc", work / "notice.doc");
  fs::copy_file(examples / "notice.ds.xml", work / "notice.ds.xml");
  SilentServer server;
  ASSERT_GT(server.port(), 0);
  const std::string control = std::regex_replace(
      ReadBytes(examples / "control.xml"), std::regex("http://127\\.0\\.0\\.1:8080"),
      "http://127.0.0.1:" + std::to_string(server.port()));
  WriteBytes(work / "notice.xml", control);
  WriteBytes(scratch / "save.run",
             "set-registry CurrentFile notice.doc\nopen notice.doc\nanswer yes\nsave\n");

  // The run in a temporary folder of its own, the stop signals as a program gets them by default.
  std::vector<std::string> env = {"TMPDIR=" + tmp.string(), "QNMURO_WORKDIR=" + work.string(),
                                  "QNMURO_REGISTRY=" + (scratch / "registry.reg").string()};
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string setting = *e;
    if (!setting.starts_with("TMPDIR=") && !setting.starts_with("QNMURO_")) env.push_back(setting);
  }
  pid_t run = -1;
  const int spawned = SpawnWithDefaultSignals(
      {QNMURO_BIN, "run", "--host", "libreoffice", (scratch / "save.run").string()}, env,
      (scratch / "out.txt").string(), &run);
  ASSERT_EQ(spawned, 0) << std::strerror(spawned);

  // Halfway: the save's upload has reached the server, which never answers.
  int status = 0;
  bool waiting = false;
  for (const auto until = steady_clock::now() + seconds(120); steady_clock::now() < until;) {
    if (server.Take()) {
      waiting = true;
      break;
    }
    if (waitpid(run, &status, WNOHANG) == run) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (!waiting) {
    kill(run, SIGKILL);
    waitpid(run, &status, 0);
    FAIL() << "the run did not reach the server:\n" << ReadBytes(scratch / "out.txt");
  }
  const std::vector<pid_t> writer = ProcessesNaming(tmp.string());
  EXPECT_FALSE(writer.empty()) << "no Writer of the run";

  ASSERT_EQ(kill(run, signal_number), 0);
  if (!EndsWithin(run, seconds(60), &status)) {
    kill(run, SIGKILL);
    waitpid(run, &status, 0);
    FAIL() << "the run went on after the signal";
  }
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number)
      << "status " << status << "\n"
      << ReadBytes(scratch / "out.txt");

  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(tmp)) left.push_back(entry.path().string());
  EXPECT_TRUE(left.empty()) << "left behind: " << left.front();
  // Writer, stopped by a kill, is gone once its new parent has waited for it.
  std::vector<pid_t> alive = ProcessesNaming(tmp.string());
  for (const auto until = steady_clock::now() + seconds(10);
       !alive.empty() && steady_clock::now() < until; alive = ProcessesNaming(tmp.string())) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(alive.empty()) << "a process of the run's Writer is left: " << alive.front();
  for (const pid_t pid : alive) kill(pid, SIGKILL);
}

INSTANTIATE_TEST_SUITE_P(Signals, WriterStopSignalTest,
                         ::testing::Values(StopSignal{"SIGTERM", SIGTERM},
                                           StopSignal{"SIGINT", SIGINT},
                                           StopSignal{"SIGHUP", SIGHUP}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qnmuro::test_util
