// A plain TCP server on 127.0.0.1 for protocol tests: records every request exactly as it
// arrived and answers with whatever bytes the test scripts, including broken answers (garbage,
// a body cut short, no answer at all).
#ifndef QNMURO_TESTS_TRANSFER_RAW_HTTP_SERVER_H_
#define QNMURO_TESTS_TRANSFER_RAW_HTTP_SERVER_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qnmuro::test {

struct RawRequest {
  std::string head;  // request line and headers, up to and including the blank line
  std::string body;
  std::string method() const { return head.substr(0, head.find(' ')); }
  std::string target() const;
  // The first header of that name (case-insensitive), or empty; has_header tells them apart.
  std::string header(const std::string& name) const;
  bool has_header(const std::string& name) const;
};

struct RawReply {
  std::string bytes;   // written as they are
  bool close = false;  // close the connection after writing
  bool hang = false;   // write nothing and keep the connection open until Stop()
  // After `bytes`: `trickle` in pieces of trickle_piece bytes, one piece every trickle_every
  // (a slow or stalling peer), until all is written or the server stops.
  std::string trickle = {};
  size_t trickle_piece = 1;
  std::chrono::milliseconds trickle_every{100};
};

class RawHttpServer {
 public:
  using Handler = std::function<RawReply(const RawRequest& request, int index)>;

  explicit RawHttpServer(Handler handler);
  ~RawHttpServer();

  int port() const { return port_; }
  std::string url(const std::string& path) const;
  // Every request received so far, in order.
  std::vector<RawRequest> requests();
  void Stop();

  // A reply with this status, headers and body (Content-Length added).
  static RawReply Reply(int status, const std::string& body,
                        const std::vector<std::string>& headers = {});

 private:
  void Accept();
  void Serve(int fd);
  bool Trickle(int fd, const RawReply& reply);

  Handler handler_;
  int listen_fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::mutex mu_;
  std::condition_variable stopped_;
  std::vector<RawRequest> requests_;
  std::vector<int> open_fds_;
  std::vector<std::thread> workers_;
  std::thread acceptor_;
};

}  // namespace qnmuro::test

#endif  // QNMURO_TESTS_TRANSFER_RAW_HTTP_SERVER_H_
