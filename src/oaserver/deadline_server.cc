#include "oaserver/deadline_server.h"

#include <fcntl.h>
#include <netdb.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

namespace qnmuro {
namespace {

using Clock = std::chrono::steady_clock;

// How often a wait looks whether the server is stopping.
constexpr auto kPollSlice = std::chrono::milliseconds(50);
constexpr size_t kReadBuffer = 16 * 1024;

thread_local Clock::time_point tl_accepted;  // of the connection this thread serves
// How the connection this thread has is to be answered busy: 0 not, 1 after reading its
// request, 2 at once (when even the refusals queue up).
thread_local int tl_refuse = 0;
thread_local uint64_t tl_connection = 0;
thread_local char tl_tail[8] = {};  // the last bytes read from the connection, newest last
std::atomic<uint64_t> g_connections{0};

// httplib's default pool has a fixed number of threads, each holding its connection until the
// client is done: as many slow clients as threads froze the server. This pool starts a thread
// whenever every thread is busy, up to its bound, and keeps it for later connections. Beyond
// `max_waiting` connections waiting for a thread, a connection is refused at once (on the
// accepting thread, which only writes a short reply). Each job runs with its accept time.
class ConnectionPool final : public httplib::TaskQueue {
 public:
  ConnectionPool(size_t max_threads, size_t max_waiting)
      : max_threads_(max_threads), max_waiting_(max_waiting) {}

  void enqueue(std::function<void()> fn) override {
    {
      std::lock_guard<std::mutex> lock(mu_);
      // Threads not running a connection (some just started) take the first jobs.
      const bool full =
          threads_.size() >= max_threads_ && jobs_.size() >= threads_.size() - busy_ + max_waiting_;
      if (!full) {
        jobs_.push_back(Job{std::move(fn), Clock::now()});
        if (jobs_.size() > idle_ && threads_.size() < max_threads_) {
          threads_.emplace_back([this] { Work(); });
        }
        cv_.notify_all();
        return;
      }
    }
    {
      std::lock_guard<std::mutex> lock(mu_);
      if (refusals_.size() < kMaxRefusals && !stopping_) {
        refusals_.push_back(std::move(fn));
        if (!refuser_.joinable()) refuser_ = std::thread([this] { Refuse(); });
        cv_.notify_all();
        return;
      }
    }
    tl_refuse = 2;
    fn();
    tl_refuse = 0;
  }

  void shutdown() override {
    std::vector<std::thread> threads;
    {
      std::lock_guard<std::mutex> lock(mu_);
      stopping_ = true;
      threads.swap(threads_);
    }
    cv_.notify_all();
    for (std::thread& t : threads) t.join();
    if (refuser_.joinable()) refuser_.join();
  }

 private:
  struct Job {
    std::function<void()> fn;
    Clock::time_point accepted;
  };

  void Work() {
    std::unique_lock<std::mutex> lock(mu_);
    while (true) {
      ++idle_;
      cv_.wait(lock, [this] { return !jobs_.empty() || stopping_; });
      --idle_;
      if (jobs_.empty()) return;  // stopping, and every connection has been served
      Job job = std::move(jobs_.front());
      jobs_.pop_front();
      ++busy_;
      lock.unlock();
      tl_accepted = job.accepted;
      job.fn();
      lock.lock();
      --busy_;
    }
  }

  // One thread answers the refused connections, the last one in the queue after its request
  // has come (a client that meets a closed connection before it has sent the request sees no
  // answer), the others at once.
  void Refuse() {
    std::unique_lock<std::mutex> lock(mu_);
    while (true) {
      cv_.wait(lock, [this] { return !refusals_.empty() || stopping_; });
      if (refusals_.empty()) return;
      std::function<void()> fn = std::move(refusals_.front());
      refusals_.pop_front();
      // Others waiting for their refusal: this one is answered at once, so that idle
      // connections cannot make a real request wait for its 503.
      const int refuse = refusals_.empty() ? 1 : 2;
      lock.unlock();
      tl_refuse = refuse;
      fn();
      tl_refuse = 0;
      lock.lock();
    }
  }

