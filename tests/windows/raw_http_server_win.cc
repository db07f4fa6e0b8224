// The protocol tests' server over Winsock: the same behaviour as the POSIX one.
#include <winsock2.h>

#include <cstdlib>

#include "transfer/raw_http_server.h"
#include "transfer/raw_socket.h"

namespace qnmuro::test {
namespace {

SOCKET S(int fd) {
  return static_cast<SOCKET>(fd);
}

}  // namespace

long SocketReceive(int fd, char* buffer, size_t size) {
  return ::recv(S(fd), buffer, static_cast<int>(size), 0);
}

bool SocketSendAll(int fd, const std::string& bytes) {
  size_t off = 0;
  while (off < bytes.size()) {
    const int n = ::send(S(fd), bytes.data() + off, static_cast<int>(bytes.size() - off), 0);
    if (n <= 0) return false;
    off += static_cast<size_t>(n);
  }
  return true;
}

void SocketShutdown(int fd) {
  ::shutdown(S(fd), SD_BOTH);
}

RawHttpServer::RawHttpServer(Handler handler) : handler_(std::move(handler)) {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  if (!started) std::abort();
  // Socket handles are small numbers that the shared header keeps as int.
  listen_fd_ = static_cast<int>(::socket(AF_INET, SOCK_STREAM, 0));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (::bind(S(listen_fd_), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(S(listen_fd_), 16) != 0) {
    std::abort();
  }
  int len = sizeof addr;
  ::getsockname(S(listen_fd_), reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  acceptor_ = std::thread([this] { Accept(); });
}

RawHttpServer::~RawHttpServer() {
  Stop();
}

std::string RawHttpServer::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<RawRequest> RawHttpServer::requests() {
  std::lock_guard<std::mutex> lock(mu_);
  return requests_;
}

void RawHttpServer::Stop() {
  if (stopping_.exchange(true)) return;
  {
    std::lock_guard<std::mutex> lock(mu_);
    // Closing, not only shutting down: a recv blocked in a worker returns only then.
    for (int fd : open_fds_) {
      ::shutdown(S(fd), SD_BOTH);
      ::closesocket(S(fd));
    }
  }
  stopped_.notify_all();
  if (acceptor_.joinable()) acceptor_.join();
  for (std::thread& t : workers_) t.join();
  ::closesocket(S(listen_fd_));
}

void RawHttpServer::Accept() {
  for (;;) {
    WSAPOLLFD p{S(listen_fd_), POLLRDNORM, 0};
    if (::WSAPoll(&p, 1, 50) < 0 || stopping_) return;
    if ((p.revents & POLLRDNORM) == 0) continue;
    const SOCKET fd = ::accept(S(listen_fd_), nullptr, nullptr);
    if (fd == INVALID_SOCKET) return;
    std::lock_guard<std::mutex> lock(mu_);
    open_fds_.push_back(static_cast<int>(fd));
    workers_.emplace_back([this, fd] { Serve(static_cast<int>(fd)); });
  }
}

}  // namespace qnmuro::test
