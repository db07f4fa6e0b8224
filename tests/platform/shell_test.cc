#include "platform/shell.h"
#include "platform/services_posix.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <optional>
#include <thread>

#include "base/text.h"
#include "common/context.h"
#include "common/utils.h"
#include "support/shell_fake.h"
#include "support/temp_dir.h"

namespace qnmuro {
namespace {

namespace fs = std::filesystem;
using test_util::ReadBytes;
using test_util::TempDir;
using test_util::WriteBytes;

// Sets an environment variable for one test and restores it afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string* value) : name_(name) {
    const char* old = std::getenv(name);
    if (old != nullptr) old_ = old;
    if (value != nullptr) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

void WriteScript(const fs::path& file, const std::string& body) {
  WriteBytes(file, "#!/bin/sh\n" + body);
  chmod(file.c_str(), 0755);
}

class PosixShellTest : public ::testing::Test {
 protected:
  PosixShellTest() : shell_(NewPosixShellService()) { fs::create_directory(dir_ / "bin"); }
  std::string Bin() const { return (dir_ / "bin").string(); }

  TempDir dir_;
  std::unique_ptr<ShellService> shell_;
};

TEST_F(PosixShellTest, ListsProcessesInPidOrderIncludingItself) {
  std::vector<ProcessEntry> processes;
  ASSERT_TRUE(shell_->ListProcesses(&processes));
  ASSERT_FALSE(processes.empty());
  EXPECT_TRUE(std::is_sorted(processes.begin(), processes.end(),
                             [](const auto& a, const auto& b) { return a.pid < b.pid; }));
  const std::string self = fs::read_symlink("/proc/self/exe").filename().string();
  const auto me = std::find_if(processes.begin(), processes.end(), [](const ProcessEntry& p) {
    return p.pid == static_cast<uint32_t>(getpid());
  });
  ASSERT_NE(me, processes.end());
  EXPECT_EQ(me->exeName, Utf8ToUtf16(self));
}

TEST_F(PosixShellTest, EndsAProcess) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    pause();
    _exit(0);
  }
  EXPECT_TRUE(shell_->EndProcess(static_cast<uint32_t>(child)));
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_FALSE(shell_->EndProcess(static_cast<uint32_t>(child)));  // gone
}

TEST_F(PosixShellTest, NeverEndsGroupsOrItself) {
  EXPECT_FALSE(shell_->EndProcess(0));
  EXPECT_FALSE(shell_->EndProcess(static_cast<uint32_t>(-1)));
  EXPECT_FALSE(shell_->EndProcess(static_cast<uint32_t>(INT_MAX) + 1));
  EXPECT_FALSE(shell_->EndProcess(static_cast<uint32_t>(getpid())));
}

TEST_F(PosixShellTest, WindowsOnlyWhereAWindowSystemMightShowThem) {
  {
    ScopedEnv x11("DISPLAY", nullptr);
    ScopedEnv wayland("WAYLAND_DISPLAY", nullptr);
    EXPECT_FALSE(shell_->HasVisibleWindow(static_cast<uint32_t>(getpid())));
  }
  {
    const std::string display = ":0";
    ScopedEnv x11("DISPLAY", &display);
    EXPECT_TRUE(shell_->HasVisibleWindow(1));
  }
  EXPECT_FALSE(shell_->BringMainWindowToFront(u"OpusApp"));
}