  static constexpr size_t kMaxRefusals = 64;
  const size_t max_threads_;
  const size_t max_waiting_;
  std::deque<std::function<void()>> refusals_;
  std::thread refuser_;
  std::mutex mu_;
  std::condition_variable cv_;
  std::deque<Job> jobs_;
  std::vector<std::thread> threads_;
  size_t idle_ = 0;
  size_t busy_ = 0;
  bool stopping_ = false;
};

// Waits until `sock` is ready for `events` (or has an error or hang-up for the next call to
// report), at most until `until`; with `server` given, also gives up as soon as the server
// stops listening.
bool WaitReady(int sock, short events, Clock::time_point until,
               const std::atomic<socket_t>* server) {
  while (true) {
    if (server != nullptr && *server == INVALID_SOCKET) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
    if (left.count() <= 0) return false;
    pollfd p{sock, events, 0};
    const int r = ::poll(&p, 1, static_cast<int>(std::min(left, kPollSlice).count()));
    if (r > 0) return true;
    if (r < 0 && errno != EINTR) return false;
  }
}

// One connection's bytes over its non-blocking socket. Recv and Send return the bytes moved,
// 0 when the peer has closed (Recv), or -1: then *wait holds the poll event to wait for
// before trying again, or 0 when the connection failed.
class Channel {
 public:
  virtual ~Channel() = default;
  virtual ssize_t Recv(char* buf, size_t size, short* wait) = 0;
  virtual ssize_t Send(const char* buf, size_t size, short* wait) = 0;
  // Bytes received and decoded but not yet read.
  virtual bool Pending() const { return false; }
};

class PlainChannel final : public Channel {
 public:
  explicit PlainChannel(int sock) : sock_(sock) {}

  ssize_t Recv(char* buf, size_t size, short* wait) override {
    return Retry(wait, POLLIN, [&] { return ::recv(sock_, buf, size, 0); });
  }
  ssize_t Send(const char* buf, size_t size, short* wait) override {
    return Retry(wait, POLLOUT, [&] { return ::send(sock_, buf, size, MSG_NOSIGNAL); });
  }

 private:
  template <class Call>
  static ssize_t Retry(short* wait, short event, Call&& call) {
    while (true) {
      const ssize_t n = call();
      if (n >= 0) return n;
      if (errno == EINTR) continue;
      *wait = (errno == EAGAIN || errno == EWOULDBLOCK) ? event : 0;
      return -1;
    }
  }

