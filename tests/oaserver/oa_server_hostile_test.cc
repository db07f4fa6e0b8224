// The development OA server against a planted file system and slow clients: links where it
// writes uploads and confirmations, leftovers of killed uploads, and connections that trickle
// their request heads.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

#include "oaserver/oa_server.h"
#include "platform/http_client.h"
#include "platform/services_posix.h"
#include "support/raw_client.h"
#include "support/transfer_fixture.h"
#include "transfer/test_certs.h"

namespace qnmuro {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using test_util::ClosedBy;
using test_util::ReadBytes;
using test_util::WriteBytes;

class OaServerHostileTest : public test::TransferTest {
 protected:
  OaServerHostileTest() {
    WriteBytes(oa_ / "files" / "U1" / "a.doc", "attachment");
    WriteBytes(root_ / "outside" / "victim.txt", "precious");
  }

  void Start(std::chrono::milliseconds head_deadline = std::chrono::milliseconds(10000),
             const test::PemPair* cert = nullptr) {
    OaServerOptions options;
    options.root = oa_;
    options.head_deadline = head_deadline;
    if (cert != nullptr) {
      options.cert_file = cert->cert;
      options.key_file = cert->key;
    }
    server_ = std::make_unique<OaServer>(options);
    std::string error;
    ASSERT_GT(server_->Start("127.0.0.1", 0, &error), 0) << error;
  }

  std::string Post(const std::string& target, const std::string& body = "") {
    HttpRequest request;
    request.method = "POST";
    request.host = "127.0.0.1";
    request.port = server_->port();
    request.target = target;
    request.body = body;
    std::string reply;
    const HttpResponse response = http_->Send(request, [&](int, const char* data, size_t size) {
      reply.append(data, size);
      return true;
    });
    EXPECT_TRUE(response.ok()) << response.error_text;
    return reply;
  }

  // A raw connection to the server.
  int Connect() {
    const int fd = test_util::ConnectLoopback(server_->port());
    EXPECT_GE(fd, 0);
    return fd;
  }

