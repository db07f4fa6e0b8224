// The libcurl client when the caller's sink throws (the transfer ends at once, its connection
// is released, the exception reaches the caller of Send() as it was thrown, and the client
// goes on serving requests), when a peer trickles, and when a header value would carry a
// control character.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <iterator>
#include <ostream>
#include <string>

#include "base/error.h"
#include "platform/http_client.h"
#include "platform/services_posix.h"
#include "transfer/raw_http_server.h"

namespace qnmuro {
namespace {

using test::RawHttpServer;
using test::RawReply;
using test::RawRequest;

size_t OpenDescriptors() {
  const std::filesystem::directory_iterator fds("/proc/self/fd");
  return static_cast<size_t>(std::distance(begin(fds), end(fds)));
}

// Not derived from std::exception: it must come back as its own type.
struct SinkGaveUp {
  int chunk;
};

TEST(CurlHttpClientTest, WhatTheSinkThrowsReachesTheCallerAndTheClientGoesOn) {
  const std::string big(100000, 'x');
  const size_t descriptors = OpenDescriptors();
  RawHttpServer server([&](const RawRequest& r, int) {
    return RawHttpServer::Reply(200, r.target() == "/big" ? big : "abc");
  });
  HttpClientOptions options;
  options.connect_timeout = std::chrono::milliseconds(2000);
  options.stall_timeout = std::chrono::seconds(1);
  const auto client = NewCurlHttpClient(options);
  struct Case {
    const char* path;
    int throw_at;   // the chunk whose delivery throws
    bool as_error;  // the add-in's Error, else a type of the caller's own
  };
  const Case cases[] = {{"/small", 0, true}, {"/big", 0, false}, {"/big", 20, true}};
  size_t sent = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path + std::to_string(c.throw_at));
    HttpRequest request;
    request.method = "GET";
    request.host = "127.0.0.1";
    request.port = server.port();
    request.target = c.path;
    int chunks = 0;
    auto sink = [&](int, const char*, size_t) {
      if (chunks++ < c.throw_at) return true;
      if (c.as_error) throw Error(kErrCantPerform, u"sink full");
      throw SinkGaveUp{chunks};
    };
    try {
      client->Send(request, sink, 1000);
      ADD_FAILURE() << "Send returned";
    } catch (const Error& e) {
      EXPECT_TRUE(c.as_error);
      EXPECT_EQ(e.number(), kErrCantPerform);
      EXPECT_EQ(e.description(), u"sink full");
    } catch (const SinkGaveUp& e) {
      EXPECT_FALSE(c.as_error);
      EXPECT_EQ(e.chunk, c.throw_at + 1);
    }
    EXPECT_EQ(chunks, c.throw_at + 1);            // nothing more was delivered after the throw
    EXPECT_EQ(server.requests().size(), ++sent);  // and nothing was sent again

    std::string body;
    const HttpResponse next = client->Send(request, [&](int, const char* data, size_t size) {
      body.append(data, size);
      return true;
    });
    ++sent;
    EXPECT_TRUE(next.ok()) << next.error_text;
    EXPECT_EQ(body, c.path == std::string("/big") ? big : "abc");
  }
  server.Stop();
  EXPECT_EQ(OpenDescriptors(), descriptors);  // no connection of an aborted transfer stays open
}

// A peer that trickles a few bytes at a time keeps the stall time-out away for ever; the rate
// check ends it once its average over the window stays under the floor, while a slow but
// real line (steady, or in bursts) still finishes. Window 2 s, floor 1 KiB/s here.
struct SlowCase {
  const char* name;  // the test's name
  RawReply reply;
  bool finishes;
};

void PrintTo(const SlowCase& c, std::ostream* os) {
  *os << c.name;
}

// `head` at once, then `trickle` in pieces of `piece` bytes every `every_ms`.
RawReply Paced(std::string head, std::string trickle, size_t piece, int every_ms) {
  RawReply reply{std::move(head)};
  reply.trickle = std::move(trickle);
  reply.trickle_piece = piece;
  reply.trickle_every = std::chrono::milliseconds(every_ms);
  return reply;
}

std::string Head(size_t length) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(length) + "\r\n\r\n";
}

class CurlRateTest : public testing::TestWithParam<SlowCase> {};

