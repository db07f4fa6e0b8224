// The libcurl client when the caller's sink throws (the transfer ends at once, its connection
// is released, the exception reaches the caller of Send() as it was thrown, and the client
// goes on serving requests), and its rate floor's defaults. What every client does is in
// http_client_conformance_test.cc.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <iterator>
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

// The defaults: 1 KiB/s over 60 s.
TEST(CurlHttpClientTest, TheRateFloorDefaultsToOneKibPerSecondOverAMinute) {
  const HttpClientOptions options;
  EXPECT_EQ(options.slow_window, std::chrono::seconds(60));
  EXPECT_EQ(options.slow_rate, 1024u);
}

}  // namespace
}  // namespace qnmuro
