// The development OA server as a process of its own (`qnmuro oa-server`), so that a test can
// kill it at any moment as a crash or a power cut would, and start it again on the same port.
#ifndef QNMURO_TESTS_SUPPORT_OA_SERVER_PROCESS_H_
#define QNMURO_TESTS_SUPPORT_OA_SERVER_PROCESS_H_

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace qnmuro::test_util {

class OaServerProcess {
 public:
  explicit OaServerProcess(std::filesystem::path root) : root_(std::move(root)) {}
  ~OaServerProcess() { Kill(); }
  OaServerProcess(const OaServerProcess&) = delete;
  OaServerProcess& operator=(const OaServerProcess&) = delete;

  // Starts the server on `port` (0: a free one, then kept for later starts) and waits until it
  // listens. False, with the reason in *error, when it did not come up.
  bool Start(int port, std::string* error);
  // SIGKILL, and waits until it is gone: its sockets are closed when this returns.
  void Kill();
  bool running() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  int port() const { return port_; }
  // "http://127.0.0.1:<port>"
  std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

 private:
  std::filesystem::path root_;
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace qnmuro::test_util

#endif  // QNMURO_TESTS_SUPPORT_OA_SERVER_PROCESS_H_