TEST_F(PosixShellTest, OpenDocumentRunsXdgOpenInTheWorkingDirectory) {
  const fs::path record = dir_ / "record";
  WriteScript(dir_ / "bin" / "xdg-open", "pwd > '" + record.string() + "'\necho \"$1\" >> '" +
                                             record.string() + "'\nexit 0\n");
  WriteBytes(dir_ / "原稿.doc", "x");
  fs::create_directory(dir_ / "work");
  const std::string path = Bin();
  ScopedEnv env("PATH", &path);
  EXPECT_GT(shell_->OpenDocument((dir_ / "原稿.doc").u16string(), (dir_ / "work").u16string()), 32);
  for (int i = 0; i < 100 && ReadBytes(record).find(".doc") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(ReadBytes(record),
            (dir_ / "work").string() + "\n" + (dir_ / "原稿.doc").string() + "\n");
}

TEST_F(PosixShellTest, OpenDocumentReportsFailures) {
  WriteBytes(dir_ / "a.doc", "x");
  EXPECT_EQ(shell_->OpenDocument((dir_ / "missing.doc").u16string(), u""), kShellFileNotFound);
  EXPECT_EQ(shell_->OpenDocument((dir_ / "no" / "a.doc").u16string(), u""), kShellPathNotFound);
  const std::string path = Bin();
  ScopedEnv env("PATH", &path);
  EXPECT_EQ(shell_->OpenDocument((dir_ / "a.doc").u16string(), u""), kShellNoAssociation);
  WriteScript(dir_ / "bin" / "xdg-open", "exit 3\n");  // "no tool to open it"
  EXPECT_EQ(shell_->OpenDocument((dir_ / "a.doc").u16string(), u""), kShellNoAssociation);
}

TEST_F(PosixShellTest, OpenDocumentDoesNotWaitForTheProgram) {
  WriteScript(dir_ / "bin" / "xdg-open", "sleep 5\n");
  WriteBytes(dir_ / "a.doc", "x");
  const std::string path = Bin() + ":/usr/bin:/bin";
  ScopedEnv env("PATH", &path);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_GT(shell_->OpenDocument((dir_ / "a.doc").u16string(), u""), 32);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
}

TEST_F(PosixShellTest, FindsTheProgramThroughXdgMimeAndTheDesktopFile) {
  WriteScript(dir_ / "bin" / "xdg-mime",
              "if [ \"$2\" = filetype ]; then echo application/msword; exit 0; fi\n"
              "if [ \"$2\" = default ] && [ \"$3\" = application/msword ]; then "
              "echo vendor-writer.desktop; exit 0; fi\nexit 1\n");
  WriteScript(dir_ / "bin" / "writer", "exit 0\n");
  fs::create_directories(dir_ / "share" / "applications" / "vendor");
  WriteBytes(dir_ / "share" / "applications" / "vendor" / "writer.desktop",
             "[Desktop Action New]\nExec=wrong\n[Desktop Entry]\nName=Writer\n"
             "Exec=\"writer\" --open %U\n");
  WriteBytes(dir_ / "a.doc", "x");
  const std::string path = Bin();
  const std::string data = (dir_ / "share").string();
  ScopedEnv env_path("PATH", &path);
  ScopedEnv env_data("XDG_DATA_HOME", &data);
  std::u16string program;
  EXPECT_GT(shell_->FindProgram(u"a.doc", dir_.path().u16string() + u"/", &program), 32);
  EXPECT_EQ(program, (dir_ / "bin" / "writer").u16string());
}

TEST_F(PosixShellTest, FindProgramFailures) {
  std::u16string program = u"untouched";
  EXPECT_EQ(shell_->FindProgram(u"missing.doc", dir_.path().u16string() + u"/", &program),
            kShellFileNotFound);
  WriteBytes(dir_ / "a.doc", "x");
  const std::string path = Bin();
  ScopedEnv env("PATH", &path);
  EXPECT_EQ(shell_->FindProgram(u"a.doc", dir_.path().u16string() + u"/", &program),
            kShellNoAssociation);                                // no xdg-mime
  WriteScript(dir_ / "bin" / "xdg-mime", "echo text/x-none\n");  // no such desktop file
  const std::string data = (dir_ / "share").string();
  ScopedEnv env_data("XDG_DATA_HOME", &data);
  const std::string none = (dir_ / "none").string();
  ScopedEnv env_dirs("XDG_DATA_DIRS", &none);
  EXPECT_EQ(shell_->FindProgram(u"a.doc", dir_.path().u16string() + u"/", &program),
            kShellNoAssociation);
  EXPECT_EQ(program, u"untouched");
}

// Whether the process is gone or only waits to be reaped.
bool Ended(pid_t pid) {
  const std::string stat = ReadBytes("/proc/" + std::to_string(pid) + "/stat");
  const size_t name_end = stat.rfind(')');
  return name_end == std::string::npos || stat.compare(name_end, 3, ") Z") == 0;
}

TEST_F(PosixShellTest, OnlyTheViewerItStartedIsEverEnded) {
  ScopedEnv x11("DISPLAY", nullptr);
  ScopedEnv wayland("WAYLAND_DISPLAY", nullptr);
  const pid_t other = fork();  // someone else's program of the same name, started first
  ASSERT_GE(other, 0);
  if (other == 0) {
    execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
    _exit(127);
  }
  WriteScript(dir_ / "bin" / "xdg-open", "exec sleep 30\n");
  WriteBytes(dir_ / "a.doc", "x");
  const std::string path = Bin() + ":/usr/bin:/bin";
  ScopedEnv env("PATH", &path);
  ASSERT_GT(shell_->OpenDocument((dir_ / "a.doc").u16string(), u""), 32);
  std::vector<ProcessEntry> processes;
  ASSERT_TRUE(shell_->ListProcesses(&processes));
  pid_t viewer = 0;
  for (const ProcessEntry& p : processes) {
    if (p.startedHere) viewer = static_cast<pid_t>(p.pid);
    if (p.pid == static_cast<uint32_t>(other) || p.pid == static_cast<uint32_t>(getpid())) {
      EXPECT_FALSE(p.startedHere) << p.pid;
    }
  }
  ASSERT_GT(viewer, 0);
  Context ctx;
  ctx.shell = shell_.get();
  KillProcess(ctx, u"/usr/bin/sleep");
  for (int i = 0; i < 100 && !Ended(viewer); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(Ended(viewer));
  int status = 0;
  EXPECT_EQ(waitpid(other, &status, WNOHANG), 0);  // still running
  kill(other, SIGKILL);
  waitpid(other, &status, 0);
  if (!Ended(viewer)) kill(viewer, SIGKILL);
}

TEST(FakeShellTest, RecordsCallsAndAnswersFromItsFields) {
  FakeShell shell;
  shell.processes = {{5, u"a"}, {6, u"b"}};
  shell.visibleWindows = {6};
  std::vector<ProcessEntry> list;
  EXPECT_TRUE(shell.ListProcesses(&list));
  EXPECT_EQ(list.size(), 2u);
  EXPECT_TRUE(shell.HasVisibleWindow(6));
  EXPECT_TRUE(shell.EndProcess(5));
  EXPECT_EQ(shell.processes.size(), 1u);
  EXPECT_TRUE(shell.BringMainWindowToFront(u"WPS"));
  shell.openResult = 2;
  EXPECT_EQ(shell.OpenDocument(u"/a", u"/w"), 2);
  EXPECT_EQ(shell.calls, (std::vector<std::u16string>{u"list", u"visible 6", u"end 5", u"front WPS",
                                                      u"open /a|/w"}));
}

}  // namespace
}  // namespace qnmuro
