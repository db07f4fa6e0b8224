// The HTTP client over libcurl.
//
// libcurl is C: nothing may unwind through its frames. Every callback runs its step under
// CurlExchange::Guard, which keeps the first exception, answers libcurl with that callback's
// abort value, and lets Run() rethrow it once curl_easy_perform has returned.
#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <strings.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <string_view>
#include <utility>

#include "platform/http_client.h"
#include "platform/http_wire.h"
#include "platform/services_posix.h"

namespace qnmuro {

namespace {

constexpr char kCannotStart[] = "the HTTP library cannot start";

struct EasyCleanup {
  void operator()(CURL* curl) const noexcept { curl_easy_cleanup(curl); }
};
using EasyHandle = std::unique_ptr<CURL, EasyCleanup>;

// The extra header lines of one request, freed with it.
class HeaderList {
 public:
  HeaderList() = default;
  ~HeaderList() { curl_slist_free_all(list_); }
  HeaderList(const HeaderList&) = delete;
  HeaderList& operator=(const HeaderList&) = delete;

  // False when the library could not take the line; the list keeps what it had.
  bool Append(const std::string& line) {
    curl_slist* grown = curl_slist_append(list_, line.c_str());
    if (grown == nullptr) return false;
    list_ = grown;
    return true;
  }
  curl_slist* get() const { return list_; }

 private:
  curl_slist* list_ = nullptr;
};

// A wrong name is tolerated by switching off host verification; expired and not-yet-valid
// dates are tolerated here. Everything else about the chain must still hold.
int VerifyIgnoringDates(int preverify_ok, X509_STORE_CTX* store) noexcept {
  if (preverify_ok) return 1;
  const int err = X509_STORE_CTX_get_error(store);
  if (err == X509_V_ERR_CERT_HAS_EXPIRED || err == X509_V_ERR_CERT_NOT_YET_VALID) {
    X509_STORE_CTX_set_error(store, X509_V_OK);
    return 1;
  }
  return 0;
}

// One request on its own easy handle: the options, the state the callbacks share, and the
// outcome. Lives for one Send().
class CurlExchange {
 public:
  CurlExchange(const HttpRequest& request, const HttpSink& sink, size_t max_chunk,
               const HttpClientOptions& options)
      : request_(request),
        sink_(sink),
        max_chunk_(max_chunk == 0 ? 2048 : max_chunk),
        options_(options) {}
  CurlExchange(const CurlExchange&) = delete;
  CurlExchange& operator=(const CurlExchange&) = delete;

  // Sends the request and collects the response; rethrows what a callback threw.
  HttpResponse Run();

  // Runs one callback's step; after a throw (now or in an earlier callback) answers with
  // `abort_value`, which makes libcurl end the transfer.
  template <class Result, class Step>
  Result Guard(Result abort_value, Step&& step) noexcept {
    if (thrown_) return abort_value;
    try {
      return step();
    } catch (...) {
      thrown_ = std::current_exception();
      return abort_value;
    }
  }

  // The callbacks' steps.
  size_t ReadBody(char* buffer, size_t room);
  int SeekBody(curl_off_t offset, int origin);
  size_t WriteBody(const char* data, size_t total);
  size_t ReadHeader(const char* data, size_t total);
  // Fails the transfer (non-zero) once its average rate over the slow window is too low.
  int CheckRate(curl_off_t dlnow, curl_off_t ulnow);

 private:
  HttpResponse Refuse(HttpStage stage, CURLcode code, const char* text);
  // Each sets one group of options; the first option libcurl refuses is kept in setup_failure_.
  bool SetHeaders();
  void SetAddress();
  void SetIdentity();
  void SetMethodAndBody();
  void SetReceivers();
  void SetLimits();
  void SetTls();
  void ClassifyFailure(CURLcode rc);

  template <class Value>
  void Option(CURLoption option, Value value) {
    const CURLcode rc = curl_easy_setopt(handle_.get(), option, value);
    if (rc != CURLE_OK && setup_failure_ == CURLE_OK) setup_failure_ = rc;
  }

  const HttpRequest& request_;
  const HttpSink& sink_;
  const size_t max_chunk_;
  const HttpClientOptions& options_;

  HeaderList headers_;
  std::string url_;
  std::string target_;
  char error_buffer_[CURL_ERROR_SIZE] = {0};
  CURLcode setup_failure_ = CURLE_OK;

