// The development OA server under load on 127.0.0.1: two clerks saving same-named documents at
// the same moment, many connections trickling their bodies, connections beyond its threads,
// and a flood of header lines. Bounded in time and count; the figures go to the test's output.
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <barrier>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "oaserver/oa_server.h"
#include "platform/http_client.h"
#include "platform/services_posix.h"
#include "support/oa_server_process.h"
#include "support/raw_client.h"
#include "support/transfer_fixture.h"

namespace qnmuro {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using test_util::ReadBytes;
using test_util::WriteBytes;

class OaServerLoadTest : public test::TransferTest {
 protected:
  void Start(OaServerOptions options) {
    options.root = oa_;
    server_ = std::make_unique<OaServer>(options);
    std::string error;
    ASSERT_GT(server_->Start("127.0.0.1", 0, &error), 0) << error;
  }

  // One request with a client of its own; the body, and the status in *status.
  std::string Call(const std::string& method, const std::string& target,
                   const std::string& body = "", const std::string& cookie = "",
                   int* status = nullptr) {
    HttpClientOptions options;
    options.connect_timeout = milliseconds(2000);
    options.stall_timeout = std::chrono::seconds(2);
    const auto client = NewCurlHttpClient(options);
    HttpRequest request;
    request.method = method;
    request.host = "127.0.0.1";
    request.port = server_->port();
    request.target = target;
    request.body = body;
    request.cookie = cookie;
    std::string reply;
    const HttpResponse response = client->Send(request, [&](int, const char* data, size_t size) {
      reply.append(data, size);
      return true;
    });
    EXPECT_TRUE(response.ok()) << response.error_text;
    if (status != nullptr) *status = response.status;
    return reply;
  }

  static bool Succeeded(const std::string& reply) {
    return reply.find("<result>success</result>") != std::string::npos;
  }

