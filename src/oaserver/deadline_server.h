// The HTTP server under the development OA server: cpp-httplib's request handling (routing,
// handlers, responses), with the connections served here so that slow clients cannot hold the
// server up:
//   - each connection gets a thread of its own from a pool that grows on demand up to
//     kMaxConnectionThreads, so a few clients that take their time never keep the others
//     waiting;
//   - a request's head (request line and headers, and for HTTPS the handshake before the
//     first one) must arrive within `head_deadline` of its first byte (of the connection's
//     opening for the first request); a client that trickles it is cut off. The body and the
//     reply keep httplib's per-read and per-write time-outs;
//   - waiting for a head, or idly for the next request on a kept-alive connection, ends as
//     soon as the server stops.
// Private to src/oaserver: nothing else includes httplib.
#ifndef QNMURO_OASERVER_DEADLINE_SERVER_H_
#define QNMURO_OASERVER_DEADLINE_SERVER_H_

#include <httplib.h>

#include <chrono>
#include <memory>
#include <string>

namespace qnmuro {

inline constexpr size_t kMaxConnectionThreads = 64;

// A plain HTTP server.
std::unique_ptr<httplib::Server> NewDeadlineServer(std::chrono::milliseconds head_deadline);
// An HTTPS server with this PEM certificate (chain) and key; check is_valid().
std::unique_ptr<httplib::Server> NewDeadlineTlsServer(const std::string& cert_file,
                                                      const std::string& key_file,
                                                      std::chrono::milliseconds head_deadline);

}  // namespace qnmuro

#endif  // QNMURO_OASERVER_DEADLINE_SERVER_H_