  int sock_;
};

class TlsChannel final : public Channel {
 public:
  // Takes `ssl`, already attached to the socket.
  explicit TlsChannel(SSL* ssl) : ssl_(ssl) {
    SSL_set_mode(ssl_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  }
  ~TlsChannel() override {
    if (!failed_) SSL_shutdown(ssl_);  // one close_notify, if the socket takes it now
    SSL_free(ssl_);
    ERR_clear_error();
  }
  TlsChannel(const TlsChannel&) = delete;
  TlsChannel& operator=(const TlsChannel&) = delete;

  // 1 when the handshake is done, 0 to wait (*wait set) and try again, -1 when it failed.
  int Handshake(short* wait) {
    ERR_clear_error();
    const int r = SSL_accept(ssl_);
    if (r == 1) return 1;
    Classify(r, wait);
    return *wait != 0 ? 0 : -1;
  }

  ssize_t Recv(char* buf, size_t size, short* wait) override {
    ERR_clear_error();
    const int r = SSL_read(ssl_, buf, static_cast<int>(std::min<size_t>(size, INT_MAX)));
    if (r > 0) return r;
    return Classify(r, wait);
  }
  ssize_t Send(const char* buf, size_t size, short* wait) override {
    if (size == 0) return 0;
    ERR_clear_error();
    const int r = SSL_write(ssl_, buf, static_cast<int>(std::min<size_t>(size, INT_MAX)));
    if (r > 0) return r;
    return Classify(r, wait);
  }
  bool Pending() const override { return SSL_pending(ssl_) > 0; }

 private:
  // 0 for a clean close by the peer, else -1 with *wait set when the call must wait.
  ssize_t Classify(int r, short* wait) {
    *wait = 0;
    switch (SSL_get_error(ssl_, r)) {
      case SSL_ERROR_WANT_READ:
        *wait = POLLIN;
        return -1;
      case SSL_ERROR_WANT_WRITE:
        *wait = POLLOUT;
        return -1;
      case SSL_ERROR_ZERO_RETURN:
        return 0;
      default:
        failed_ = true;  // no shutdown after a fatal error
        ERR_clear_error();
        return -1;
    }
  }

  SSL* ssl_;
  bool failed_ = false;
};

void Address(int sock, bool peer, std::string& ip, int& port) {
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  const int r = peer ? ::getpeername(sock, reinterpret_cast<sockaddr*>(&addr), &len)
                     : ::getsockname(sock, reinterpret_cast<sockaddr*>(&addr), &len);
  char host[NI_MAXHOST];
  char serv[NI_MAXSERV];
  if (r != 0 || ::getnameinfo(reinterpret_cast<sockaddr*>(&addr), len, host, sizeof host, serv,
                              sizeof serv, NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
    return;
  }
  ip = host;
  port = std::atoi(serv);
}

enum class HeadResult { kReady, kGone, kTooLarge };

// httplib's view of a connection. A request's head is read here in full (within its deadline
// and its limits) before httplib parses it from the buffer; the body's reads then have to keep
// up with the rate floor.
class DeadlineStream final : public httplib::Stream {
 public:
  DeadlineStream(int sock, Channel* channel, const std::atomic<socket_t>* server,
                 const ConnectionLimits& limits, std::chrono::seconds read_timeout,
                 std::chrono::seconds write_timeout)
      : sock_(sock),
        channel_(channel),
        server_(server),
        limits_(limits),
        read_timeout_(read_timeout),
        write_timeout_(write_timeout),
        buffer_(kReadBuffer) {}

  // Waits for the first byte of the next request; false when `until` passes first, the
  // server stops or the connection breaks.
  bool WaitForRequest(Clock::time_point until) {
    if (off_ < len_ || channel_->Pending()) return true;
    return WaitReady(sock_, POLLIN, until, server_);
  }

  // Reads the next request's head into the buffer, due by `deadline`; then starts its body's
  // clock.
  HeadResult ReadHead(Clock::time_point deadline) {
    in_head_ = true;
    head_deadline_ = deadline;
    if (off_ > 0) {
      std::copy(buffer_.begin() + static_cast<ptrdiff_t>(off_),
                buffer_.begin() + static_cast<ptrdiff_t>(len_), buffer_.begin());
      len_ -= off_;
      off_ = 0;
    }
    size_t lines = 0;
    size_t line_start = 0;
    size_t end = 0;
    for (;; ++end) {
      if (end == len_ && !Fill()) return HeadResult::kGone;
      if (end >= kMaxHeadBytes) return HeadResult::kTooLarge;
      if (buffer_[end] != '\n') continue;
      if (end - line_start == 1 && buffer_[line_start] == '\r') break;
      if (++lines > kMaxHeadLines + 1) return HeadResult::kTooLarge;  // the request line too
      line_start = end + 1;
    }
    in_head_ = false;
    body_start_ = Clock::now();
    body_bytes_ = -static_cast<int64_t>(end + 1);  // httplib reads the head from the buffer
    return HeadResult::kReady;
  }

  // After a refused head: lets the client read the reply rather than meet a reset, reading
  // (and dropping) what it still sends for a short while.
  void Drain() {
    ::shutdown(sock_, SHUT_WR);
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(500);
    char sink[4096];
    for (size_t total = 0; total < (1u << 20);) {
      short wait = 0;
      const ssize_t n = channel_->Recv(sink, sizeof sink, &wait);
      if (n > 0) {
        total += static_cast<size_t>(n);
      } else if (n == 0 || wait == 0 || !WaitReady(sock_, wait, until, nullptr)) {
        return;
      }
    }
  }

  bool is_readable() const override {
    if (off_ < len_ || channel_->Pending()) return true;
    return WaitReady(sock_, POLLIN, ReadUntil(), in_head_ ? server_ : nullptr);
  }
  bool is_writable() const override {
    return WaitReady(sock_, POLLOUT, Clock::now() + write_timeout_, nullptr);
  }

  ssize_t read(char* ptr, size_t size) override {
    if (size == 0) return 0;
    if (off_ == len_) {
      off_ = len_ = 0;
      if (size >= kReadBuffer) {
        const ssize_t n = Receive(ptr, size);
        if (n > 0) Delivered(ptr, static_cast<size_t>(n));
        return n;
      }
      const ssize_t n = Receive(buffer_.data(), kReadBuffer);
      if (n <= 0) return n;
      len_ = static_cast<size_t>(n);
    }
    const size_t n = std::min(size, len_ - off_);
    std::copy_n(buffer_.data() + off_, n, ptr);
    off_ += n;
    Delivered(ptr, n);
    return static_cast<ssize_t>(n);
  }

  ssize_t write(const char* ptr, size_t size) override {
    const Clock::time_point until = Clock::now() + write_timeout_;
    while (true) {
      short wait = 0;
      const ssize_t n = channel_->Send(ptr, size, &wait);
      if (n >= 0) return n;
      if (wait == 0 || !WaitReady(sock_, wait, until, nullptr)) return -1;
    }
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    Address(sock_, true, ip, port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    Address(sock_, false, ip, port);
  }
  socket_t socket() const override { return sock_; }

 private:
  Clock::time_point ReadUntil() const {
    const Clock::time_point until = Clock::now() + read_timeout_;
    if (in_head_) return std::min(until, head_deadline_);
    if (limits_.min_body_rate == 0) return until;
    // The next byte is due when the bytes so far fall behind the floor.
    const int64_t next = std::max<int64_t>(body_bytes_, 0) + 1;
    const auto due =
        body_start_ + limits_.head_deadline +
        std::chrono::milliseconds(next * 1000 / static_cast<int64_t>(limits_.min_body_rate));
    return std::min(until, due);
  }

  // Receives into `dst` by the current read's deadline.
  ssize_t Receive(char* dst, size_t size) {
    const Clock::time_point until = ReadUntil();
    while (true) {
      short wait = 0;
      const ssize_t n = channel_->Recv(dst, size, &wait);
      if (n >= 0) return n;
      if (wait == 0 || !WaitReady(sock_, wait, until, in_head_ ? server_ : nullptr)) return -1;
    }
  }

  // Appends received bytes to the buffer (for a head being read); false when none came.
  bool Fill() {
    if (buffer_.size() < len_ + kReadBuffer) buffer_.resize(len_ + kReadBuffer);
    const ssize_t n = Receive(buffer_.data() + len_, kReadBuffer);
    if (n <= 0) return false;
    len_ += static_cast<size_t>(n);
    return true;
  }

  // Counts the body's bytes and keeps the last ones.
  void Delivered(const char* data, size_t n) {
    body_bytes_ += static_cast<int64_t>(n);
    const size_t keep = std::min(n, sizeof tl_tail);
    std::memmove(tl_tail, tl_tail + keep, sizeof tl_tail - keep);
    std::memcpy(tl_tail + sizeof tl_tail - keep, data + n - keep, keep);
  }

  const int sock_;
  Channel* const channel_;
  const std::atomic<socket_t>* const server_;
  const ConnectionLimits& limits_;
  const std::chrono::seconds read_timeout_;
  const std::chrono::seconds write_timeout_;
  std::vector<char> buffer_;
  size_t off_ = 0;
  size_t len_ = 0;
  bool in_head_ = false;
  Clock::time_point head_deadline_;
  Clock::time_point body_start_;
  int64_t body_bytes_ = 0;  // read since the head ended (less while it is still being parsed)
};

// The whole reply to a request the server refuses before httplib sees it.
std::string Refusal(int status, const char* reason, const std::string& body) {
  return "HTTP/1.1 " + std::to_string(status) + " " + reason +
         "\r\nContent-Type: text/xml\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n\r\n" + body;
}

bool WriteAll(httplib::Stream& stream, const std::string& bytes) {
  for (size_t sent = 0; sent < bytes.size();) {
    const ssize_t n = stream.write(bytes.data() + sent, bytes.size() - sent);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

// httplib's server (plain or TLS) with its connections served by ServeConnection.
template <class Base>
class DeadlineServer final : public Base {
 public:
  template <class... Args>
  explicit DeadlineServer(const ConnectionLimits& limits, Args&&... args)
      : Base(std::forward<Args>(args)...), limits_(limits) {
    this->new_task_queue = [this] {
      // httplib listens with a backlog of 5: connections beyond it waited for the kernel to
      // retry them, seconds before the server even saw them. Listening again widens it.
      ::listen(this->svr_sock_, SOMAXCONN);
      return new ConnectionPool(limits_.threads, limits_.waiting);
    };
  }

 private:
  // Called by httplib for each accepted connection: on a pool thread, or on the accepting
  // thread when the pool refuses it.
  bool process_and_close_socket(socket_t sock) override {
    bool ok = false;
    if (tl_refuse != 0) {
      ok = RefuseBusy(sock, tl_refuse == 1);
    } else {
      tl_connection = ++g_connections;
      ok = ServeConnection(sock, tl_accepted);
    }
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return ok;
  }

  // Answers 503, after a short wait for the request when `patient`.
  bool RefuseBusy(int sock, bool patient) {
    const auto wait = std::chrono::milliseconds(patient ? 200 : 0);
    char sink[4096];
    WaitReady(sock, POLLIN, Clock::now() + wait, nullptr);
    while (::recv(sock, sink, sizeof sink, MSG_DONTWAIT) > 0) {
    }
    const std::string reply = Refusal(503, "Service Unavailable", limits_.busy_body);
    const bool ok = ::send(sock, reply.data(), reply.size(), MSG_NOSIGNAL | MSG_DONTWAIT) > 0;
    ::shutdown(sock, SHUT_WR);
    if (patient && WaitReady(sock, POLLIN, Clock::now() + wait, nullptr)) {
      while (::recv(sock, sink, sizeof sink, MSG_DONTWAIT) > 0) {
      }
    }
    return ok;
  }

  // The TLS handshake by `deadline`; nullptr when it failed.
  std::unique_ptr<Channel> OpenChannel(int sock, Clock::time_point deadline) {
    if constexpr (std::is_same_v<Base, httplib::SSLServer>) {
      SSL* ssl = SSL_new(this->ssl_context());
      if (ssl == nullptr) return nullptr;
      auto tls = std::make_unique<TlsChannel>(ssl);
      if (SSL_set_fd(ssl, sock) != 1) return nullptr;
      while (true) {
        short wait = 0;
        const int r = tls->Handshake(&wait);
        if (r == 1) return tls;
        if (r < 0 || !WaitReady(sock, wait, deadline, &this->svr_sock_)) return nullptr;
      }
    } else {
      (void)deadline;
      return std::make_unique<PlainChannel>(sock);
    }
  }

  bool ServeConnection(int sock, Clock::time_point accepted) {
    const int flags = ::fcntl(sock, F_GETFL);
    if (flags < 0 || ::fcntl(sock, F_SETFL, flags | O_NONBLOCK) != 0) return false;
    const Clock::time_point first_deadline = accepted + limits_.head_deadline;
    const std::unique_ptr<Channel> channel = OpenChannel(sock, first_deadline);
    if (!channel) return false;
    DeadlineStream stream(sock, channel.get(), &this->svr_sock_, limits_,
                          std::chrono::seconds(this->read_timeout_sec_),
                          std::chrono::seconds(this->write_timeout_sec_));
    bool ok = false;
    bool first = true;
    for (size_t left = this->keep_alive_max_count_; left > 0; --left) {
      const auto keep_alive = std::chrono::seconds(this->keep_alive_timeout_sec_);
      const Clock::time_point idle_until =
          first ? std::min(first_deadline, accepted + keep_alive) : Clock::now() + keep_alive;
      if (!stream.WaitForRequest(idle_until)) break;
      const HeadResult head =
          stream.ReadHead(first ? first_deadline : Clock::now() + limits_.head_deadline);
      first = false;
      if (head == HeadResult::kTooLarge) {
        if (WriteAll(stream,
                     Refusal(431, "Request Header Fields Too Large", limits_.too_large_body))) {
          stream.Drain();
        }
        return false;
      }
      if (head != HeadResult::kReady) break;
      bool connection_closed = false;
      ok = this->process_request(stream, left == 1, connection_closed, nullptr);
      if (!ok || connection_closed) break;
    }
    return ok;
  }

  const ConnectionLimits limits_;
};

}  // namespace

std::unique_ptr<httplib::Server> NewDeadlineServer(const ConnectionLimits& limits) {
  return std::make_unique<DeadlineServer<httplib::Server>>(limits);
}

std::unique_ptr<httplib::Server> NewDeadlineTlsServer(const std::string& cert_file,
                                                      const std::string& key_file,
                                                      const ConnectionLimits& limits) {
  return std::make_unique<DeadlineServer<httplib::SSLServer>>(limits, cert_file.c_str(),
                                                              key_file.c_str());
}

uint64_t CurrentConnection() {
  return tl_connection;
}

bool CurrentBodyEndedChunked() {
  // The closing chunk "0" with its empty line, after the line end of the data or the head.
  static const char kEnd[] = "\n0\r\n\r\n";
  const size_t n = sizeof kEnd - 1;
  return std::memcmp(tl_tail + sizeof tl_tail - n, kEnd, n) == 0;
}

}  // namespace qnmuro
