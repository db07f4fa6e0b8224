#include "support/oa_server_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <regex>

namespace qnmuro::test_util {

bool OaServerProcess::Start(int port, std::string* error) {
  Kill();
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    *error = "pipe";
    return false;
  }
  const std::string root = root_.string();
  const std::string port_text = std::to_string(port);
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(fds[1], STDOUT_FILENO);
    // Its request lines go to a pipe nobody reads after the first line: a failed write, not
    // a signal that would end it.
    ::signal(SIGPIPE, SIG_IGN);
    ::execl(QNMURO_BIN, QNMURO_BIN, "oa-server", "--root", root.c_str(), "--port",
            port_text.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(fds[1]);
  // The first line says where it listens; it comes once the socket is bound.
  FILE* out = ::fdopen(fds[0], "r");
  char line[512] = {0};
  const bool got = out != nullptr && std::fgets(line, sizeof line, out) != nullptr;
  if (out != nullptr) std::fclose(out);  // later lines go to a closed pipe, unread
  std::smatch match;
  const std::string text = got ? line : "";
  if (pid_ < 0 || !std::regex_search(text, match, std::regex(":([0-9]+)/"))) {
    *error = "the server did not start: " + text;
    Kill();
    return false;
  }
  port_ = std::stoi(match[1].str());
  return true;
}

void OaServerProcess::Kill() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGKILL);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
}

}  // namespace qnmuro::test_util