  fs::path oa_ = root_ / "oa";
  std::unique_ptr<OaServer> server_;
};

// Both clerks upload "notice.doc" for a document of their own at the same moment, round after
// round, as the add-in does (the body without cookie or credentials, each request on a
// connection of its own). A confirmation may be refused; one that succeeds has stored that
// clerk's own body under that clerk's document.
TEST_F(OaServerLoadTest, TwoClerksSavingSameNamedDocumentsAtOnceNeverGetThemMixed) {
  fs::create_directories(oa_);
  Start({});
  constexpr int kRounds = 100;
  for (const bool sessions_on_both : {false, true}) {
    SCOPED_TRACE(sessions_on_both ? "with the session cookie on both requests" : "as the add-in");
    std::barrier sync(2);
    std::atomic<int> stored{0}, refused{0}, mixed{0};
    auto clerk = [&](int who) {
      const std::string unid = "D" + std::to_string(who) + (sessions_on_both ? "s" : "");
      const std::string cookie = "sid=clerk" + std::to_string(who);
      const std::string confirm = "/oa/doc.nsf/save?OpenAgent&action=upload&unid=" + unid +
                                  "&method=replacecontent&ctlaction=10&lastflag=last&"
                                  "filename=bm90aWNlLmRvYw%3D%3D";  // "notice.doc"
      for (int round = 0; round < kRounds; ++round) {
        const std::string body = "clerk " + std::to_string(who) + " round " + std::to_string(round);
        sync.arrive_and_wait();
        if (!Succeeded(Call("POST", "/upload.muro?filename=notice.doc", body,
                            sessions_on_both ? cookie : ""))) {
          continue;
        }
        if (!Succeeded(Call("POST", confirm, "", cookie))) {
          ++refused;
          continue;
        }
        ++stored;
        if (ReadBytes(oa_ / "documents" / unid / "notice.doc") != body) ++mixed;
      }
    };
    std::thread other(clerk, 2);
    clerk(1);
    other.join();
    std::printf("two clerks x %d rounds (%s): %d stored, %d refused, %d mixed\n", kRounds,
                sessions_on_both ? "sessions" : "add-in", stored.load(), refused.load(),
                mixed.load());
    EXPECT_EQ(mixed, 0);
    EXPECT_EQ(stored + refused, 2 * kRounds);
    if (sessions_on_both) {
      EXPECT_EQ(stored, 2 * kRounds);
    }
  }
}

// Many clients send an upload's head and then its body a byte at a time: others are answered
// at once meanwhile, and the trickling ones are cut off once they fall behind the rate floor.
TEST_F(OaServerLoadTest, TricklingBodiesNeitherFreezeTheServerNorStayForEver) {
  WriteBytes(oa_ / "files" / "U1" / "a.doc", "attachment");
  OaServerOptions options;
  options.head_deadline = milliseconds(1000);
  Start(options);
  constexpr int kTricklers = 150;
  const Clock::time_point opened = Clock::now();
  std::vector<int> fds;
  const std::string head =
      "POST /upload.muro?filename=slow.doc HTTP/1.1\r\nHost: x\r\nContent-Length: 100000\r\n\r\n";
  for (int i = 0; i < kTricklers; ++i) {
    fds.push_back(test_util::ConnectLoopback(server_->port()));
    ASSERT_GE(fds.back(), 0);
    ASSERT_TRUE(test_util::SendAll(fds.back(), head + "x"));
  }
  std::atomic<bool> stop{false};
  std::thread trickle([&] {
    while (!stop) {
      for (int fd : fds) ::send(fd, "x", 1, MSG_NOSIGNAL | MSG_DONTWAIT);
      std::this_thread::sleep_for(milliseconds(200));
    }
  });
  Clock::duration slowest{};
  for (int i = 0; i < 5; ++i) {
    const auto start = Clock::now();
    EXPECT_EQ(Call("GET", "/db/0/U1/$file/a.doc"), "attachment");
    slowest = std::max(slowest, Clock::now() - start);
    std::this_thread::sleep_for(milliseconds(100));
  }
  EXPECT_LT(slowest, milliseconds(1000));
  bool all_closed = true;
  for (int fd : fds)
    all_closed = test_util::ClosedBy(fd, opened + milliseconds(4000)) && all_closed;
  const auto cut_off = Clock::now() - opened;
  stop = true;
  trickle.join();
  for (int fd : fds) ::close(fd);
  std::printf("%d trickling bodies: slowest other request %lld ms, all cut off after %lld ms\n",
              kTricklers,
              static_cast<long long>(std::chrono::duration_cast<milliseconds>(slowest).count()),
              static_cast<long long>(std::chrono::duration_cast<milliseconds>(cut_off).count()));
  EXPECT_TRUE(all_closed);
  EXPECT_FALSE(fs::exists(oa_ / "incoming" / "slow.doc"));
}

// Beyond its threads and the connections that may wait for one, a connection is answered 503
// at once, however many idle ones were refused before it; a waiting connection's head
// deadline runs from its accept, so idle ones free the
// server one deadline after they came, not one deadline after a thread took them.
TEST_F(OaServerLoadTest, ConnectionsBeyondTheWaitingOnesAreRefusedAndIdleOnesGoInTime) {
  WriteBytes(oa_ / "files" / "U1" / "a.doc", "attachment");
  OaServerOptions options;
  options.head_deadline = milliseconds(1000);
  options.threads = 2;
  options.waiting = 2;
  Start(options);
  const Clock::time_point opened = Clock::now();
  std::vector<int> idle;
  // Two take the threads, two wait, and sixty more are refused, none of them saying a word.
  for (int i = 0; i < 64; ++i) idle.push_back(test_util::ConnectLoopback(server_->port()));
  std::this_thread::sleep_for(milliseconds(100));
  int status = 0;
  const std::string busy = Call("GET", "/db/0/U1/$file/a.doc", "", "", &status);
  EXPECT_EQ(status, 503);
  EXPECT_NE(busy.find("<result>"), std::string::npos);
  EXPECT_LT(Clock::now() - opened, milliseconds(1000));
  std::this_thread::sleep_for(milliseconds(1200) - (Clock::now() - opened));
  EXPECT_EQ(Call("GET", "/db/0/U1/$file/a.doc", "", "", &status), "attachment");
  EXPECT_EQ(status, 200);
  EXPECT_LT(Clock::now() - opened, milliseconds(1800));
  for (int fd : idle) ::close(fd);
}

// A field of /proc/PID/status in KiB.
long ProcStatusKib(pid_t pid, const std::string& field) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(field + ":", 0) == 0) return std::atol(line.c_str() + field.size() + 1);
  }
  return -1;
}

// Connections that send header lines without end: each is answered 431 once its head passes
// the limits, and the server's memory stays where it was.
TEST_F(OaServerLoadTest, AHeaderFloodLeavesTheServersMemoryAlone) {
  fs::create_directories(oa_);
  test_util::OaServerProcess server(oa_);
  std::string error;
  ASSERT_TRUE(server.Start(0, &error)) << error;
  const long idle = ProcStatusKib(server.pid(), "VmRSS");
  ASSERT_GT(idle, 0);
  std::string block;
  for (int i = 0; i < 4096; ++i) block += "X-Flood-" + std::to_string(i) + ": 1\r\n";
  std::vector<std::thread> floods;
  std::atomic<int> answered{0};
  for (int c = 0; c < 8; ++c) {
    floods.emplace_back([&] {
      const int fd = test_util::ConnectLoopback(server.port());
      if (fd < 0) return;
      test_util::SendAll(fd, "GET /x HTTP/1.1\r\nHost: x\r\n");
      // Up to 2 million lines (60 MB), until the server stops taking them.
      for (int i = 0; i < 500 && test_util::SendAll(fd, block); ++i) {
      }
      std::string reply;
      test_util::ClosedBy(fd, Clock::now() + std::chrono::seconds(5), &reply);
      if (reply.rfind("HTTP/1.1 431", 0) == 0) ++answered;
      ::close(fd);
    });
  }
  for (std::thread& t : floods) t.join();
  const long peak = ProcStatusKib(server.pid(), "VmHWM");
  std::printf("header flood: server idle %ld KiB, peak %ld KiB, %d of 8 answered 431\n", idle, peak,
              answered.load());
  EXPECT_LT(peak - idle, 64 * 1024);
  EXPECT_GE(answered, 1);
}

}  // namespace
}  // namespace qnmuro
