// The HTTP client over WinINet: one session, connection and request per Send(), closed in
// that order. The session cookie goes as the request's own header, never through WinINet's
// cookie store: the store scopes a cookie by host alone and keeps it, so it would go along to
// other ports and schemes and to the requests that must carry none.
#include <windows.h>
// After windows.h, whose types it uses.
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/http_client.h"
#include "platform/http_wire.h"
#include "platform/services_win.h"
#include "platform/urlmon_download_win.h"

namespace qnmuro {
namespace {

// Closes a WinINet handle on every path, once. Closing it from another thread ends a call
// that is blocked on it: that is how the rate check stops a trickling transfer.
class Handle {
 public:
  explicit Handle(HINTERNET handle = nullptr) : handle_(handle) {}
  ~Handle() { Close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HINTERNET get() const { return handle_.load(); }
  void Close() {
    HINTERNET handle = handle_.exchange(nullptr);
    if (handle != nullptr) InternetCloseHandle(handle);
  }

 private:
  std::atomic<HINTERNET> handle_;
};

// Watches the bytes a transfer moves and closes its request handle once the average rate
// over the slow window stays too low. Runs on its own thread for the life of one Send().
class RateWatch {
 public:
  RateWatch(const HttpClientOptions& options, Handle* request)
      : floor_(options, RateFloor::Clock::now()), request_(request) {
    if (floor_.active()) thread_ = std::thread([this] { Watch(); });
  }
  ~RateWatch() {
    {
      std::lock_guard<std::mutex> lock(mu_);
      done_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
  }
  RateWatch(const RateWatch&) = delete;
  RateWatch& operator=(const RateWatch&) = delete;

  void Moved(uint64_t bytes) { moved_ += bytes; }
  bool too_slow() const { return too_slow_; }
  std::string Explanation() const { return floor_.Explanation(); }

 private:
  void Watch() {
    std::unique_lock<std::mutex> lock(mu_);
    while (!wake_.wait_for(lock, std::chrono::milliseconds(100), [this] { return done_; })) {
      if (floor_.TooSlow(moved_.load(), RateFloor::Clock::now())) {
        too_slow_ = true;
        request_->Close();
        return;
      }
    }
  }

  RateFloor floor_;  // used by the watching thread only
  Handle* request_;
  std::atomic<uint64_t> moved_{0};
  std::atomic<bool> too_slow_{false};
  std::mutex mu_;
  std::condition_variable wake_;
  bool done_ = false;
  std::thread thread_;
};

std::string SystemText(DWORD code) {
  char* text = nullptr;
  const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_FROM_HMODULE;
  FormatMessageA(flags, GetModuleHandleA("wininet.dll"), code, MAKELANGID(LANG_ENGLISH, 0),
                 reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = text != nullptr ? text : "";
  LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
    message.pop_back();
  }
  return message.empty() ? "WinINet error " + std::to_string(code) : message;
}

// One request: the handles, the body's progress and the outcome. Lives for one Send().
class Exchange {
 public:
  Exchange(const HttpRequest& request, const HttpSink& sink, size_t max_chunk,
           const HttpClientOptions& options)
      : request_(request),
        sink_(sink),
        max_chunk_(max_chunk == 0 ? 2048 : max_chunk),
        options_(options) {}

  HttpResponse Run();

 private:
  HttpResponse Fail(HttpStage stage, DWORD code, std::string text = std::string()) {
    response_.failed = stage;
    response_.error_code = static_cast<long>(code);
    response_.error_text = text.empty() ? SystemText(code) : std::move(text);
    response_.trouble = TroubleOfWindowsError(code);
    if (rate_ && rate_->too_slow()) {
      response_.too_slow = true;
      response_.error_text = rate_->Explanation();
    }
    return std::move(response_);
  }
  bool Open();
  bool SendOnce();
  bool WriteBody();
  void ReadStatusAndHeaders();
  HttpResponse ReadBody();

