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

// httplib's default pool has a fixed number of threads, each holding its connection until the
// client is done: as many slow clients as threads froze the server. This pool starts a thread
// whenever every thread is busy, up to its bound, and keeps it for later connections.
class ConnectionPool final : public httplib::TaskQueue {
 public:
  explicit ConnectionPool(size_t max_threads) : max_threads_(max_threads) {}

  void enqueue(std::function<void()> fn) override {
    std::lock_guard<std::mutex> lock(mu_);
    jobs_.push_back(std::move(fn));
    if (jobs_.size() > idle_ && threads_.size() < max_threads_) {
      threads_.emplace_back([this] { Work(); });
    }
    cv_.notify_one();
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
  }

 private:
  void Work() {
    std::unique_lock<std::mutex> lock(mu_);
    while (true) {
      ++idle_;
      cv_.wait(lock, [this] { return !jobs_.empty() || stopping_; });
      --idle_;
      if (jobs_.empty()) return;  // stopping, and every connection has been served
      std::function<void()> job = std::move(jobs_.front());
      jobs_.pop_front();
      lock.unlock();
      job();
      lock.lock();
    }
  }

  const size_t max_threads_;
  std::mutex mu_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> jobs_;
  std::vector<std::thread> threads_;
  size_t idle_ = 0;
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

// httplib's view of a connection. While a request's head is being read, every read must be
// done by the head's deadline; the head ends with the first empty line the reads deliver
// (httplib reads the head byte by byte, so the body is never read in the same go).
class DeadlineStream final : public httplib::Stream {
 public:
  DeadlineStream(int sock, Channel* channel, const std::atomic<socket_t>* server,
                 std::chrono::seconds read_timeout, std::chrono::seconds write_timeout)
      : sock_(sock),
        channel_(channel),
        server_(server),
        read_timeout_(read_timeout),
        write_timeout_(write_timeout),
        buffer_(kReadBuffer) {}

  // Waits for the first byte of the next request; false when `until` passes first, the
  // server stops or the connection breaks.
  bool WaitForRequest(Clock::time_point until) {
    if (off_ < len_ || channel_->Pending()) return true;
    return WaitReady(sock_, POLLIN, until, server_);
  }

  // The next reads deliver a request's head, due by `deadline`.
  void StartHead(Clock::time_point deadline) {
    in_head_ = true;
    head_deadline_ = deadline;
    line_start_ = false;
    blank_cr_ = false;
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
      const Clock::time_point until = ReadUntil();
      while (true) {
        short wait = 0;
        const bool direct = size >= buffer_.size();
        const ssize_t n =
            channel_->Recv(direct ? ptr : buffer_.data(), direct ? size : buffer_.size(), &wait);
        if (n > 0 && direct) {
          Delivered(ptr, static_cast<size_t>(n));
          return n;
        }
        if (n > 0) {
          off_ = 0;
          len_ = static_cast<size_t>(n);
          break;
        }
        if (n == 0) return 0;
        if (wait == 0 || !WaitReady(sock_, wait, until, in_head_ ? server_ : nullptr)) return -1;
      }
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
    return in_head_ ? std::min(until, head_deadline_) : until;
  }

  // Watches the head's bytes for the empty line that ends it.
  void Delivered(const char* data, size_t n) {
    for (size_t i = 0; i < n && in_head_; ++i) {
      const char c = data[i];
      if (c == '\n') {
        if (line_start_ || blank_cr_) in_head_ = false;
        line_start_ = true;
        blank_cr_ = false;
      } else if (c == '\r' && line_start_) {
        blank_cr_ = true;
        line_start_ = false;
      } else {
        line_start_ = false;
        blank_cr_ = false;
      }
    }
  }

  const int sock_;
  Channel* const channel_;
  const std::atomic<socket_t>* const server_;
  const std::chrono::seconds read_timeout_;
  const std::chrono::seconds write_timeout_;
  std::vector<char> buffer_;
  size_t off_ = 0;
  size_t len_ = 0;
  bool in_head_ = false;
  Clock::time_point head_deadline_;
  bool line_start_ = false;  // the last byte ended a line
  bool blank_cr_ = false;    // ... and a CR followed at the start of the next
};

// httplib's server (plain or TLS) with its connections served by ServeConnection.
template <class Base>
class DeadlineServer final : public Base {
 public:
  template <class... Args>
  explicit DeadlineServer(std::chrono::milliseconds head_deadline, Args&&... args)
      : Base(std::forward<Args>(args)...), head_deadline_(head_deadline) {
    this->new_task_queue = [] { return new ConnectionPool(kMaxConnectionThreads); };
  }

 private:
  // Called by httplib on a pool thread for each accepted connection.
  bool process_and_close_socket(socket_t sock) override {
    const bool ok = ServeConnection(sock, Clock::now());
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return ok;
  }

  bool ServeConnection(int sock, Clock::time_point opened) {
    const int flags = ::fcntl(sock, F_GETFL);
    if (flags < 0 || ::fcntl(sock, F_SETFL, flags | O_NONBLOCK) != 0) return false;
    const Clock::time_point first_deadline = opened + head_deadline_;
    std::unique_ptr<Channel> channel;
    if constexpr (std::is_same_v<Base, httplib::SSLServer>) {
      SSL* ssl = SSL_new(this->ssl_context());
      if (ssl == nullptr) return false;
      auto tls = std::make_unique<TlsChannel>(ssl);
      if (SSL_set_fd(ssl, sock) != 1) return false;
      while (true) {
        short wait = 0;
        const int r = tls->Handshake(&wait);
        if (r == 1) break;
        if (r < 0 || !WaitReady(sock, wait, first_deadline, &this->svr_sock_)) return false;
      }
      channel = std::move(tls);
    } else {
      channel = std::make_unique<PlainChannel>(sock);
    }
    DeadlineStream stream(sock, channel.get(), &this->svr_sock_,
                          std::chrono::seconds(this->read_timeout_sec_),
                          std::chrono::seconds(this->write_timeout_sec_));
    bool ok = false;
    bool first = true;
    for (size_t left = this->keep_alive_max_count_; left > 0; --left) {
      const auto keep_alive = std::chrono::seconds(this->keep_alive_timeout_sec_);
      const Clock::time_point idle_until =
          first ? std::min(first_deadline, opened + keep_alive) : Clock::now() + keep_alive;
      if (!stream.WaitForRequest(idle_until)) break;
      stream.StartHead(first ? first_deadline : Clock::now() + head_deadline_);
      first = false;
      bool connection_closed = false;
      ok = this->process_request(stream, left == 1, connection_closed, nullptr);
      if (!ok || connection_closed) break;
    }
    return ok;
  }

  const std::chrono::milliseconds head_deadline_;
};

}  // namespace

std::unique_ptr<httplib::Server> NewDeadlineServer(std::chrono::milliseconds head_deadline) {
  return std::make_unique<DeadlineServer<httplib::Server>>(head_deadline);
}

std::unique_ptr<httplib::Server> NewDeadlineTlsServer(const std::string& cert_file,
                                                      const std::string& key_file,
                                                      std::chrono::milliseconds head_deadline) {
  return std::make_unique<DeadlineServer<httplib::SSLServer>>(head_deadline, cert_file.c_str(),
                                                              key_file.c_str());
}

}  // namespace qnmuro
