#include "lohost/writer_process.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <cppuhelper/bootstrap.hxx>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "base/text.h"
#include "host/host.h"
#include "lohost/uno_util.h"

namespace qnmuro::lohost {

// A running Writer as the stop signals' handler sees it (see below).
struct RunningWriter {
  std::atomic<bool> used{false};
  std::atomic<pid_t> pid{0};  // Writer's process, the leader of its own group; 0: none
  std::atomic<bool> temporary{false};
  char profile[PATH_MAX] = {};  // set before `temporary`
};

namespace {

using css::uno::Reference;
using css::uno::XComponentContext;

// soffice.bin's exit status when it wants to be started again (after making a new profile).
constexpr int kRestartRequested = 81;

std::string SofficeBin() {
  return U8(WriterProgramDir()) + "/soffice.bin";
}

// The local UNO runtime that talks to Writer: bootstrapped once per process from the office's
// own configuration.
Reference<XComponentContext> LocalContext() {
  static const Reference<XComponentContext> local = [] {
    const std::string rc = "vnd.sun.star.pathname:" + U8(WriterProgramDir()) + "/fundamentalrc";
    setenv("URE_BOOTSTRAP", rc.c_str(), 0);
    return cppu::defaultBootstrap_InitialComponentContext();
  }();
  return local;
}

std::string PipeName() {
  static std::atomic<int> counter{0};
  return "qnmuro-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + "-" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count() % 1000000);
}

// Starts soffice.bin in a session of its own, so that it and anything it starts can be
// stopped together, with the environment `env`; its output goes nowhere.
pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid != 0) return pid;
  setsid();
  // Writer goes when the program that started it goes, even when that one is killed (and when
  // it went before this was set).
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(127);
  const int null = open("/dev/null", O_RDWR);
  if (null >= 0) {
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
  }
  execve(argv[0], argv.data(), envp.data());
  _exit(127);
}

bool Exited(pid_t pid, std::chrono::milliseconds within) {
  const auto until = std::chrono::steady_clock::now() + within;
  for (;;) {
    int status = 0;
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid || (r < 0 && errno == ECHILD)) return true;
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

// ---- the end of the program by a signal
//
// SIGTERM, SIGINT or SIGHUP would end the program with its Writer stopped only by the parent
// death signal and its temporary profile left behind. The handler stops every Writer of the
// process and removes its temporary profile, then lets the signal end the program as it would
// have. It can use nothing that allocates or locks: what it needs is written here by Start and
// Stop, in slots it reads with atomic loads.

constexpr int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};
RunningWriter running_writers[16];

RunningWriter* ClaimSlot() {
  for (RunningWriter& slot : running_writers) {
    bool free = false;
    if (slot.used.compare_exchange_strong(free, true)) return &slot;
  }
  return nullptr;  // more Writers than slots: these are left to the parent death signal
}

void ReleaseSlot(RunningWriter* slot) {
  if (slot == nullptr) return;
  slot->temporary.store(false);
  slot->pid.store(0);
  slot->used.store(false);
}

bool IsDotOrDotDot(const char* name) {
  return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

// Removes `name` in the folder `dir` with everything in it, by system calls alone.
void RemoveTreeAt(int dir, const char* name, int depth) {
  const int fd =
      depth < 32 ? openat(dir, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC) : -1;
  if (fd >= 0) {
    alignas(8) char entries[2048];
    // What is removed while the folder is listed may make the listing skip entries: it is
    // listed again until nothing is left.
    for (int pass = 0; pass < 64; ++pass) {
      bool removed = false;
      lseek(fd, 0, SEEK_SET);
      long got = 0;
      while ((got = syscall(SYS_getdents64, fd, entries, sizeof entries)) > 0) {
        // struct linux_dirent64: 8-byte inode, 8-byte offset, 2-byte length, type, name
        for (long at = 0; at < got;) {
          unsigned short length = 0;
          memcpy(&length, entries + at + 16, sizeof length);
          const unsigned char type = static_cast<unsigned char>(entries[at + 18]);
          const char* child = entries + at + 19;
          at += length;
          if (length == 0) break;
          if (IsDotOrDotDot(child)) continue;
          if (type == DT_DIR || (unlinkat(fd, child, 0) != 0 && errno == EISDIR)) {
            RemoveTreeAt(fd, child, depth + 1);
          }
          removed = true;
        }
      }
      if (!removed) break;
    }
    close(fd);
  }
  unlinkat(dir, name, AT_REMOVEDIR);
}

void OnStopSignal(int signal_number) {
  // Stopped first, Writer writes nothing more into its profile while that goes, and the call
  // into it that the program may be waiting in stays where it is.
  for (RunningWriter& slot : running_writers) {
    if (const pid_t pid = slot.pid.load(); pid > 0) kill(-pid, SIGSTOP);
  }
  for (RunningWriter& slot : running_writers) {
    if (slot.temporary.load()) RemoveTreeAt(AT_FDCWD, slot.profile, 0);
  }
  for (RunningWriter& slot : running_writers) {
    if (const pid_t pid = slot.pid.load(); pid > 0) kill(-pid, SIGKILL);
  }
  struct sigaction plain {};
  plain.sa_handler = SIG_DFL;
  sigemptyset(&plain.sa_mask);
  sigaction(signal_number, &plain, nullptr);
  sigset_t mask;
  sigemptyset(&mask);
  sigaddset(&mask, signal_number);
  sigprocmask(SIG_UNBLOCK, &mask, nullptr);
  raise(signal_number);
}

// Once per process; a signal the program ignores or handles itself is left as it is.
void CatchStopSignals() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (const int signal_number : kStopSignals) {
      struct sigaction now {};
      if (sigaction(signal_number, nullptr, &now) != 0) continue;
      if ((now.sa_flags & SA_SIGINFO) != 0 || now.sa_handler != SIG_DFL) continue;
      struct sigaction on {};
      on.sa_handler = OnStopSignal;
      sigemptyset(&on.sa_mask);
      for (const int other : kStopSignals) sigaddset(&on.sa_mask, other);
      sigaction(signal_number, &on, nullptr);
    }
  });
}

