// The protocol tests' server. Everything is shared but the socket calls, which the small
// shim below maps to POSIX sockets or to Winsock.
#include "transfer/raw_http_server.h"

#include <strings.h>

#include <cstdlib>
#include <optional>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace qnmuro::test {
namespace {

#ifdef _WIN32
// Socket handles are small numbers that the header keeps as int.
SOCKET S(int fd) {
  return static_cast<SOCKET>(fd);
}
using SockLen = int;
const SOCKET kNoSocket = INVALID_SOCKET;
constexpr short kReadable = POLLRDNORM;
int Poll(int fd, int ms) {
  WSAPOLLFD p{S(fd), kReadable, 0};
  return ::WSAPoll(&p, 1, ms) < 0 ? -1 : p.revents;
}
void StartSockets() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  if (!started) std::abort();
}
long Receive(int fd, char* buffer, size_t size) {
  return ::recv(S(fd), buffer, static_cast<int>(size), 0);
}
long Send(int fd, const char* data, size_t size) {
  return ::send(S(fd), data, static_cast<int>(size), 0);
}
void Shutdown(int fd) {
  ::shutdown(S(fd), SD_BOTH);
}
void Close(int fd) {
  ::closesocket(S(fd));
}
// Winsock ends a recv blocked in a worker only when its socket is closed.
constexpr bool kCloseToWake = true;
#else
int S(int fd) {
  return fd;
}
using SockLen = socklen_t;
constexpr int kNoSocket = -1;
constexpr short kReadable = POLLIN;
int Poll(int fd, int ms) {
  pollfd p{fd, kReadable, 0};
  return ::poll(&p, 1, ms) < 0 ? -1 : p.revents;
}
void StartSockets() {}
long Receive(int fd, char* buffer, size_t size) {
  return static_cast<long>(::recv(fd, buffer, size, 0));
}
long Send(int fd, const char* data, size_t size) {
  return static_cast<long>(::send(fd, data, size, MSG_NOSIGNAL));
}
void Shutdown(int fd) {
  ::shutdown(fd, SHUT_RDWR);
}
void Close(int fd) {
  ::close(fd);
}
constexpr bool kCloseToWake = false;
#endif

bool SendAll(int fd, const std::string& bytes) {
  size_t off = 0;
  while (off < bytes.size()) {
    const long n = Send(fd, bytes.data() + off, bytes.size() - off);
    if (n <= 0) return false;
    off += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

RawHttpServer::RawHttpServer(Handler handler) : handler_(std::move(handler)) {
  StartSockets();
  listen_fd_ = static_cast<int>(::socket(AF_INET, SOCK_STREAM, 0));
  int one = 1;
  ::setsockopt(S(listen_fd_), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&one),
               sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (::bind(S(listen_fd_), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(S(listen_fd_), 16) != 0) {
    std::abort();
  }
  SockLen len = sizeof addr;
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
  Shutdown(listen_fd_);
  {
    std::lock_guard<std::mutex> lock(mu_);
    for (int fd : open_fds_) {
      Shutdown(fd);
      if (kCloseToWake) Close(fd);
    }
  }
  stopped_.notify_all();
  if (acceptor_.joinable()) acceptor_.join();
  for (std::thread& t : workers_) t.join();
  if (!kCloseToWake) {
    for (int fd : open_fds_) Close(fd);
  }
  Close(listen_fd_);
}

void RawHttpServer::Accept() {
  for (;;) {
    const int revents = Poll(listen_fd_, 50);
    if (revents < 0 || stopping_) return;
    if ((revents & kReadable) == 0) continue;
    const auto fd = ::accept(S(listen_fd_), nullptr, nullptr);
    if (fd == kNoSocket) return;
    std::lock_guard<std::mutex> lock(mu_);
    open_fds_.push_back(static_cast<int>(fd));
    workers_.emplace_back([this, fd] { Serve(static_cast<int>(fd)); });
  }
}

std::string RawRequest::target() const {
  const size_t a = head.find(' ');
  const size_t b = head.find(' ', a + 1);
  return head.substr(a + 1, b - a - 1);
}

namespace {

// The value of the first header line of that name (case-insensitive), or nullopt.
std::optional<std::string> FindHeader(const std::string& head, const std::string& name) {
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
  return std::nullopt;
}

}  // namespace

bool RawRequest::has_header(const std::string& name) const {
  return FindHeader(head, name).has_value();
}

std::string RawRequest::header(const std::string& name) const {
  return FindHeader(head, name).value_or(std::string());
}

RawReply RawHttpServer::Reply(int status, const std::string& body,
                              const std::vector<std::string>& headers) {
  std::string bytes = "HTTP/1.1 " + std::to_string(status) + " X\r\n";
  for (const std::string& h : headers) bytes += h + "\r\n";
  bytes += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  return RawReply{bytes};
}

void RawHttpServer::Serve(int fd) {
  std::string buffer;
  char chunk[65536];
  for (;;) {
    size_t head_end;
    while ((head_end = buffer.find("\r\n\r\n")) == std::string::npos) {
      const long n = Receive(fd, chunk, sizeof chunk);
      if (n <= 0) return;
      buffer.append(chunk, static_cast<size_t>(n));
    }
    RawRequest request;
    request.head = buffer.substr(0, head_end + 4);
    buffer.erase(0, head_end + 4);
    const std::string length = request.header("Content-Length");
    const size_t body_size = length.empty() ? 0 : std::strtoull(length.c_str(), nullptr, 10);
    while (buffer.size() < body_size) {
      const long n = Receive(fd, chunk, sizeof chunk);
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
      Shutdown(fd);
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

}  // namespace qnmuro::test