  HttpResponse response_;
  uint64_t body_sent_ = 0;
  bool body_failed_ = false;
  bool sink_refused_ = false;
  bool headers_complete_ = false;
  // The rate check: bytes moved so far (both directions, across the requests an
  // authentication challenge adds).
  uint64_t moved_ = 0;
  uint64_t last_counted_ = 0;
  RateFloor rate_floor_{options_, RateFloor::Clock::now()};
  bool too_slow_ = false;
  std::exception_ptr thrown_;
  // Last, so that it is cleaned up first: the handle points at the members above.
  EasyHandle handle_;
};

// The C entry points libcurl calls; each hands its step to the exchange under Guard.

size_t ReadBodyCallback(char* buffer, size_t size, size_t count, void* user) noexcept {
  auto* x = static_cast<CurlExchange*>(user);
  return x->Guard(size_t{CURL_READFUNC_ABORT}, [&] { return x->ReadBody(buffer, size * count); });
}

int SeekBodyCallback(void* user, curl_off_t offset, int origin) noexcept {
  auto* x = static_cast<CurlExchange*>(user);
  return x->Guard(int{CURL_SEEKFUNC_FAIL}, [&] { return x->SeekBody(offset, origin); });
}

// Any count other than the one given aborts the transfer.
size_t WriteBodyCallback(char* data, size_t size, size_t count, void* user) noexcept {
  auto* x = static_cast<CurlExchange*>(user);
  return x->Guard(size_t{0}, [&] { return x->WriteBody(data, size * count); });
}

size_t HeaderCallback(char* data, size_t size, size_t count, void* user) noexcept {
  auto* x = static_cast<CurlExchange*>(user);
  return x->Guard(size_t{0}, [&] { return x->ReadHeader(data, size * count); });
}

int ProgressCallback(void* user, curl_off_t, curl_off_t dlnow, curl_off_t,
                     curl_off_t ulnow) noexcept {
  auto* x = static_cast<CurlExchange*>(user);
  return x->Guard(1, [&] { return x->CheckRate(dlnow, ulnow); });
}

CURLcode SslContextCallback(CURL*, void* ssl_ctx, void* user) noexcept {
  auto* x = static_cast<CurlExchange*>(user);
  return x->Guard(CURLE_ABORTED_BY_CALLBACK, [&] {
    SSL_CTX_set_verify(static_cast<SSL_CTX*>(ssl_ctx), SSL_VERIFY_PEER, VerifyIgnoringDates);
    return CURLE_OK;
  });
}

HttpResponse CurlExchange::Run() {
  if (!HasPlainAddress(request_)) {
    return Refuse(HttpStage::kConnect, CURLE_URL_MALFORMAT, kNoUsableAddress);
  }
  if (!HeadersAreClean(request_)) {
    return Refuse(HttpStage::kConnect, CURLE_BAD_FUNCTION_ARGUMENT, kControlInHeader);
  }
  handle_.reset(curl_easy_init());
  if (!handle_) return Refuse(HttpStage::kConnect, CURLE_FAILED_INIT, kCannotStart);
  if (!SetHeaders()) return Refuse(HttpStage::kConnect, CURLE_OUT_OF_MEMORY, kCannotStart);
  SetAddress();
  SetIdentity();
  SetMethodAndBody();
  SetReceivers();
  SetLimits();
  if (request_.secure) SetTls();
  if (setup_failure_ != CURLE_OK) return Refuse(HttpStage::kConnect, setup_failure_, kCannotStart);

  rate_floor_ = RateFloor(options_, RateFloor::Clock::now());
  const CURLcode rc = curl_easy_perform(handle_.get());
  if (thrown_) std::rethrow_exception(thrown_);
  long status = 0;
  curl_easy_getinfo(handle_.get(), CURLINFO_RESPONSE_CODE, &status);
  response_.status = static_cast<int>(status);
  if (rc != CURLE_OK) ClassifyFailure(rc);
  return std::move(response_);
}

HttpResponse CurlExchange::Refuse(HttpStage stage, CURLcode code, const char* text) {
  response_.failed = stage;
  response_.error_code = code;
  response_.error_text = text;
  return std::move(response_);
}

// The given headers, then blanks for what libcurl would add of its own.
bool CurlExchange::SetHeaders() {
  bool has_content_type = false;
  for (const auto& [name, value] : request_.headers) {
    if (strcasecmp(name.c_str(), "Content-Type") == 0) has_content_type = true;
    if (!headers_.Append(name + ": " + value)) return false;
  }
  // Only what a plain client sends: no Accept, no Expect, no implicit form content type.
  if (!headers_.Append("Accept:") || !headers_.Append("Expect:")) return false;
  return has_content_type || headers_.Append("Content-Type:");
}

void CurlExchange::SetAddress() {
  url_ = std::string(request_.secure ? "https" : "http") + "://" + request_.host + ":" +
         std::to_string(request_.port) + "/";
  target_ = EncodeTarget(request_.target);
  Option(CURLOPT_ERRORBUFFER, error_buffer_);
  Option(CURLOPT_URL, url_.c_str());
  Option(CURLOPT_REQUEST_TARGET, target_.c_str());
  Option(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  Option(CURLOPT_FOLLOWLOCATION, 0L);
  Option(CURLOPT_NOSIGNAL, 1L);
  // The system's proxy settings apply, except to this machine itself.
  Option(CURLOPT_NOPROXY, "localhost,127.0.0.1,::1");
  Option(CURLOPT_HTTPHEADER, headers_.get());
  // Large reads and sends: fewer calls per byte on a fast line (the library's largest are
  // 512 KiB and 2 MiB).
  Option(CURLOPT_BUFFERSIZE, 512L * 1024);
  Option(CURLOPT_UPLOAD_BUFFERSIZE, 512L * 1024);
}

void CurlExchange::SetIdentity() {
  if (!request_.user_agent.empty()) Option(CURLOPT_USERAGENT, request_.user_agent.c_str());
  if (!request_.cookie.empty()) Option(CURLOPT_COOKIE, request_.cookie.c_str());
  if (!request_.user.empty()) {
    Option(CURLOPT_USERNAME, request_.user.c_str());
    Option(CURLOPT_PASSWORD, request_.password.c_str());
    // More than one scheme: nothing is sent until the server asks, then its choice is answered.
    Option(CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC | CURLAUTH_DIGEST));
  }
}

void CurlExchange::SetMethodAndBody() {
  const bool has_body = request_.body_file != nullptr || !request_.body.empty();
  const curl_off_t body_size = static_cast<curl_off_t>(
      request_.body_file != nullptr ? request_.body_size : request_.body.size());
  if (request_.method == "GET") {
    Option(CURLOPT_HTTPGET, 1L);
  } else if (request_.method == "POST") {
    Option(CURLOPT_POST, 1L);
    Option(CURLOPT_POSTFIELDSIZE_LARGE, has_body ? body_size : curl_off_t{0});
    if (has_body) {
      Option(CURLOPT_READFUNCTION, ReadBodyCallback);
      Option(CURLOPT_READDATA, this);
      Option(CURLOPT_SEEKFUNCTION, SeekBodyCallback);
      Option(CURLOPT_SEEKDATA, this);
    } else {
      Option(CURLOPT_POSTFIELDS, "");
    }
  } else {
    Option(CURLOPT_CUSTOMREQUEST, request_.method.c_str());
  }
}

void CurlExchange::SetReceivers() {
  Option(CURLOPT_WRITEFUNCTION, WriteBodyCallback);
  Option(CURLOPT_WRITEDATA, this);
  Option(CURLOPT_HEADERFUNCTION, HeaderCallback);
  Option(CURLOPT_HEADERDATA, this);
}

void CurlExchange::SetLimits() {
  const auto connect =
      request_.connect_timeout.count() > 0 ? request_.connect_timeout : options_.connect_timeout;
  const auto stall =
      request_.stall_timeout.count() > 0 ? request_.stall_timeout : options_.stall_timeout;
  Option(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connect.count()));
  Option(CURLOPT_LOW_SPEED_LIMIT, 1L);
  Option(CURLOPT_LOW_SPEED_TIME, static_cast<long>(stall.count()));
  if (options_.slow_window.count() > 0 && options_.slow_rate > 0) {
    Option(CURLOPT_XFERINFOFUNCTION, ProgressCallback);
    Option(CURLOPT_XFERINFODATA, this);
    Option(CURLOPT_NOPROGRESS, 0L);
  }
}

void CurlExchange::SetTls() {
  Option(CURLOPT_SSL_VERIFYPEER, 1L);
  Option(CURLOPT_SSL_VERIFYHOST, 0L);
  Option(CURLOPT_SSL_CTX_FUNCTION, SslContextCallback);
  Option(CURLOPT_SSL_CTX_DATA, this);
  if (!options_.ca_bundle.empty()) Option(CURLOPT_CAINFO, options_.ca_bundle.c_str());
}

// Names the stage at which a transfer that libcurl ended with `rc` stopped.
void CurlExchange::ClassifyFailure(CURLcode rc) {
  response_.error_code = rc;
  response_.error_text = error_buffer_[0] != '\0' ? error_buffer_ : curl_easy_strerror(rc);
  if (too_slow_) {
    response_.too_slow = true;
    response_.error_text = rate_floor_.Explanation();
  }
  switch (rc) {
    case CURLE_COULDNT_CONNECT:
      response_.trouble = HttpTrouble::kRefused;
      break;
    case CURLE_OPERATION_TIMEDOUT:
      response_.trouble = HttpTrouble::kTimedOut;
      break;
    case CURLE_COULDNT_RESOLVE_HOST:
      response_.trouble = HttpTrouble::kNoHost;
      break;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
      response_.trouble = HttpTrouble::kTls;
      break;
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
      response_.trouble = HttpTrouble::kBrokenOff;
      break;
    default:
      response_.trouble = HttpTrouble::kOther;
  }
  if (too_slow_) response_.trouble = HttpTrouble::kTimedOut;
  if (body_failed_) {
    response_.failed = HttpStage::kBody;
  } else if (sink_refused_) {
    response_.failed = HttpStage::kSink;
  } else if (rc == CURLE_URL_MALFORMAT) {
    response_.failed = HttpStage::kConnect;
  } else if (headers_complete_ || response_.body_bytes > 0) {
    response_.failed = HttpStage::kReceive;
  } else {
    response_.failed = HttpStage::kSend;
  }
}

size_t CurlExchange::ReadBody(char* buffer, size_t room) {
  if (request_.body_file != nullptr) {
    const uint64_t left = request_.body_size - body_sent_;
    const size_t want = left < room ? static_cast<size_t>(left) : room;
    if (want == 0) return 0;
    const size_t got = std::fread(buffer, 1, want, request_.body_file);
    if (got == 0) {
      body_failed_ = true;
      return CURL_READFUNC_ABORT;
    }
    body_sent_ += got;
    return got;
  }
  const uint64_t left = request_.body.size() - body_sent_;
  const size_t n = left < room ? static_cast<size_t>(left) : room;
  std::memcpy(buffer, request_.body.data() + body_sent_, n);
  body_sent_ += n;
  return n;
}

// Called when an authentication challenge makes the body go out again.
int CurlExchange::SeekBody(curl_off_t offset, int origin) {
  if (origin != SEEK_SET || offset < 0) return CURL_SEEKFUNC_CANTSEEK;
  if (request_.body_file != nullptr) {
    const long long start =
        static_cast<long long>(ftello(request_.body_file)) - static_cast<long long>(body_sent_);
    if (fseeko(request_.body_file, static_cast<off_t>(start + offset), SEEK_SET) != 0) {
      return CURL_SEEKFUNC_FAIL;
    }
  }
  body_sent_ = static_cast<uint64_t>(offset);
  return CURL_SEEKFUNC_OK;
}

size_t CurlExchange::WriteBody(const char* data, size_t total) {
  if (sink_) {
    long status = 0;
    curl_easy_getinfo(handle_.get(), CURLINFO_RESPONSE_CODE, &status);
    for (size_t off = 0; off < total; off += max_chunk_) {
      const size_t n = total - off < max_chunk_ ? total - off : max_chunk_;
      if (!sink_(static_cast<int>(status), data + off, n)) {
        sink_refused_ = true;
        return 0;
      }
    }
  }
  response_.body_bytes += total;
  return total;
}

size_t CurlExchange::ReadHeader(const char* data, size_t total) {
  std::string line(data, total);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (line.rfind("HTTP/", 0) == 0) {  // a new response (after 1xx or an auth challenge)
    response_.headers.clear();
    headers_complete_ = false;
    // "HTTP/1.1 404 Not Found": the reason phrase follows the second blank.
    const size_t code = line.find(' ');
    const size_t phrase = code == std::string::npos ? code : line.find(' ', code + 1);
    response_.reason = phrase == std::string::npos ? std::string() : line.substr(phrase + 1);
  } else if (line.empty()) {
    headers_complete_ = true;
  } else {
    AddHeaderLine(line, &response_.headers);
  }
  return total;
}

int CurlExchange::CheckRate(curl_off_t dlnow, curl_off_t ulnow) {
  // The counters start again at 0 for the request that answers a challenge.
  const uint64_t counted =
      static_cast<uint64_t>(dlnow > 0 ? dlnow : 0) + static_cast<uint64_t>(ulnow > 0 ? ulnow : 0);
  moved_ += counted >= last_counted_ ? counted - last_counted_ : counted;
  last_counted_ = counted;
  if (!rate_floor_.TooSlow(moved_, RateFloor::Clock::now())) return 0;
  too_slow_ = true;
  return 1;
}

class CurlHttpClient final : public HttpClient {
 public:
  explicit CurlHttpClient(const HttpClientOptions& options) : options_(options) {
    if (options_.ca_bundle.empty()) {
      const char* env = std::getenv("QNMURO_CA_BUNDLE");
      if (env != nullptr) options_.ca_bundle = env;
    }
    if (options_.stall_timeout.count() < 1) options_.stall_timeout = std::chrono::seconds(1);
  }

  HttpResponse Send(const HttpRequest& request, const HttpSink& sink, size_t max_chunk) override {
    CurlExchange exchange(request, sink, max_chunk, options_);
    return exchange.Run();
  }

 private:
  HttpClientOptions options_;
};

}  // namespace

std::unique_ptr<HttpClient> NewCurlHttpClient(const HttpClientOptions& options) {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  return std::make_unique<CurlHttpClient>(options);
}

}  // namespace qnmuro
