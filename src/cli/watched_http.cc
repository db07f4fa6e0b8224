#include "cli/watched_http.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "base/text.h"

namespace qnmuro::cli {
namespace {

using Steady = std::chrono::steady_clock;

std::string Bytes(uint64_t n) {
  char text[32];
  if (n < 1024) {
    std::snprintf(text, sizeof text, "%llu B", static_cast<unsigned long long>(n));
  } else if (n < 1024 * 1024) {
    std::snprintf(text, sizeof text, "%.1f KB", n / 1024.0);
  } else {
    std::snprintf(text, sizeof text, "%.1f MB", n / (1024.0 * 1024.0));
  }
  return text;
}

// Redraws the progress line a few times a second while a request runs. The body of an upload
// is read by the client from its file, so its position is the count of bytes sent.
class Ticker {
 public:
  Ticker(const HttpRequest& request, const std::atomic<uint64_t>& received)
      : request_(request), received_(received), start_(Steady::now()) {
    thread_ = std::thread([this] { Run(); });
  }
  ~Ticker() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    wake_.notify_one();
    thread_.join();
    if (drawn_) std::fputs("\r\033[K", stderr);
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!wake_.wait_for(lock, std::chrono::milliseconds(250), [this] { return done_; })) {
      const double seconds = std::chrono::duration<double>(Steady::now() - start_).count();
      if (seconds < 1) continue;  // a quick request shows nothing
      uint64_t done = received_.load();
      uint64_t total = 0;
      if (request_.body_file != nullptr && done == 0) {
        const long at = std::ftell(request_.body_file);
        done = at > 0 ? static_cast<uint64_t>(at) : 0;
        total = request_.body_size;
      }
      std::fprintf(stderr, "\r\033[K%s", ProgressLine(done, total, seconds).c_str());
      std::fflush(stderr);
      drawn_ = true;
    }
  }

  const HttpRequest& request_;
  const std::atomic<uint64_t>& received_;
  const Steady::time_point start_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool done_ = false;
  bool drawn_ = false;
  std::thread thread_;
};

}  // namespace

std::string ProgressLine(uint64_t done, uint64_t total, double seconds) {
  const double rate = seconds > 0 ? done / seconds : 0;
  std::string line = Bytes(done);
  if (total > 0) line += " of " + Bytes(total);
  line += ", " + Bytes(static_cast<uint64_t>(rate)) + "/s";
  if (total > 0 && rate > 0 && done <= total) {
    const long left = static_cast<long>((total - done) / rate + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, ", %ld:%02ld left", left / 60, left % 60);
    line += text;
  }
  return line;
}

HttpResponse WatchedHttpClient::Send(const HttpRequest& request, const HttpSink& sink,
                                     size_t max_chunk) {
  if (!show_progress_) {
    const HttpResponse response = target()->Send(request, sink, max_chunk);
    Note(request, response);
    return response;
  }
  std::atomic<uint64_t> received{0};
  auto counting = [&](int status, const char* data, size_t size) {
    received += size;
    return sink ? sink(status, data, size) : true;
  };
  HttpResponse response;
  {
    const Ticker ticker(request, received);
    response = target()->Send(request, counting, max_chunk);
  }
  Note(request, response);
  return response;
}

HttpResponse WatchedHttpClient::DownloadToFile(const HttpRequest& request,
                                               const std::filesystem::path& path) {
  const HttpResponse response = target()->DownloadToFile(request, path);
  Note(request, response);
  return response;
}

void WatchedHttpClient::Note(const HttpRequest& request, const HttpResponse& response) {
  last_status_ = response.status;
  const std::string trouble = DescribeHttpTrouble(request, response);
  if (!trouble.empty()) last_trouble_ = U8(FromAnsi(trouble));
}

}  // namespace qnmuro::cli
