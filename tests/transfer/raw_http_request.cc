// The parts of the protocol tests' server that are the same on every platform: reading
// requests off a connection, recording them and writing the scripted replies.
#include <strings.h>

#include <cstdlib>
#include <optional>

#include "transfer/raw_http_server.h"
#include "transfer/raw_socket.h"

namespace qnmuro::test {

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
      const long n = SocketReceive(fd, chunk, sizeof chunk);
      if (n <= 0) return;
      buffer.append(chunk, static_cast<size_t>(n));
    }
    RawRequest request;
    request.head = buffer.substr(0, head_end + 4);
    buffer.erase(0, head_end + 4);
    const std::string length = request.header("Content-Length");
    const size_t body_size = length.empty() ? 0 : std::strtoull(length.c_str(), nullptr, 10);
    while (buffer.size() < body_size) {
      const long n = SocketReceive(fd, chunk, sizeof chunk);
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
    if (!SocketSendAll(fd, reply.bytes) || !Trickle(fd, reply) || reply.close) {
      SocketShutdown(fd);
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
    if (!SocketSendAll(fd, reply.trickle.substr(off, piece))) return false;
  }
  return true;
}

}  // namespace qnmuro::test
