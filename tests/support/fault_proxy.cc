#include "support/fault_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

namespace qnmuro::test_util {
namespace {

constexpr int kWaitMs = 5000;  // for a peer that should be sending
// Longer than the time-outs of the clients the tests make (1 s without a byte).
constexpr auto kStallFor = std::chrono::milliseconds(1500);

// Receives into *data until it holds `want` bytes or the peer stops; false on a broken or
// silent connection.
bool ReceiveUntil(int fd, std::string* data, size_t want) {
  char buffer[16384];
  while (data->size() < want) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, kWaitMs) <= 0) return false;
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    data->append(buffer, static_cast<size_t>(n));
  }
  return true;
}

// The head (through its blank line) at the start of *data; false when none arrived.
bool ReceiveHead(int fd, std::string* data, size_t* head_size) {
  char buffer[16384];
  for (;;) {
    const size_t end = data->find("\r\n\r\n");
    if (end != std::string::npos) {
      *head_size = end + 4;
      return true;
    }
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, kWaitMs) <= 0) return false;
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    data->append(buffer, static_cast<size_t>(n));
  }
}

size_t ContentLength(const std::string& head) {
  std::string lower = head;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const size_t at = lower.find("\r\ncontent-length:");
  return at == std::string::npos ? 0 : std::stoul(head.substr(at + 17));
}

bool SendAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

int ConnectTo(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// The server's whole reply to one request: its head and Content-Length bytes (or all it sends
// before closing).
std::string ReceiveReply(int fd) {
  std::string reply;
  size_t head = 0;
  if (!ReceiveHead(fd, &reply, &head)) return reply;
  ReceiveUntil(fd, &reply, head + ContentLength(reply.substr(0, head)));
  return reply;
}

std::string Status(int code, const char* reason, const std::string& body) {
  return "HTTP/1.1 " + std::to_string(code) + " " + reason +
         "\r\nContent-Type: text/xml\r\nConnection: close\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

}  // namespace

const char* FaultName(Fault fault) {
  static const char* const kNames[] = {
      "pass",  "drop-before-body", "drop-during-body", "500",       "503",  "401",
      "stall", "kill-mid-body",    "kill-after-reply", "cut-reply", "late", "false-success"};
  return kNames[static_cast<int>(fault)];
}

FaultProxy::FaultProxy(int upstream_port, std::function<void()> restart)
    : upstream_port_(upstream_port), restart_(std::move(restart)) {
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  ::listen(listen_fd_, 16);
  socklen_t size = sizeof addr;
  ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &size);
  port_ = ntohs(addr.sin_port);
  thread_ = std::thread([this] { Accept(); });
}

FaultProxy::~FaultProxy() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  ::close(listen_fd_);
}

void FaultProxy::Plan(std::vector<Fault> faults) {
  std::lock_guard<std::mutex> lock(mu_);
  plan_.assign(faults.begin(), faults.end());
}

std::vector<std::string> FaultProxy::Seen() {
  std::lock_guard<std::mutex> lock(mu_);
  return seen_;
}

Fault FaultProxy::Next() {
  std::lock_guard<std::mutex> lock(mu_);
  if (plan_.empty()) return Fault::kPass;
  const Fault fault = plan_.front();
  plan_.pop_front();
  return fault;
}

void FaultProxy::Accept() {
  while (!stopping_) {
    pollfd p{listen_fd_, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    const int client = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    Serve(client);
    ::close(client);
  }
}

// One request per connection: the client opens a new one for its next request.
void FaultProxy::Serve(int client) {
  std::string request;
  size_t head = 0;
  if (!ReceiveHead(client, &request, &head)) return;
  {
    std::lock_guard<std::mutex> lock(mu_);
    seen_.push_back(request.substr(0, request.find(" HTTP/")));
  }
  const Fault fault = Next();
  const size_t body = ContentLength(request.substr(0, head));
  if (fault == Fault::kDropBeforeBody) return;
  if (fault == Fault::kDropDuringBody || fault == Fault::kKillMidBody) {
    ReceiveUntil(client, &request, head + body / 2);
    if (fault == Fault::kKillMidBody) {
      const int server = ConnectTo(upstream_port_);
      if (server >= 0) {
        SendAll(server, request.data(), request.size());
        restart_();
        ::close(server);
      }
    }
    return;
  }
  if (!ReceiveUntil(client, &request, head + body)) return;
  std::string reply;
  switch (fault) {
    case Fault::kStatus500:
      reply = Status(500, "Internal Server Error", "<result>internal error</result>");
      break;
    case Fault::kStatus503:
      reply = Status(503, "Service Unavailable", "<result>the server is busy</result>");
      break;
    case Fault::kStatus401:
      reply = Status(401, "Unauthorized", "<result>authorization required</result>");
      break;
    case Fault::kFalseSuccess:
      reply = Status(500, "Internal Server Error", "<result>success</result>");
      break;
    case Fault::kStall: {
      // Until the client gives up and closes, or well past its time-out.
      const auto until = std::chrono::steady_clock::now() + kStallFor;
      char byte;
      while (!stopping_ && std::chrono::steady_clock::now() < until) {
        pollfd p{client, POLLIN, 0};
        if (::poll(&p, 1, 50) > 0 && ::recv(client, &byte, 1, 0) <= 0) break;
      }
      return;
    }
    default: {
      if (fault == Fault::kLate) std::this_thread::sleep_for(std::chrono::milliseconds(700));
      const int server = ConnectTo(upstream_port_);
      if (server < 0) return;
      if (SendAll(server, request.data(), request.size())) reply = ReceiveReply(server);
      ::close(server);
      if (fault == Fault::kCutReply) reply.resize(reply.size() / 2);
      break;
    }
  }
  SendAll(client, reply.data(), reply.size());
  if (fault == Fault::kKillAfterReply) restart_();
}

}  // namespace qnmuro::test_util
