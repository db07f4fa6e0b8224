#include "lohost/writer_process.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <cppuhelper/bootstrap.hxx>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>
#include <vector>

#include "base/text.h"
#include "host/host.h"
#include "lohost/uno_util.h"

namespace qnmuro::lohost {
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
// stopped together; its output goes nowhere.
pid_t Spawn(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid != 0) return pid;
  setsid();
  // Writer goes when the program that started it goes, even when that one is killed.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  const int null = open("/dev/null", O_RDWR);
  if (null >= 0) {
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
  }
  execv(argv[0], argv.data());
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

}  // namespace

std::unique_ptr<WriterProcess> WriterProcess::Start(const WriterStartOptions& options) {
  std::unique_ptr<WriterProcess> process(new WriterProcess());
  if (options.profile_dir.empty()) {
    std::error_code ec;
    std::string pattern =
        (std::filesystem::temp_directory_path(ec) / "qnmuro-writer-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
      ThrowHost(host::kNotAvailable, u"Writer did not start: no temporary profile folder");
    }
    process->profile_ = pattern;
    process->temporary_profile_ = true;
  } else {
    process->profile_ = U8(options.profile_dir);
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
  process->pid_ = Spawn(args);
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
    int status = 0;
    if (waitpid(process->pid_, &status, WNOHANG) == process->pid_) {
      // A new profile is made on the first start, which then asks to be started again.
      if (WIFEXITED(status) && WEXITSTATUS(status) == kRestartRequested && restarts++ < 2) {
        process->pid_ = Spawn(args);
        continue;
      }
      process->pid_ = -1;
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

void WriterProcess::Stop() {
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
}

}  // namespace qnmuro::lohost
