// Transfers of 4 GiB and more through the Windows libraries, whose own counts are 32 bits: an
// upload announces its whole length, and urlmon's progress counts on past the wrap.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <thread>

#include "platform/http_client.h"
#include "platform/services_win.h"
#include "platform/urlmon_download_win.h"
#include "support/temp_dir.h"

namespace qnmuro {
namespace {

constexpr uint64_t k4GiB = uint64_t{1} << 32;

// Takes one connection on 127.0.0.1, keeps the request's head, answers 413 and closes the
// connection without reading the body.
class HeadOnlyServer {
 public:
  HeadOnlyServer() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof addr;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(listener_, 1);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] {
      const SOCKET peer = ::accept(listener_, nullptr, nullptr);
      if (peer == INVALID_SOCKET) return;
      char chunk[4096];
      while (head_.find("\r\n\r\n") == std::string::npos) {
        const int n = ::recv(peer, chunk, sizeof chunk, 0);
        if (n <= 0) break;
        head_.append(chunk, static_cast<size_t>(n));
      }
      const size_t end = head_.find("\r\n\r\n");
      if (end != std::string::npos) head_.resize(end + 2);
      const std::string reply = "HTTP/1.1 413 Too Large\r\nContent-Length: 0\r\n\r\n";
      ::send(peer, reply.data(), static_cast<int>(reply.size()), 0);
      ::closesocket(peer);
    });
  }
  ~HeadOnlyServer() {
    ::closesocket(listener_);
    if (thread_.joinable()) thread_.join();
  }

  int port() const { return port_; }
  // Only once the request has been sent.
  const std::string& head() {
    if (thread_.joinable()) thread_.join();
    return head_;
  }

 private:
  SOCKET listener_;
  int port_ = 0;
  std::string head_;
  std::thread thread_;
};

TEST(LargeTransferTest, AnUploadOfFourGibibytesAnnouncesItsWholeLength) {
  // A sparse file: its length is all that counts, the server stops at the head.
  test_util::TempDir dir;
  std::FILE* body = _wfopen((dir.path() / L"large.doc").c_str(), L"w+b");
  ASSERT_NE(body, nullptr);
  const uint64_t size = k4GiB + 10;
  ASSERT_EQ(_fseeki64(body, static_cast<long long>(size - 1), SEEK_SET), 0);
  ASSERT_EQ(std::fputc('x', body), 'x');
  ASSERT_EQ(_fseeki64(body, 0, SEEK_SET), 0);

  HeadOnlyServer server;
  HttpRequest request;
  request.host = "127.0.0.1";
  request.port = server.port();
  request.target = "/upload.muro?filename=large.doc";
  request.body_file = body;
  request.body_size = size;
  const auto http = NewWinInetHttpClient();
  http->Send(
      request, [](int, const char*, size_t) { return true; }, 0);
  std::fclose(body);
  const std::string& head = server.head();
  EXPECT_NE(head.find("\r\nContent-Length: 4294967306\r\n"), std::string::npos) << head;
}

TEST(LargeTransferTest, DownloadProgressCountsOnPastTheWrap) {
  const struct {
    uint64_t so_far;
    uint32_t reported;
    uint64_t counted;
  } cases[] = {
      {0, 4096, 4096},
      {k4GiB - 100, 0xFFFFFFF0u, k4GiB - 16},
      {k4GiB - 100, 50, k4GiB + 50},      // wrapped
      {3 * k4GiB + 7, 9, 3 * k4GiB + 9},  // on past three wraps
      {3 * k4GiB - 1, 0, 3 * k4GiB},      // the third wrap, exactly
      {5000, 300, 300},                   // started over after a challenge
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ProgressPast32Bits(c.so_far, c.reported), c.counted)
        << c.so_far << " then " << c.reported;
  }
}

}  // namespace
}  // namespace qnmuro
