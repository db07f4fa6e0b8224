// The HTTP client the add-in transfers files and calls agents with: one synchronous request at a
// time, on the caller's thread.
//
// What every implementation guarantees:
//   - exactly one request is sent per Send() (plus the repeat that answering an authentication
//     challenge needs); redirects are never followed and nothing is cached;
//   - the request carries the method, the target exactly as given, Host, User-Agent, the given
//     headers, Content-Length when there is a body, the cookie when given, Authorization when
//     the server asked for credentials (basic or digest), and nothing else of its own (no Accept,
//     no Expect: 100-continue, no Content-Type unless given);
//   - HTTPS verifies that the server's chain leads to a trusted CA, but accepts a certificate
//     for another host name and one whose dates have passed or not yet come;
//   - a connection that cannot be made within the connect time-out, a transfer that moves no
//     byte for the stall time-out, or one whose average rate over the slow window stays under
//     the slow rate, fails: Send() never waits forever, not even for a peer that trickles;
//   - no header line carries a control character: a request whose header values, cookie, user
//     agent or user name hold one (CR, LF, NUL, any byte under 0x20, DEL) is refused before
//     anything is sent (stage kConnect).
#ifndef QNMURO_PLATFORM_HTTP_CLIENT_H_
#define QNMURO_PLATFORM_HTTP_CLIENT_H_

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qnmuro {

// All texts here are bytes as they go on the wire (the add-in converts to the ANSI code page).
struct HttpRequest {
  std::string method = "POST";
  bool secure = false;  // HTTPS
  std::string host;     // host name or address, no port
  int32_t port = 80;
  std::string target;  // path and query, sent as given; bytes a request line cannot carry
                       // raw (controls, space, DEL) are percent-encoded
  std::string user_agent;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string user;  // credentials offered when the server asks; none when user is empty
  std::string password;
  std::string cookie;  // "name=value" text for the Cookie header; none when empty
  // Deadlines of this request alone, shorter than the client's (HttpClientOptions); 0 takes
  // the client's.
  std::chrono::milliseconds connect_timeout{0};
  std::chrono::seconds stall_timeout{0};

  // Body: either from memory or streamed from an open file (from its current position, exactly
  // body_size bytes). No body when both are empty; a POST without body sends Content-Length 0.
  std::string body;
  std::FILE* body_file = nullptr;  // not owned
  uint64_t body_size = 0;
};

// Where a failed request stopped.
enum class HttpStage {
  kNone,     // no failure
  kConnect,  // the address cannot be used (no host, bad host or port)
  kSend,     // connecting, sending, or receiving the status and headers failed
  kReceive,  // the body broke off (closed, stalled) after the headers arrived
  kBody,     // the request body could not be read from its file
  kSink,     // the response sink refused a chunk
};

// What kind of trouble stopped a request, for saying it in words.
enum class HttpTrouble {
  kNone,
  kRefused,    // nothing accepts connections at the address
  kTimedOut,   // no connection, or no byte, within the time allowed
  kNoHost,     // the host name does not resolve
  kTls,        // the TLS handshake or the server's certificate failed
  kBrokenOff,  // the connection closed or broke in the middle of the exchange
  kOther,
};

struct HttpResponse {
  int status = 0;
  std::string reason;  // the status line's reason phrase as the server sent it ("Not Found")
  std::vector<std::pair<std::string, std::string>> headers;  // of the final response
  uint64_t body_bytes = 0;                                   // bytes handed to the sink

  HttpStage failed = HttpStage::kNone;
  long error_code = 0;     // the library's error code (curl's CURLcode), 0 when none
  std::string error_text;  // the library's explanation, English, for diagnostics
  bool too_slow = false;   // ended because the average rate stayed under the slow rate
  HttpTrouble trouble = HttpTrouble::kNone;  // set with `failed` where the library tells

  bool ok() const { return failed == HttpStage::kNone; }
  // The first header of that name (ASCII case-insensitive), or empty.
  std::string Header(std::string_view name) const {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    for (const auto& [key, value] : headers) {
      if (key.size() != name.size()) continue;
      bool same = true;
      for (size_t i = 0; i < key.size() && same; ++i) same = lower(key[i]) == lower(name[i]);
      if (same) return value;
    }
    return std::string();
  }
};

// The reason a request failed or was refused, in plain English words, for a person: the
// status and reason phrase the server gave (and the user it refused, at 401 and 403), or what
// kept the exchange from happening, with the address. Empty for a 2xx or 3xx answer.
std::string DescribeHttpTrouble(const HttpRequest& request, const HttpResponse& response);

// Receives the body of each response in order, exactly the bytes received, in chunks of at
// most max_chunk bytes, with that response's status (bodies of challenges that are answered
// are not delivered). Returning false aborts the transfer (stage kSink). A sink that throws
// aborts it too: the connection is released and the exception reaches the caller of Send().
using HttpSink = std::function<bool(int status, const char* data, size_t size)>;

class HttpClient {
 public:
  virtual ~HttpClient() = default;

  // Sends one request and waits for the whole response; never throws for network or server
  // faults (they are reported in the response), only what the sink throws. The sink may be
  // empty: the body is discarded.
  virtual HttpResponse Send(const HttpRequest& request, const HttpSink& sink,
                            size_t max_chunk = 2048) = 0;

  // Whether this client has the platform's URL download service (DownloadToFile).
  virtual bool HasUrlDownload() const { return false; }
  // The platform's URL download service: one GET of the request's address into the file at
  // `path` (created or replaced; after a failure it may hold part of the body), with the same
  // header rules and limits as Send(). A redirect is not followed: its status and Location
  // come back for the caller to judge. Without the service it fails at once (kConnect).
  virtual HttpResponse DownloadToFile(const HttpRequest& /*request*/,
                                      const std::filesystem::path& /*path*/) {
    HttpResponse response;
    response.failed = HttpStage::kConnect;
    response.error_text = "no URL download service";
    return response;
  }
};

struct HttpClientOptions {
  std::chrono::milliseconds connect_timeout{60000};
  // A transfer that moves no byte for this long fails (whole seconds, at least 1).
  std::chrono::seconds stall_timeout{60};
  // A transfer that, once it has run for slow_window, has moved fewer than slow_rate bytes a
  // second on average over the last slow_window (request and response bodies together) fails
  // with too_slow set. Either at 0 switches the check off.
  std::chrono::seconds slow_window{60};
  uint64_t slow_rate = 1024;  // bytes per second
  // PEM file of trusted CAs; empty: QNMURO_CA_BUNDLE, else the system's.
  std::string ca_bundle;
};

// Forwards every call to another client; tests derive from it to inject faults.
class HttpClientWrapper : public HttpClient {
 public:
  explicit HttpClientWrapper(HttpClient* target) : target_(target) {}
  HttpResponse Send(const HttpRequest& request, const HttpSink& sink,
                    size_t max_chunk = 2048) override {
    return target_->Send(request, sink, max_chunk);
  }
  bool HasUrlDownload() const override { return target_->HasUrlDownload(); }
  HttpResponse DownloadToFile(const HttpRequest& request,
                              const std::filesystem::path& path) override {
    return target_->DownloadToFile(request, path);
  }

 protected:
  HttpClient* target() const { return target_; }

 private:
  HttpClient* target_;
};

}  // namespace qnmuro

#endif  // QNMURO_PLATFORM_HTTP_CLIENT_H_
