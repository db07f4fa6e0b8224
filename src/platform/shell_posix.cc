// Shell and process services on POSIX systems: xdg-open / xdg-mime, /proc, signals.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "base/error.h"
#include "base/text.h"
#include "platform/services_posix.h"
#include "platform/shell.h"

extern char** environ;

namespace qnmuro {
namespace {

namespace fs = std::filesystem;

// The full path of a program found on PATH, or empty.
std::string FindInPath(const std::string& name) {
  if (name.find('/') != std::string::npos) return access(name.c_str(), X_OK) == 0 ? name : "";
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0 && !fs::is_directory(candidate)) return candidate;
  }
  return "";
}

// Runs a program to its end and returns its exit status (-1 when it could not run), its
// standard output in *out. Standard input and error are /dev/null.
int RunCapture(const std::vector<std::string>& args, std::string* out) {
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_fds[1]);
  if (rc != 0) {
    close(pipe_fds[0]);
    SetLastSystemError(rc);
    return -1;
  }
  char buf[4096];
  while (true) {
    const ssize_t n = read(pipe_fds[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    out->append(buf, static_cast<size_t>(n));
  }
  close(pipe_fds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string FirstLine(const std::string& text) {
  std::string line = text.substr(0, text.find('\n'));
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
  return line;
}

// The program of a desktop entry's Exec line: its first word, quotes and escapes removed.
std::string ExecProgram(const std::string& exec) {
  std::string word;
  size_t i = 0;
  while (i < exec.size() && exec[i] == ' ') ++i;
  if (i < exec.size() && exec[i] == '"') {
    for (++i; i < exec.size() && exec[i] != '"'; ++i) {
      if (exec[i] == '\\' && i + 1 < exec.size()) ++i;
      word += exec[i];
    }
  } else {
    for (; i < exec.size() && exec[i] != ' '; ++i) word += exec[i];
  }
  return word;
}

// The Exec line of the [Desktop Entry] group of a desktop file, or empty.
std::string DesktopExec(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  bool in_entry = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '[') {
      in_entry = line == "[Desktop Entry]";
      continue;
    }
    if (in_entry && line.rfind("Exec=", 0) == 0) return line.substr(5);
  }
  return "";
}

// The desktop file of a desktop id, looked up in the XDG data directories; a "-" in the id
// may stand for a subfolder ("kde-foo.desktop" is also "kde/foo.desktop").
fs::path FindDesktopFile(const std::string& id) {
  std::vector<std::string> dirs;
  const char* home_data = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  if (home_data != nullptr && *home_data != '\0') {
    dirs.push_back(home_data);
  } else if (home != nullptr) {
    dirs.push_back(std::string(home) + "/.local/share");
  }
  const char* data_dirs = std::getenv("XDG_DATA_DIRS");
  std::stringstream rest(
      data_dirs != nullptr && *data_dirs != '\0' ? data_dirs : "/usr/local/share:/usr/share");
  std::string dir;
  while (std::getline(rest, dir, ':')) {
    if (!dir.empty()) dirs.push_back(dir);
  }
  std::vector<std::string> names{id};
  for (size_t dash = id.find('-'); dash != std::string::npos; dash = id.find('-', dash + 1)) {
    std::string sub = id;
    sub[dash] = '/';
    names.push_back(sub);
  }
  std::error_code ec;
  for (const std::string& d : dirs) {
    for (const std::string& n : names) {
      const fs::path candidate = fs::path(d) / "applications" / n;
      if (fs::is_regular_file(candidate, ec)) return candidate;
    }
  }
  return {};
}

// The shell's answer for a file that is not there.
long MissingFileCode(const fs::path& file) {
  std::error_code ec;
  if (file.has_parent_path() && !fs::is_directory(file.parent_path(), ec)) {
    return kShellPathNotFound;
  }
  return kShellFileNotFound;
}

void SleepMilliseconds(long ms) {
  timespec ts{ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

// The executable name of a process: the target of /proc/<pid>/exe, else its first argument,
// else its command name.
std::string ProcessExeName(const std::string& dir) {
  char target[PATH_MAX];
  const ssize_t n = readlink((dir + "/exe").c_str(), target, sizeof target - 1);
  std::string name;
  if (n > 0) {
    name.assign(target, static_cast<size_t>(n));
    const std::string deleted = " (deleted)";
    if (name.size() > deleted.size() &&
        name.compare(name.size() - deleted.size(), deleted.size(), deleted) == 0) {
      name.resize(name.size() - deleted.size());
    }
  } else {
    std::ifstream cmdline(dir + "/cmdline", std::ios::binary);
    std::getline(cmdline, name, '\0');
    if (name.empty()) {
      std::ifstream comm(dir + "/comm");
      std::getline(comm, name);
    }
  }
  const size_t slash = name.rfind('/');
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

// The session (field 6) and start time (field 22, clock ticks since boot) of a process, from
// its stat file; false when it cannot be read.
bool SessionAndStart(const std::string& dir, long long* session, unsigned long long* start) {
  std::ifstream in(dir + "/stat");
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The command name in parentheses may hold blanks and parentheses itself.
  const size_t name_end = text.rfind(')');
  if (name_end == std::string::npos) return false;
  std::istringstream fields(text.substr(name_end + 1));
  std::string field;
  for (int number = 3; number <= 22 && fields >> field; ++number) {
    if (number == 6) *session = std::strtoll(field.c_str(), nullptr, 10);
    if (number == 22) {
      *start = std::strtoull(field.c_str(), nullptr, 10);
      return true;
    }
  }
  return false;
}

// Reads exactly `size` bytes; false at an early end or an error.
bool ReadWhole(int fd, void* data, size_t size) {
  auto* bytes = static_cast<char*>(data);
  while (size > 0) {
    const ssize_t n = read(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// The forked child of OpenDocument: starts xdg-open as a session leader, writes its process id
// to the pipe, and exits with xdg-open's status if it ends within a second, else with 0.
[[noreturn]] void RunOpener(char* const argv[], const std::string& dir, const int session_pipe[2]) {
  close(session_pipe[0]);
  if (!dir.empty() && chdir(dir.c_str()) != 0) {
    // Like the shell, a missing working directory does not stop the program.
  }
  const pid_t grandchild = fork();
  if (grandchild < 0) _exit(126);
  if (grandchild == 0) {
    setsid();
    const int null_fd = open("/dev/null", O_RDWR);
    if (null_fd >= 0) {
      dup2(null_fd, 0);
      dup2(null_fd, 1);
      dup2(null_fd, 2);
    }
    execve(argv[0], argv, environ);
    _exit(127);
  }
  if (write(session_pipe[1], &grandchild, sizeof grandchild) < 0) {
    // Then the add-in knows nothing it started and ends nothing.
  }
  close(session_pipe[1]);
  for (int waited = 0; waited < 1000; waited += 50) {
    int status = 0;
    if (waitpid(grandchild, &status, WNOHANG) == grandchild) {
      _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 126);
    }
    SleepMilliseconds(50);
  }
  _exit(0);
}

// What one OpenDocument started: xdg-open leads a session of its own, so the session's
// processes that started no earlier than the launch are its own and the programs it ran.
struct Launch {
  long long session = 0;
  unsigned long long start = 0;
};

class PosixShellService final : public ShellService {
 public:
  long OpenDocument(std::u16string_view path, std::u16string_view working_dir) override {
    const fs::path file = ToPath(path);
    std::error_code ec;
    if (!fs::exists(file, ec)) return MissingFileCode(file);
    const std::string opener = FindInPath("xdg-open");
    if (opener.empty()) return kShellNoAssociation;
    const std::string dir = ToPath(working_dir).string();
    const std::string arg = file.string();
    char* argv[] = {const_cast<char*>(opener.c_str()), const_cast<char*>(arg.c_str()), nullptr};
    int session_pipe[2];
    if (pipe2(session_pipe, O_CLOEXEC) != 0) {
      SetLastSystemError(errno);
      return kShellNoAssociation;
    }
    // xdg-open may run the program in the foreground until it ends, so it runs as a grandchild
    // that init adopts: the child reports xdg-open's failure if it comes within a second and
    // success otherwise, and tells which session xdg-open leads. Only async-signal-safe calls
    // happen after fork.
    const pid_t child = fork();
    if (child < 0) {
      SetLastSystemError(errno);
      close(session_pipe[0]);
      close(session_pipe[1]);
      return kShellNoAssociation;
    }
    if (child == 0) RunOpener(argv, dir, session_pipe);
    close(session_pipe[1]);
    // The child is not reaped yet, so its stat is there; what xdg-open starts starts later.
    Launch launch;
    long long child_session = 0;
    const bool timed =
        SessionAndStart("/proc/" + std::to_string(child), &child_session, &launch.start);
    pid_t leader = 0;
    const bool led = ReadWhole(session_pipe[0], &leader, sizeof leader);
    close(session_pipe[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
      if (errno != EINTR) return kShellNoAssociation;
    }
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 126;
    if (code == 0) {
      launch.session = leader;
      if (timed && led && leader > 0) launches_.push_back(launch);
      return kShellOk;
    }
    SetLastSystemError(code);
    return code == 2 ? kShellFileNotFound : kShellNoAssociation;  // xdg-open: 2 = no file
  }

  long FindProgram(std::u16string_view file_name, std::u16string_view folder,
                   std::u16string* program) override {
    const fs::path file = ToPath(std::u16string(folder) + std::u16string(file_name));
    std::error_code ec;
    if (!fs::exists(file, ec)) return MissingFileCode(file);
    const std::string mime_tool = FindInPath("xdg-mime");
    if (mime_tool.empty()) return kShellNoAssociation;
    std::string out;
    if (RunCapture({mime_tool, "query", "filetype", file.string()}, &out) != 0) {
      return kShellNoAssociation;
    }
    const std::string mime = FirstLine(out);
    out.clear();
    if (mime.empty() || RunCapture({mime_tool, "query", "default", mime}, &out) != 0) {
      return kShellNoAssociation;
    }
    const std::string desktop_id = FirstLine(out);
    if (desktop_id.empty()) return kShellNoAssociation;
    const fs::path desktop = FindDesktopFile(desktop_id);
    if (desktop.empty()) return kShellNoAssociation;
    const std::string exe = ExecProgram(DesktopExec(desktop));
    if (exe.empty()) return kShellNoAssociation;
    const std::string resolved = FindInPath(exe);
    if (resolved.empty()) return kShellNoAssociation;
    *program = Utf8ToUtf16(resolved);
    return kShellOk;
  }

  bool ListProcesses(std::vector<ProcessEntry>* processes) override {
    DIR* proc = opendir("/proc");
    if (proc == nullptr) {
      SetLastSystemError(errno);
      return false;
    }
    processes->clear();
    while (const dirent* entry = readdir(proc)) {
      const std::string name = entry->d_name;
      if (name.empty() || name.size() > 9 ||
          !std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        continue;
      }
      const uint32_t pid = static_cast<uint32_t>(std::stoul(name));
      processes->push_back(
          {pid, Utf8ToUtf16(ProcessExeName("/proc/" + name)), StartedHere("/proc/" + name)});
    }
    closedir(proc);
    std::sort(processes->begin(), processes->end(),
              [](const ProcessEntry& a, const ProcessEntry& b) { return a.pid < b.pid; });
    return true;
  }

  bool HasVisibleWindow(uint32_t /*pid*/) override {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
  }

  bool EndProcess(uint32_t pid) override {
    // 0 and ids above INT_MAX (negative pid_t) would signal whole process groups; the calling
    // process is the host itself.
    if (pid == 0 || pid > static_cast<uint32_t>(INT_MAX) || static_cast<pid_t>(pid) == getpid()) {
      return false;
    }
    if (kill(static_cast<pid_t>(pid), SIGKILL) != 0) {
      SetLastSystemError(errno);
      return false;
    }
    return true;
  }

  bool BringMainWindowToFront(std::u16string_view /*class_fragment*/) override { return false; }

 private:
  bool StartedHere(const std::string& dir) const {
    if (launches_.empty()) return false;
    long long session = 0;
    unsigned long long start = 0;
    if (!SessionAndStart(dir, &session, &start)) return false;
    return std::any_of(launches_.begin(), launches_.end(), [&](const Launch& launch) {
      return launch.session == session && start >= launch.start;
    });
  }

  std::vector<Launch> launches_;
};

}  // namespace

std::unique_ptr<ShellService> NewPosixShellService() {
  return std::make_unique<PosixShellService>();
}

}  // namespace qnmuro