// Whether `pid` has exited, leaving it to be waited for.
bool HasExited(pid_t pid) {
  siginfo_t info{};
  return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == pid;
}

}  // namespace

std::unique_ptr<WriterProcess> WriterProcess::Start(const WriterStartOptions& options) {
  CatchStopSignals();
  std::unique_ptr<WriterProcess> process(new WriterProcess());
  process->running_ = ClaimSlot();
  if (options.profile_dir.empty()) {
    std::error_code ec;
    std::string pattern =
        (std::filesystem::temp_directory_path(ec) / "qnmuro-writer-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      ThrowHost(host::kNotAvailable, u"Writer did not start: no temporary profile folder");
    }
    process->profile_ = pattern;
    process->temporary_profile_ = true;
    if (process->running_ != nullptr && pattern.size() < sizeof process->running_->profile) {
      memcpy(process->running_->profile, pattern.c_str(), pattern.size() + 1);
      process->running_->temporary.store(true);
    }
  } else {
    process->profile_ = U8(options.profile_dir);
  }
  // Writer's own temporary files go into a temporary profile, and with it when Writer could
  // not remove them itself (stopped by a signal).
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    if (!process->temporary_profile_ || strncmp(*e, "TMPDIR=", 7) != 0) env.emplace_back(*e);
  }
  if (process->temporary_profile_) {
    const std::string writer_tmp = process->profile_ + "/tmp";
    if (mkdir(writer_tmp.c_str(), 0700) == 0) {
      env.push_back("TMPDIR=" + writer_tmp);
    } else if (const char* tmp = getenv("TMPDIR"); tmp != nullptr) {
      env.push_back(std::string("TMPDIR=") + tmp);
    }
  }
  const std::string pipe = PipeName();
  const std::string profile_url =
      U8(U16(FileUrl(U16(OUString::fromUtf8(process->profile_.c_str())))));
  const std::vector<std::string> args = {
      SofficeBin(),
      "--headless",
      "--invisible",
      "--nologo",
      "--norestore",
      "--nodefault",
      "--nolockcheck",
      "-env:UserInstallation=" + profile_url,
      "--accept=pipe,name=" + pipe + ";urp;StarOffice.ComponentContext"};
  process->Spawned(Spawn(args, env));
  if (process->pid_ < 0) ThrowHost(host::kNotAvailable, u"Writer did not start: fork failed");
  int restarts = 0;

  const Reference<css::bridge::XUnoUrlResolver> resolver =
      Uno([] { return css::bridge::UnoUrlResolver::create(LocalContext()); });
  const OUString url =
      OUString::fromUtf8(("uno:pipe,name=" + pipe + ";urp;StarOffice.ComponentContext").c_str());
  const auto until =
      std::chrono::steady_clock::now() + std::chrono::seconds(options.start_timeout_seconds);
  for (;;) {
    try {
      process->remote_.set(resolver->resolve(url), css::uno::UNO_QUERY_THROW);
      return process;
    } catch (const css::uno::Exception&) {
    }
    if (HasExited(process->pid_)) {
      const pid_t gone = process->pid_;
      process->Spawned(-1);
      int status = 0;
      waitpid(gone, &status, 0);
      // A new profile is made on the first start, which then asks to be started again.
      if (WIFEXITED(status) && WEXITSTATUS(status) == kRestartRequested && restarts++ < 2) {
        process->Spawned(Spawn(args, env));
        continue;
      }
      ThrowHost(host::kNotAvailable, u"Writer did not start: " + Utf8ToUtf16(SofficeBin()) +
                                         u" exited before accepting a connection");
    }
    if (std::chrono::steady_clock::now() >= until) {
      ThrowHost(host::kNotAvailable, u"Writer did not accept a connection in time");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

WriterProcess::~WriterProcess() {
  Stop();
}

void WriterProcess::Spawned(pid_t pid) {
  pid_ = pid;
  if (running_ != nullptr) running_->pid.store(pid > 0 ? pid : 0);
}

void WriterProcess::Stop() {
  // From here on a stop signal leaves this Writer to the parent death signal: once waited for,
  // its process id may be another's.
  if (running_ != nullptr) running_->pid.store(0);
  if (pid_ > 0) {
    if (remote_.is()) {
      try {
        css::frame::Desktop::create(remote_)->terminate();
      } catch (...) {
        // The bridge goes down as Writer exits: that is the answer.
      }
    }
    remote_.clear();
    if (!Exited(pid_, std::chrono::seconds(15))) {
      kill(-pid_, SIGKILL);
      Exited(pid_, std::chrono::seconds(5));
    }
    kill(-pid_, SIGKILL);  // anything Writer itself started
    pid_ = -1;
  }
  if (temporary_profile_) {
    std::error_code ec;
    std::filesystem::remove_all(profile_, ec);
    temporary_profile_ = false;
  }
  ReleaseSlot(std::exchange(running_, nullptr));
}

}  // namespace qnmuro::lohost
