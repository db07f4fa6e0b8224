// The development OA server's request handling: any bytes sent over a connection on
// 127.0.0.1, as a client would send them. The first byte picks the server (open, or with users
// and digest credentials); the server must answer or close, never hang, crash or write
// outside its root.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include "fuzz/fuzz_support.h"
#include "oaserver/oa_server.h"

namespace {

using namespace qnmuro;
namespace fs = std::filesystem;

struct Servers {
  Servers() {
    root = fuzz::ScratchDir() / "oa";
    fs::create_directories(root / "files" / "U1");
    fuzz::WriteScratch("oa/files/U1/a.doc", "attachment");
    fuzz::WriteScratch("oa/index.html", "<html/>");
    open = Start({});
    guarded = Start({{"zhangsan", "secret", "SessionID=abc"}});
  }

  std::unique_ptr<OaServer> Start(std::vector<OaUser> users) {
    OaServerOptions options;
    options.root = root;
    options.users = std::move(users);
    options.auth = OaAuthScheme::kDigest;
    options.head_deadline = std::chrono::milliseconds(2000);
    auto server = std::make_unique<OaServer>(options);
    std::string error;
    if (server->Start("127.0.0.1", 0, &error) <= 0) __builtin_trap();
    return server;
  }

  // What uploads leave behind grows with every input; it is cleared now and then.
  void Tidy() {
    if (++inputs % 1000 != 0) return;
    std::error_code ec;
    fs::remove_all(root / "incoming", ec);
    fs::remove_all(root / "documents", ec);
  }

  fs::path root;
  std::unique_ptr<OaServer> open;
  std::unique_ptr<OaServer> guarded;
  long inputs = 0;
};

// Sends the bytes, ends the sending side and reads until the server closes. False when the
// server neither answered nor closed in time.
bool Exchange(int port, std::string_view bytes) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) __builtin_trap();
  timeval timeout{10, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) __builtin_trap();
  // The server may close before reading everything (a bad head): a refused write is fine.
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;  // libFuzzer's own timer signal
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  shutdown(fd, SHUT_WR);
  bool closed = false;
  char buffer[4096];
  for (;;) {
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n == 0 || (n < 0 && errno == ECONNRESET)) {
      closed = true;
      break;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
  }
  close(fd);
  return closed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static Servers* servers = new Servers();  // serve for the whole run
  const OaServer& server = (data[0] & 1) ? *servers->guarded : *servers->open;
  const std::string_view request(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (!Exchange(server.port(), request)) __builtin_trap();
  // Nothing a request names is ever created outside the root.
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(fuzz::ScratchDir(), ec)) {
    const std::string name = entry.path().filename().string();
    if (name != "oa" && name != "comlog.txt" && name != "bakcomlog.txt") __builtin_trap();
  }
  servers->Tidy();
  return 0;
}
