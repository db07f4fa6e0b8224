// Raw TCP connections to a server on 127.0.0.1, for tests that send what no HTTP client would.
#ifndef QNMURO_TESTS_SUPPORT_RAW_CLIENT_H_
#define QNMURO_TESTS_SUPPORT_RAW_CLIENT_H_

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>

namespace qnmuro::test_util {

// A connection to 127.0.0.1:port, or -1.
inline int ConnectLoopback(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return fd;
  if (fd >= 0) ::close(fd);
  return -1;
}

// Reads whatever the server still sends (appended to *got when given) until it closes the
// connection; false when it is still open at `until`.
inline bool ClosedBy(int fd, std::chrono::steady_clock::time_point until,
                     std::string* got = nullptr) {
  char buf[4096];
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          until - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0) return false;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) return true;
    if (got != nullptr) got->append(buf, static_cast<size_t>(n));
  }
}

// Sends all of `bytes`; false when the connection refused them.
inline bool SendAll(int fd, const std::string& bytes) {
  for (size_t sent = 0; sent < bytes.size();) {
    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace qnmuro::test_util

#endif  // QNMURO_TESTS_SUPPORT_RAW_CLIENT_H_
