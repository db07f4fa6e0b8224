#include "transfer/raw_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

namespace qnmuro::test {
namespace {

bool SendAll(int fd, const std::string& bytes) {
  size_t off = 0;
  while (off < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL);
    if (n <= 0) return false;
    off += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::string RawRequest::target() const {
  const size_t a = head.find(' ');
  const size_t b = head.find(' ', a + 1);
  return head.substr(a + 1, b - a - 1);
}

bool RawRequest::has_header(const std::string& name) const {
  size_t pos = head.find("\r\n");
  while (pos != std::string::npos && pos + 2 < head.size()) {
    const size_t end = head.find("\r\n", pos + 2);
    const std::string line = head.substr(pos + 2, end - pos - 2);
    if (line.size() > name.size() && line[name.size()] == ':' &&
        strncasecmp(line.c_str(), name.c_str(), name.size()) == 0) {
      return true;
    }
    pos = end;
  }
  return false;
}

std::string RawRequest::header(const std::string& name) const {
  size_t pos = head.find("\r\n");
  while (pos != std::string::npos && pos + 2 < head.size()) {
    const size_t end = head.find("\r\n", pos + 2);
    const std::string line = head.substr(pos + 2, end - pos - 2);
    if (line.size() > name.size() && line[name.size()] == ':' &&
        strncasecmp(line.c_str(), name.c_str(), name.size()) == 0) {
      size_t v = name.size() + 1;
      while (v < line.size() && line[v] == ' ') ++v;
      return line.substr(v);
    }
    pos = end;
  }
  return std::string();
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

void RawHttpServer::Serve(int fd) {
  std::string buffer;
  char chunk[65536];
  for (;;) {
    size_t head_end;
    while ((head_end = buffer.find("\r\n\r\n")) == std::string::npos) {
      const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
      if (n <= 0) return;
      buffer.append(chunk, static_cast<size_t>(n));
    }
    RawRequest request;
    request.head = buffer.substr(0, head_end + 4);
    buffer.erase(0, head_end + 4);
    const std::string length = request.header("Content-Length");
    const size_t body_size = length.empty() ? 0 : std::strtoull(length.c_str(), nullptr, 10);
    while (buffer.size() < body_size) {
      const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
      if (n <= 0) return;
      buffer.append(chunk, static_cast<size_t>(n));
    }
    request.body = buffer.substr(0, body_size);
    buffer.erase(0, body_size);
    int index;
    {
      std::lock_guard<std::mutex> lock(mu_);
      index = static_cast<int>(requests_.size());
      requests_.push_back(request);
    }
    const RawReply reply = handler_(request, index);
    if (reply.hang) {
      std::unique_lock<std::mutex> lock(mu_);
      stopped_.wait(lock, [this] { return stopping_.load(); });
      return;
    }
    if (!SendAll(fd, reply.bytes) || !Trickle(fd, reply) || reply.close) {
      ::shutdown(fd, SHUT_RDWR);
      return;
    }
  }
}

bool RawHttpServer::Trickle(int fd, const RawReply& reply) {
  const size_t piece = reply.trickle_piece == 0 ? 1 : reply.trickle_piece;
  for (size_t off = 0; off < reply.trickle.size(); off += piece) {
    {
      std::unique_lock<std::mutex> lock(mu_);
      if (stopped_.wait_for(lock, reply.trickle_every, [this] { return stopping_.load(); })) {
        return false;
      }
    }
    if (!SendAll(fd, reply.trickle.substr(off, piece))) return false;
  }
  return true;
}

RawReply RawHttpServer::Reply(int status, const std::string& body,
                              const std::vector<std::string>& headers) {
  std::string bytes = "HTTP/1.1 " + std::to_string(status) + " X\r\n";
  for (const std::string& h : headers) bytes += h + "\r\n";
  bytes += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  return RawReply{bytes};
}

}  // namespace qnmuro::test