TEST_P(CurlRateTest, TooSlowOverTheWindowFailsAndASlowRealLineFinishes) {
  const SlowCase& c = GetParam();
  HttpClientOptions options;
  options.connect_timeout = std::chrono::milliseconds(2000);
  options.stall_timeout = std::chrono::seconds(5);
  options.slow_window = std::chrono::seconds(2);
  options.slow_rate = 1024;
  const auto client = NewCurlHttpClient(options);
  RawHttpServer server([&](const RawRequest&, int) { return c.reply; });
  HttpRequest request;
  request.method = "GET";
  request.host = "127.0.0.1";
  request.port = server.port();
  request.target = "/slow";
  size_t received = 0;
  const auto start = std::chrono::steady_clock::now();
  const HttpResponse response = client->Send(request, [&](int, const char*, size_t size) {
    received += size;
    return true;
  });
  const auto took = std::chrono::steady_clock::now() - start;
  server.Stop();
  EXPECT_EQ(response.ok(), c.finishes) << response.error_text;
  EXPECT_EQ(response.too_slow, !c.finishes) << response.error_text;
  if (c.finishes) {
    EXPECT_EQ(received, c.reply.trickle.size());
  } else {
    EXPECT_LT(took, std::chrono::seconds(6));  // the window, not the line, ended it
    EXPECT_NE(response.error_text.find("1024 bytes per second for 2 seconds"), std::string::npos)
        << response.error_text;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CurlRateTest,
    testing::Values(
        // 10 bytes every 100 ms: 100 bytes a second, for 12 s (then the line goes quiet).
        SlowCase{"TrickledBody", Paced(Head(100000), std::string(1200, 'x'), 10, 100), false},
        SlowCase{"TrickledHeaders",
                 Paced("HTTP/1.1 200 OK\r\n", "X-Pad: " + std::string(1200, 'p'), 10, 100), false},
        // 1 KiB every 200 ms: 5 KiB a second, for 2.4 s.
        SlowCase{"Steady5KibPerSecond",
                 Paced(Head(12 * 1024), std::string(12 * 1024, 's'), 1024, 200), true},
        // 4 KiB every 800 ms, nothing in between, for 3.2 s.
        SlowCase{"Bursts", Paced(Head(4 * 4096), std::string(4 * 4096, 'b'), 4096, 800), true}),
    [](const testing::TestParamInfo<SlowCase>& info) { return std::string(info.param.name); });

// The defaults: 1 KiB/s over 60 s.
TEST(CurlHttpClientTest, TheRateFloorDefaultsToOneKibPerSecondOverAMinute) {
  const HttpClientOptions options;
  EXPECT_EQ(options.slow_window, std::chrono::seconds(60));
  EXPECT_EQ(options.slow_rate, 1024u);
}

// CR LF in a header value would end the line and start one of the sender's choosing; any
// other control has no place there either. Such a request is refused before it is sent.
TEST(CurlHttpClientTest, ARequestWithAControlCharacterInAHeaderLineIsNeverSent) {
  struct Case {
    const char* name;
    std::function<void(HttpRequest*)> spoil;
  };
  const Case cases[] = {
      {"cookie with CR LF", [](HttpRequest* r) { r->cookie = "a=b\r\nX-Evil: 1"; }},
      {"cookie with LF", [](HttpRequest* r) { r->cookie = "a=b\nX-Evil: 1"; }},
      {"cookie with NUL", [](HttpRequest* r) { r->cookie = std::string("a=b\0c", 5); }},
      {"header value with CR", [](HttpRequest* r) { r->headers.emplace_back("X-A", "1\rX: 2"); }},
      {"header name with a colon", [](HttpRequest* r) { r->headers.emplace_back("X-A: 1", "2"); }},
      {"user agent with LF", [](HttpRequest* r) { r->user_agent = "QNSoft\nX-Evil: 1"; }},
      {"user with CR LF",
       [](HttpRequest* r) {
         r->user = "zhang\r\nX-Evil: 1";
         r->password = "secret";
       }},
      {"cookie with DEL", [](HttpRequest* r) { r->cookie = "a=b\x7F"; }},
      {"cookie with tab", [](HttpRequest* r) { r->cookie = "a=\tb"; }},
  };
  RawHttpServer server([](const RawRequest& r, int) {
    if (!r.has_header("Authorization") && r.target() == "/auth") {
      return RawHttpServer::Reply(401, "", {"WWW-Authenticate: Digest realm=\"oa\", nonce=\"n\""});
    }
    return RawHttpServer::Reply(200, "ok");
  });
  const auto client = NewCurlHttpClient();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HttpRequest request;
    request.host = "127.0.0.1";
    request.port = server.port();
    request.target = "/auth";
    request.user_agent = "QNSoft";
    c.spoil(&request);
    const HttpResponse response = client->Send(request, {});
    EXPECT_EQ(response.failed, HttpStage::kConnect);
    EXPECT_NE(response.error_text.find("control character"), std::string::npos);
  }
  EXPECT_TRUE(server.requests().empty());
  // GBK bytes are no controls: such values go out as they are.
  HttpRequest clean;
  clean.host = "127.0.0.1";
  clean.port = server.port();
  clean.target = "/clean";
  clean.cookie = "SessionID=\xD5\xC5\xC8\xFD";
  clean.headers.emplace_back("Content-Type", "multipart/form-data");
  EXPECT_TRUE(client->Send(clean, {}).ok());
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0].header("Cookie"), "SessionID=\xD5\xC5\xC8\xFD");
}

}  // namespace
}  // namespace qnmuro
