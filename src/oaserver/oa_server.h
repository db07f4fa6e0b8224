// The development OA server: speaks the add-in's HTTP protocol so that an OA integrator, the
// tests and the demo have a server to talk to. Layout of its root directory: oa_store.h.
//
//   GET or POST <path>                    serves the file (oa_store.h) or answers 404; a
//                                         document's attachment address with its ETag;
//   POST /upload.muro?filename=NAME       stores the raw body for NAME (framed by its length
//                                         or by chunks: one that broke off is never kept),
//                                         replies <result>success</result>;
//   POST <any>?...action=upload&unid=U&method=replacecontent&...&filename=<Base64 name>
//                                         confirms: moves the body of NAME that this request
//                                         is told to belong to (upload_ledger.h) into
//                                         documents/U/<name>, keeping earlier versions, and
//                                         answers with the new version's ETag. With If-Match
//                                         naming another version than the current one it
//                                         stores nothing and answers 412 <result>conflict
//                                         </result>; "Upload-Digest: sha-256=<hex>" names the
//                                         body it confirms by its SHA-256;
//   GET or POST /<...>/<agent>?OpenAgent...   runs a built-in agent: "echo" answers its query
//                                         and body as XML, "ping" answers success.
// Every fault is answered with <result>reason</result>, never with success. With users, file
// downloads and confirmations need valid credentials (asked for with 401), agents a session
// cookie (403 otherwise). Each request is reported as one line through the log callback.
// Slow or hostile clients cannot hold the server up: each connection has a thread of its own,
// a request's head must arrive within the head deadline and its limits, a body must keep to a
// rate floor, and connections beyond the threads and the waiting ones are answered 503
// (deadline_server.h). Starting the server
// removes the temporary files that uploads of earlier runs left behind (oa_store.h).
#ifndef QNMURO_OASERVER_OA_SERVER_H_
#define QNMURO_OASERVER_OA_SERVER_H_

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "oaserver/oa_users.h"

namespace qnmuro {

struct OaServerOptions {
  std::filesystem::path root;
  // Both set: HTTPS with this PEM certificate (chain) and key.
  std::string cert_file;
  std::string key_file;
  std::vector<OaUser> users;  // empty: nobody is checked
  OaAuthScheme auth = OaAuthScheme::kBasic;
  // How long a client may take to send a request's head (for HTTPS, the first one's
  // handshake included) before the server drops the connection.
  std::chrono::milliseconds head_deadline{10000};
  // Connections served at once, connections that may wait for one of them, and the average
  // rate (bytes a second) a body must keep once the head deadline has passed since its head.
  size_t threads = 256;
  size_t waiting = 256;
  size_t min_body_rate = 1024;
  // Receives one line per request (and nothing else); may be empty. Called from the server's
  // worker threads, one call at a time.
  std::function<void(const std::string&)> log;
};

class OaServer {
 public:
  explicit OaServer(OaServerOptions options);
  ~OaServer();  // stops
  OaServer(const OaServer&) = delete;
  OaServer& operator=(const OaServer&) = delete;

  // Listens on host:port (port 0: any free port) and serves on background threads. Returns
  // the port, or -1 with *error set (bad certificate, address in use, root missing).
  int Start(const std::string& host, int port, std::string* error);
  // Stops listening and waits for the serving threads to end. Safe to call twice.
  void Stop();

  bool secure() const { return !options_.cert_file.empty(); }
  int port() const { return port_; }
  // "http://host:port" or "https://host:port".
  std::string BaseUrl() const;

  struct Impl;

 private:
  OaServerOptions options_;
  std::unique_ptr<Impl> impl_;
  std::thread thread_;
  std::string host_;
  int port_ = -1;
};

}  // namespace qnmuro

#endif  // QNMURO_OASERVER_OA_SERVER_H_
