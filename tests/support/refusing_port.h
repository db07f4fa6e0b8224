// A port on 127.0.0.1 that refuses connections for as long as the object lives. Its socket is
// bound but never listens: connections are refused, and no other process can take the port
// before the test is done with it, as it could with a port merely found free and let go.
#ifndef QNMURO_TESTS_SUPPORT_REFUSING_PORT_H_
#define QNMURO_TESTS_SUPPORT_REFUSING_PORT_H_

#include <string>

namespace qnmuro::test_util {

class RefusingPort {
 public:
  // Throws std::system_error when no port can be bound.
  RefusingPort();
  ~RefusingPort();
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;

  int port() const { return port_; }
  // "http://127.0.0.1:<port>" followed by `path`.
  std::string url(const std::string& path) const;

 private:
  int fd_ = -1;
  int port_ = 0;
};

}  // namespace qnmuro::test_util

#endif  // QNMURO_TESTS_SUPPORT_REFUSING_PORT_H_