  const HttpRequest& request_;
  const HttpSink& sink_;
  const size_t max_chunk_;
  const HttpClientOptions& options_;
  std::unique_ptr<Handle> session_, connection_, request_handle_;
  std::unique_ptr<RateWatch> rate_;  // after the handles: stops watching before they close
  long long body_start_ = -1;        // where the body file stood when the first send began
  bool body_failed_ = false;
  HttpResponse response_;
};

bool Exchange::Open() {
  session_ = std::make_unique<Handle>(InternetOpenA(
      request_.user_agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (session_->get() == nullptr) return false;
  const auto connect =
      request_.connect_timeout.count() > 0 ? request_.connect_timeout : options_.connect_timeout;
  const auto stall =
      request_.stall_timeout.count() > 0 ? request_.stall_timeout : options_.stall_timeout;
  DWORD connect_ms = static_cast<DWORD>(connect.count());
  DWORD stall_ms =
      static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(stall).count());
  InternetSetOptionA(session_->get(), INTERNET_OPTION_CONNECT_TIMEOUT, &connect_ms,
                     sizeof connect_ms);
  InternetSetOptionA(session_->get(), INTERNET_OPTION_RECEIVE_TIMEOUT, &stall_ms, sizeof stall_ms);
  InternetSetOptionA(session_->get(), INTERNET_OPTION_SEND_TIMEOUT, &stall_ms, sizeof stall_ms);
  // With credentials WinINet sends nothing until the server asks, then answers its scheme.
  const char* user = request_.user.empty() ? nullptr : request_.user.c_str();
  const char* password = request_.user.empty() ? nullptr : request_.password.c_str();
  connection_ = std::make_unique<Handle>(InternetConnectA(
      session_->get(), request_.host.c_str(), static_cast<INTERNET_PORT>(request_.port), user,
      password, INTERNET_SERVICE_HTTP, 0, 0));
  if (connection_->get() == nullptr) return false;
  // Nothing into the cache (so nothing comes from it), no redirect followed, no dialog; over HTTPS
  // the chain must hold while a certificate for another name or outside its dates is accepted.
  DWORD flags = INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_AUTO_REDIRECT |
                INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_COOKIES;
  if (request_.secure) {
    flags |= INTERNET_FLAG_SECURE | INTERNET_FLAG_IGNORE_CERT_CN_INVALID |
             INTERNET_FLAG_IGNORE_CERT_DATE_INVALID;
  }
  const std::string target = EncodeTarget(request_.target);
  request_handle_ = std::make_unique<Handle>(
      HttpOpenRequestA(connection_->get(), request_.method.c_str(), target.c_str(), "HTTP/1.1",
                       nullptr, nullptr, flags, 0));
  if (request_handle_->get() == nullptr) return false;
  // Continue without a client certificate when the server asks for one.
  InternetSetOptionA(request_handle_->get(), INTERNET_OPTION_SECURITY_SELECT_CLIENT_CERT, nullptr,
                     0);
  auto add = [&](const std::string& name, const std::string& value) {
    const std::string line = name + ": " + value + "\r\n";
    return HttpAddRequestHeadersA(request_handle_->get(), line.c_str(),
                                  static_cast<DWORD>(line.size()),
                                  HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE) != FALSE;
  };
  if (!request_.cookie.empty() && !add("Cookie", request_.cookie)) return false;
  for (const auto& [name, value] : request_.headers) {
    if (!add(name, value)) return false;
  }
  return true;
}

// Sends the request line, the headers and the body, streamed from its file or memory.
bool Exchange::SendOnce() {
  const bool has_body = request_.body_file != nullptr || !request_.body.empty();
  if (!has_body) return HttpSendRequestA(request_handle_->get(), nullptr, 0, nullptr, 0) != FALSE;
  const uint64_t size = request_.body_file != nullptr ? request_.body_size : request_.body.size();
  INTERNET_BUFFERSA buffers{};
  buffers.dwStructSize = sizeof buffers;
  if (size <= MAXDWORD) {
    buffers.dwBufferTotal = static_cast<DWORD>(size);
  } else {
    // The buffers' total is 32 bits: a body of 4 GiB or more announces its length itself.
    const std::string line = "Content-Length: " + std::to_string(size) + "\r\n";
    if (!HttpAddRequestHeadersA(request_handle_->get(), line.c_str(),
                                static_cast<DWORD>(line.size()),
                                HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE)) {
      return false;
    }
  }
  if (!HttpSendRequestExA(request_handle_->get(), &buffers, nullptr, 0, 0)) return false;
  if (!WriteBody()) return false;
  return HttpEndRequestA(request_handle_->get(), nullptr, 0, 0) != FALSE;
}

bool Exchange::WriteBody() {
  if (request_.body_file == nullptr) {
    // In pieces whose size a DWORD carries: one piece for any body of less than 1 GiB.
    for (size_t at = 0; at < request_.body.size();) {
      const DWORD piece = static_cast<DWORD>(std::min<size_t>(request_.body.size() - at, 1 << 30));
      DWORD written = 0;
      const bool sent =
          InternetWriteFile(request_handle_->get(), request_.body.data() + at, piece, &written) &&
          written == piece;
      rate_->Moved(written);
      if (!sent) return false;
      at += piece;
    }
    return true;
  }
  if (body_start_ < 0) {
    body_start_ = _ftelli64(request_.body_file);
  } else if (_fseeki64(request_.body_file, body_start_, SEEK_SET) != 0) {  // a second send
    body_failed_ = true;
    return false;
  }
  // Small pieces, so that the rate check sees a slow line's progress as it happens.
  std::string buffer(16 * 1024, '\0');
  for (uint64_t left = request_.body_size; left > 0;) {
    const size_t want = left < buffer.size() ? static_cast<size_t>(left) : buffer.size();
    const size_t got = std::fread(buffer.data(), 1, want, request_.body_file);
    if (got == 0) {
      body_failed_ = true;
      return false;
    }
    DWORD written = 0;
    if (!InternetWriteFile(request_handle_->get(), buffer.data(), static_cast<DWORD>(got),
                           &written) ||
        written != got) {
      return false;
    }
    rate_->Moved(got);
    left -= got;
  }
  return true;
}

void Exchange::ReadStatusAndHeaders() {
  DWORD status = 0;
  DWORD size = sizeof status;
  HttpQueryInfoA(request_handle_->get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                 &size, nullptr);
  response_.status = static_cast<int>(status);
  std::string phrase(256, '\0');
  DWORD phrase_size = static_cast<DWORD>(phrase.size());
  if (HttpQueryInfoA(request_handle_->get(), HTTP_QUERY_STATUS_TEXT, phrase.data(), &phrase_size,
                     nullptr)) {
    phrase.resize(phrase_size);
    response_.reason = phrase;
  }
  response_.headers.clear();
  std::string raw(8192, '\0');
  size = static_cast<DWORD>(raw.size());
  if (!HttpQueryInfoA(request_handle_->get(), HTTP_QUERY_RAW_HEADERS_CRLF, raw.data(), &size,
                      nullptr)) {
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return;
    raw.assign(size, '\0');
    if (!HttpQueryInfoA(request_handle_->get(), HTTP_QUERY_RAW_HEADERS_CRLF, raw.data(), &size,
                        nullptr)) {
      return;
    }
  }
  raw.resize(size);
  AddHeaderLines(raw, &response_.headers);
}

HttpResponse Exchange::ReadBody() {
  std::string buffer(max_chunk_, '\0');
  while (true) {
    // Only what has arrived is read: a read of a whole chunk would wait for a trickling peer
    // to fill it, and the rate check between reads would come too late.
    DWORD available = 0;
    if (!InternetQueryDataAvailable(request_handle_->get(), &available, 0, 0)) {
      return Fail(HttpStage::kReceive, GetLastError());
    }
    if (available == 0) break;
    const DWORD want = available < buffer.size() ? available : static_cast<DWORD>(buffer.size());
    DWORD got = 0;
    if (!InternetReadFile(request_handle_->get(), buffer.data(), want, &got)) {
      return Fail(HttpStage::kReceive, GetLastError());
    }
    if (got == 0) break;
    rate_->Moved(got);
    if (rate_->too_slow()) return Fail(HttpStage::kReceive, ERROR_INTERNET_TIMEOUT);
    if (sink_ && !sink_(response_.status, buffer.data(), got)) {
      return Fail(HttpStage::kSink, ERROR_CANCELLED);
    }
    response_.body_bytes += got;
  }
  // A connection closed before the announced length arrived is a broken transfer, not the end.
  const std::string length = response_.Header("Content-Length");
  if (!length.empty() && response_.Header("Transfer-Encoding").empty() &&
      response_.body_bytes < std::strtoull(length.c_str(), nullptr, 10)) {
    return Fail(HttpStage::kReceive, ERROR_INTERNET_CONNECTION_RESET);
  }
  return std::move(response_);
}

HttpResponse Exchange::Run() {
  if (!HasPlainAddress(request_)) {
    return Fail(HttpStage::kConnect, ERROR_INTERNET_INVALID_URL, kNoUsableAddress);
  }
  if (!HeadersAreClean(request_)) {
    return Fail(HttpStage::kConnect, ERROR_INVALID_PARAMETER, kControlInHeader);
  }
  if (!Open()) return Fail(HttpStage::kConnect, GetLastError());
  rate_ = std::make_unique<RateWatch>(options_, request_handle_.get());
  if (!SendOnce()) return Fail(body_failed_ ? HttpStage::kBody : HttpStage::kSend, GetLastError());
  ReadStatusAndHeaders();
  return ReadBody();
}

class WinInetHttpClient final : public HttpClient {
 public:
  explicit WinInetHttpClient(const HttpClientOptions& options) : options_(options) {
    if (options_.stall_timeout.count() < 1) options_.stall_timeout = std::chrono::seconds(1);
  }

  HttpResponse Send(const HttpRequest& request, const HttpSink& sink, size_t max_chunk) override {
    Exchange exchange(request, sink, max_chunk, options_);
    return exchange.Run();
  }
  bool HasUrlDownload() const override { return true; }
  HttpResponse DownloadToFile(const HttpRequest& request,
                              const std::filesystem::path& path) override {
    return UrlmonDownload(request, path, options_);
  }

 private:
  HttpClientOptions options_;
};

}  // namespace

std::unique_ptr<HttpClient> NewWinInetHttpClient(const HttpClientOptions& options) {
  return std::make_unique<WinInetHttpClient>(options);
}

}  // namespace qnmuro
