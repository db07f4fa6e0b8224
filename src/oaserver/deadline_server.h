// The HTTP server under the development OA server: cpp-httplib's request handling (routing,
// handlers, responses), with the connections served here so that slow or hostile clients
// cannot hold the server up or blow up its memory:
//   - each connection gets a thread of its own from a pool that grows on demand up to
//     `threads`; at most `waiting` accepted connections wait for a thread, and one more is
//     answered 503 at once;
//   - a request's head (request line and headers, and for HTTPS the handshake before the
//     first one) must arrive within `head_deadline`, counted from the connection's accept for
//     the first request and from the first byte for later ones; a client that trickles it is
//     cut off;
//   - a head has at most kMaxHeadLines lines after the request line and kMaxHeadBytes bytes;
//     a longer one is answered 431 and the connection closed;
//   - a body must keep coming at `min_body_rate` bytes a second on average once
//     `head_deadline` has passed since its head, or the read fails (the request broke off);
//   - waiting for a head, or idly for the next request on a kept-alive connection, ends as
//     soon as the server stops.
// Private to src/oaserver: nothing else includes httplib.
#ifndef QNMURO_OASERVER_DEADLINE_SERVER_H_
#define QNMURO_OASERVER_DEADLINE_SERVER_H_

#include <httplib.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace qnmuro {

inline constexpr size_t kMaxHeadLines = 100;
inline constexpr size_t kMaxHeadBytes = 64 * 1024;

struct ConnectionLimits {
  std::chrono::milliseconds head_deadline{10000};
  size_t threads = 256;
  size_t waiting = 256;
  size_t min_body_rate = 1024;  // bytes a second; 0: none
  // The bodies of the replies the server writes on its own: busy (503), head too large (431).
  std::string busy_body;
  std::string too_large_body;
};

// A plain HTTP server.
std::unique_ptr<httplib::Server> NewDeadlineServer(const ConnectionLimits& limits);
// An HTTPS server with this PEM certificate (chain) and key; check is_valid().
std::unique_ptr<httplib::Server> NewDeadlineTlsServer(const std::string& cert_file,
                                                      const std::string& key_file,
                                                      const ConnectionLimits& limits);

// Within a handler: a number that tells the connection the request came over from every
// other connection the process has accepted.
uint64_t CurrentConnection();
// Within a handler, after its body was read: whether the last bytes read ended a chunked body
// with its closing empty chunk.
bool CurrentBodyEndedChunked();

}  // namespace qnmuro

#endif  // QNMURO_OASERVER_DEADLINE_SERVER_H_
