#include "transfer/raw_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

#include "transfer/raw_socket.h"

namespace qnmuro::test {

long SocketReceive(int fd, char* buffer, size_t size) {
  return static_cast<long>(::recv(fd, buffer, size, 0));
}

bool SocketSendAll(int fd, const std::string& bytes) {
  size_t off = 0;
  while (off < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL);
    if (n <= 0) return false;
    off += static_cast<size_t>(n);
  }
  return true;
}

void SocketShutdown(int fd) {
  ::shutdown(fd, SHUT_RDWR);
}

RawHttpServer::RawHttpServer(Handler handler) : handler_(std::move(handler)) {
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
  int one = 1;
  ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listen_fd_, 16) != 0) {
    std::abort();
  }
  socklen_t len = sizeof addr;
  ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len);
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
  ::shutdown(listen_fd_, SHUT_RDWR);
  {
    std::lock_guard<std::mutex> lock(mu_);
    for (int fd : open_fds_) ::shutdown(fd, SHUT_RDWR);
  }
  stopped_.notify_all();
  if (acceptor_.joinable()) acceptor_.join();
  for (std::thread& t : workers_) t.join();
  for (int fd : open_fds_) ::close(fd);
  ::close(listen_fd_);
}

void RawHttpServer::Accept() {
  for (;;) {
    pollfd p{listen_fd_, POLLIN, 0};
    if (::poll(&p, 1, 50) < 0 || stopping_) return;
    if ((p.revents & POLLIN) == 0) continue;
    const int fd = ::accept(listen_fd_, nullptr, nullptr);
    if (fd < 0) return;
    std::lock_guard<std::mutex> lock(mu_);
    open_fds_.push_back(fd);
    workers_.emplace_back([this, fd] { Serve(fd); });
  }
}

}  // namespace qnmuro::test