  fs::path oa_ = root_ / "oa";
  std::unique_ptr<OaServer> server_;
};

const char kConfirm[] =
    "/db/save?OpenAgent&action=upload&unid=U9&method=replacecontent&filename=YS5kb2M%3D";

TEST_F(OaServerHostileTest, UploadsNeverWriteThroughPlantedLinks) {
  Start();
  // Links under every name the server used to give an upload of a.doc on its way in.
  fs::create_directories(oa_ / "incoming");
  for (int i = 1; i <= 5; ++i) {
    const std::string n = std::to_string(i);
    fs::create_symlink(root_ / "outside" / "victim.txt", oa_ / "incoming" / (".a.doc.part" + n));
    fs::create_symlink(root_ / "outside" / ("new" + n), oa_ / "incoming" / (".b.doc.part" + n));
  }
  EXPECT_NE(Post("/upload.muro?filename=a.doc", "body a").find("success"), std::string::npos);
  EXPECT_NE(Post("/upload.muro?filename=b.doc", "body b").find("success"), std::string::npos);
  EXPECT_EQ(ReadBytes(oa_ / "incoming" / "a.doc"), "body a");
  EXPECT_EQ(ReadBytes(oa_ / "incoming" / "b.doc"), "body b");
  EXPECT_EQ(ReadBytes(root_ / "outside" / "victim.txt"), "precious");
  for (int i = 1; i <= 5; ++i)
    EXPECT_FALSE(fs::exists(root_ / "outside" / ("new" + std::to_string(i))));
}

TEST_F(OaServerHostileTest, AConfirmationCreatesNothingOutsideTheRoot) {
  Start();
  EXPECT_NE(Post("/upload.muro?filename=a.doc", "body").find("success"), std::string::npos);
  fs::create_directories(root_ / "outside" / "docs");
  fs::create_directory_symlink(root_ / "outside" / "docs", oa_ / "documents");
  const std::string reply = Post(kConfirm);
  EXPECT_EQ(reply.find("success"), std::string::npos);
  EXPECT_NE(reply.find("<result>"), std::string::npos);
  EXPECT_FALSE(fs::exists(root_ / "outside" / "docs" / "U9"));
  EXPECT_EQ(ReadBytes(oa_ / "incoming" / "a.doc"), "body");  // still there to confirm

  // With documents/ a real folder again, the same confirmation goes through.
  fs::remove(oa_ / "documents");
  EXPECT_NE(Post(kConfirm).find("success"), std::string::npos);
  EXPECT_EQ(ReadBytes(oa_ / "documents" / "U9" / "a.doc"), "body");
}

TEST_F(OaServerHostileTest, StartingRemovesTheLeftoversOfKilledUploads) {
  const fs::path in = oa_ / "incoming";
  WriteBytes(in / ".upload-0123456789abcdef.part", "half");  // this server's, killed
  WriteBytes(in / ".a.doc.part3", "half");                   // an earlier version's
  WriteBytes(in / "a.doc", "uploaded, not yet confirmed");   // kept
  WriteBytes(in / ".notes.part", "an upload's own name");    // kept: not a temporary name
  WriteBytes(in / ".upload-busy.part", "being received");    // kept: its receiver holds it
  fs::create_symlink(root_ / "outside" / "victim.txt", in / ".upload-link.part");
  const int busy = ::open((in / ".upload-busy.part").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(busy, 0);
  ASSERT_EQ(::flock(busy, LOCK_EX), 0);
  Start();
  ::close(busy);
  auto names = [&] {
    std::vector<std::string> out;
    for (const auto& entry : fs::directory_iterator(in)) out.push_back(entry.path().filename());
    std::sort(out.begin(), out.end());
    return out;
  };
  const std::vector<std::string> kept = {".notes.part", ".upload-busy.part", "a.doc"};
  EXPECT_EQ(names(), kept);
  EXPECT_EQ(ReadBytes(root_ / "outside" / "victim.txt"), "precious");
  // An upload broken off while the server runs leaves nothing behind either.
  const int fd = Connect();
  const std::string head =
      "POST /upload.muro?filename=c.doc HTTP/1.1\r\nHost: x\r\nContent-Length: 100000\r\n\r\n";
  ASSERT_EQ(::send(fd, head.data(), head.size(), MSG_NOSIGNAL), static_cast<ssize_t>(head.size()));
  ASSERT_EQ(::send(fd, "part", 4, MSG_NOSIGNAL), 4);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(names().size(), kept.size() + 1);  // its temporary file, while it comes in
  ::close(fd);
  for (int i = 0; i < 50 && names() != kept; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(names(), kept);
}

// Clients that send one header line at a time, slower than the head deadline allows.
class SlowClients {
 public:
  SlowClients(int count, const std::function<int()>& connect) {
    for (int i = 0; i < count; ++i) fds_.push_back(connect());
    for (int fd : fds_) {
      threads_.emplace_back([this, fd] {
        std::string line = "GET /db/0/U1/$file/a.doc HTTP/1.1\r\n";
        for (int n = 0; !stop_ && n < 100; ++n) {
          if (::send(fd, line.data(), line.size(), MSG_NOSIGNAL) < 0) return;
          line = "X-Slow-" + std::to_string(n) + ": 1\r\n";
          std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
      });
    }
  }
  ~SlowClients() {
    stop_ = true;
    for (std::thread& t : threads_) t.join();
    for (int fd : fds_) ::close(fd);
  }
  // Waits until the server has closed every connection (reading whatever it answered);
  // false when one is still open at `until`.
  bool AllClosedBy(Clock::time_point until) {
    for (int fd : fds_) {
      if (!ClosedBy(fd, until)) return false;
    }
    return true;
  }

 private:
  std::vector<int> fds_;
  std::vector<std::thread> threads_;
  std::atomic<bool> stop_{false};
};

TEST_F(OaServerHostileTest, SlowClientsNeitherFreezeTheServerNorStayForEver) {
  Start(std::chrono::milliseconds(1500));
  const Clock::time_point opened = Clock::now();
  SlowClients slow(12, [this] { return Connect(); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  // Others are answered at once while the slow ones are still sending.
  for (int i = 0; i < 3; ++i) {
    const auto start = Clock::now();
    HttpRequest request;
    request.method = "GET";
    request.host = "127.0.0.1";
    request.port = server_->port();
    request.target = "/db/0/U1/$file/a.doc";
    std::string body;
    const HttpResponse response = http_->Send(request, [&](int, const char* data, size_t size) {
      body.append(data, size);
      return true;
    });
    EXPECT_TRUE(response.ok()) << response.error_text;
    EXPECT_EQ(body, "attachment");
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(800));
  }
  // The slow ones are cut off once their heads are overdue.
  EXPECT_TRUE(slow.AllClosedBy(opened + std::chrono::milliseconds(3500)));
  EXPECT_GE(Clock::now() - opened, std::chrono::milliseconds(1400));
}

TEST_F(OaServerHostileTest, AStalledHandshakeIsCutOffToo) {
  const fs::path certs = root_ / "certs";
  fs::create_directories(certs);
  const test::PemPair ca = test::MakeCa(certs, "TestCA");
  const test::PemPair cert = test::MakeServerCert(certs, "server", ca, "127.0.0.1", -1, 30);
  Start(std::chrono::milliseconds(1000), &cert);
  const Clock::time_point opened = Clock::now();
  std::vector<int> silent;
  for (int i = 0; i < 10; ++i) {
    silent.push_back(Connect());
    ASSERT_EQ(::send(silent.back(), "\x16\x03", 2, MSG_NOSIGNAL), 2);  // a handshake begun
  }
  HttpClientOptions options;
  options.ca_bundle = ca.cert;
  options.connect_timeout = std::chrono::milliseconds(2000);
  options.stall_timeout = std::chrono::seconds(1);
  const auto client = NewCurlHttpClient(options);
  HttpRequest request;
  request.secure = true;
  request.host = "127.0.0.1";
  request.port = server_->port();
  request.target = "/db/0/U1/$file/a.doc";
  std::string body;
  const HttpResponse response = client->Send(request, [&](int, const char* data, size_t size) {
    body.append(data, size);
    return true;
  });
  EXPECT_TRUE(response.ok()) << response.error_text;
  EXPECT_EQ(body, "attachment");
  for (int fd : silent) {
    EXPECT_TRUE(ClosedBy(fd, opened + std::chrono::milliseconds(3000)));
    ::close(fd);
  }
  EXPECT_GE(Clock::now() - opened, std::chrono::milliseconds(900));
}

TEST_F(OaServerHostileTest, StoppingDoesNotWaitForSlowOrIdleClients) {
  Start();
  const int idle = Connect();  // connected, sends nothing
  SlowClients slow(3, [this] { return Connect(); });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const auto start = Clock::now();
  server_->Stop();
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1500));
  ::close(idle);
}

// Sends `request` on a connection of its own, ends the sending side and returns all the server
// answers before it closes.
std::string Exchange(int fd, const std::string& request) {
  std::string reply;
  EXPECT_TRUE(test_util::SendAll(fd, request));
  ::shutdown(fd, SHUT_WR);
  EXPECT_TRUE(ClosedBy(fd, Clock::now() + std::chrono::seconds(5), &reply));
  ::close(fd);
  return reply;
}

TEST_F(OaServerHostileTest, OnlyAWholeBodyIsEverConfirmable) {
  Start();
  const std::string upload = "POST /upload.muro?filename=a.doc HTTP/1.1\r\nHost: x\r\n";
  const struct {
    const char* name;
    std::string request;
    bool whole;
  } cases[] = {
      {"read to the connection's end", upload + "\r\nhalf a bo", false},
      {"chunks that break off", upload + "Transfer-Encoding: chunked\r\n\r\n5\r\nhalf aXX", false},
      {"chunks without the last one", upload + "Transfer-Encoding: chunked\r\n\r\n4\r\nhalf\r\n",
       false},
      {"a length not reached", upload + "Content-Length: 100\r\n\r\nhalf", false},
      {"whole chunks",
       upload + "Transfer-Encoding: chunked\r\n\r\n4\r\nwhol\r\n1\r\ne\r\n0\r\n\r\n", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string reply = Exchange(Connect(), c.request);
    EXPECT_EQ(reply.find("<result>success</result>") != std::string::npos, c.whole) << reply;
    const std::string confirmed = Post(kConfirm);
    EXPECT_EQ(confirmed.find("<result>success</result>") != std::string::npos, c.whole)
        << confirmed;
    if (c.whole) {
      EXPECT_EQ(ReadBytes(oa_ / "documents" / "U9" / "a.doc"), "whole");
    }
    EXPECT_FALSE(fs::exists(oa_ / "incoming" / "a.doc"));
  }
}

TEST_F(OaServerHostileTest, AHeadBeyondItsLimitsIsAnswered431) {
  Start();
  auto head = [](size_t lines, size_t line_size) {
    std::string h = "GET /db/0/U1/$file/a.doc HTTP/1.1\r\nHost: x\r\nConnection: close\r\n";
    for (size_t i = 0; i < lines; ++i) {
      h += "X-" + std::to_string(i) + ": " + std::string(line_size, 'v') + "\r\n";
    }
    return h + "\r\n";
  };
  const struct {
    const char* name;
    std::string request;
    const char* status;
  } cases[] = {
      {"98 more lines", head(98, 10), "HTTP/1.1 200"},
      {"99 more lines", head(99, 10), "HTTP/1.1 431"},
      {"ten lines of 8000 bytes", head(10, 8000), "HTTP/1.1 431"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string reply = Exchange(Connect(), c.request);
    EXPECT_EQ(reply.rfind(c.status, 0), 0u) << reply.substr(0, 200);
  }
}

}  // namespace
}  // namespace qnmuro
