// The HTTP client over libcurl.
#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/http_client.h"

namespace qnmuro {

namespace {

// A wrong name is tolerated by switching off host verification; expired and not-yet-valid
// dates are tolerated here. Everything else about the chain must still hold.
int VerifyIgnoringDates(int preverify_ok, X509_STORE_CTX* store) {
  if (preverify_ok) return 1;
  const int err = X509_STORE_CTX_get_error(store);
  if (err == X509_V_ERR_CERT_HAS_EXPIRED || err == X509_V_ERR_CERT_NOT_YET_VALID) {
    X509_STORE_CTX_set_error(store, X509_V_OK);
    return 1;
  }
  return 0;
}

CURLcode SetUpSslContext(CURL*, void* ssl_ctx, void*) {
  SSL_CTX_set_verify(static_cast<SSL_CTX*>(ssl_ctx), SSL_VERIFY_PEER, VerifyIgnoringDates);
  return CURLE_OK;
}

// Letters, digits, '-', '.', '_': anything else would let the host change the URL's meaning.
bool IsPlainHost(const std::string& host) {
  if (host.empty()) return false;
  for (unsigned char c : host) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '-' || c == '.' || c == '_';
    if (!ok) return false;
  }
  return true;
}

std::string EncodeTarget(const std::string& target) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(target.size());
  for (unsigned char c : target) {
    if (c <= 0x20 || c == 0x7F) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  if (out.empty() || out[0] != '/') out.insert(out.begin(), '/');
  return out;
}

struct Transfer {
  CURL* curl;
  const HttpRequest* request;
  const HttpSink* sink;
  size_t max_chunk;
  HttpResponse* response;
  uint64_t body_sent = 0;
  bool body_failed = false;
  bool sink_refused = false;
  bool headers_complete = false;
};

size_t ReadBody(char* buffer, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const HttpRequest& r = *t->request;
  const size_t room = size * count;
  if (r.body_file != nullptr) {
    const uint64_t left = r.body_size - t->body_sent;
    const size_t want = left < room ? static_cast<size_t>(left) : room;
    if (want == 0) return 0;
    const size_t got = std::fread(buffer, 1, want, r.body_file);
    if (got == 0) {
      t->body_failed = true;
      return CURL_READFUNC_ABORT;
    }
    t->body_sent += got;
    return got;
  }
  const uint64_t left = r.body.size() - t->body_sent;
  const size_t n = left < room ? static_cast<size_t>(left) : room;
  std::memcpy(buffer, r.body.data() + t->body_sent, n);
  t->body_sent += n;
  return n;
}

// Called when an authentication challenge makes the body go out again.
int SeekBody(void* user, curl_off_t offset, int origin) {
  auto* t = static_cast<Transfer*>(user);
  if (origin != SEEK_SET || offset < 0) return CURL_SEEKFUNC_CANTSEEK;
  const HttpRequest& r = *t->request;
  if (r.body_file != nullptr) {
    const long long start =
        static_cast<long long>(ftello(r.body_file)) - static_cast<long long>(t->body_sent);
    if (fseeko(r.body_file, static_cast<off_t>(start + offset), SEEK_SET) != 0) {
      return CURL_SEEKFUNC_FAIL;
    }
  }
  t->body_sent = static_cast<uint64_t>(offset);
  return CURL_SEEKFUNC_OK;
}

size_t WriteBody(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const size_t total = size * count;
  if (t->sink != nullptr && *t->sink) {
    long status = 0;
    curl_easy_getinfo(t->curl, CURLINFO_RESPONSE_CODE, &status);
    for (size_t off = 0; off < total; off += t->max_chunk) {
      const size_t n = total - off < t->max_chunk ? total - off : t->max_chunk;
      if (!(*t->sink)(static_cast<int>(status), data + off, n)) {
        t->sink_refused = true;
        return 0;
      }
    }
  }
  t->response->body_bytes += total;
  return total;
}

size_t ReadHeader(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const size_t total = size * count;
  std::string line(data, total);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (line.rfind("HTTP/", 0) == 0) {  // a new response (after 1xx or an auth challenge)
    t->response->headers.clear();
    t->headers_complete = false;
  } else if (line.empty()) {
    t->headers_complete = true;
  } else {
    const size_t colon = line.find(':');
    if (colon != std::string::npos) {
      size_t v = colon + 1;
      while (v < line.size() && (line[v] == ' ' || line[v] == '\t')) ++v;
      t->response->headers.emplace_back(line.substr(0, colon), line.substr(v));
    }
  }
  return total;
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

  HttpResponse Send(const HttpRequest& request, const HttpSink& sink, size_t max_chunk) override;

 private:
  HttpClientOptions options_;
};

HttpResponse CurlHttpClient::Send(const HttpRequest& request, const HttpSink& sink,
                                  size_t max_chunk) {
  HttpResponse response;
  if (!IsPlainHost(request.host) || request.port <= 0 || request.port > 65535) {
    response.failed = HttpStage::kConnect;
    response.error_code = CURLE_URL_MALFORMAT;
    response.error_text = "no usable host or port";
    return response;
  }
  CURL* curl = curl_easy_init();
  if (curl == nullptr) {
    response.failed = HttpStage::kConnect;
    response.error_code = CURLE_FAILED_INIT;
    response.error_text = "the HTTP library cannot start";
    return response;
  }
  Transfer t{curl, &request, &sink, max_chunk == 0 ? 2048 : max_chunk, &response};
  char error_buffer[CURL_ERROR_SIZE] = {0};
  const std::string url = std::string(request.secure ? "https" : "http") + "://" + request.host +
                          ":" + std::to_string(request.port) + "/";
  const std::string target = EncodeTarget(request.target);

  curl_slist* headers = nullptr;
  bool has_content_type = false;
  for (const auto& [name, value] : request.headers) {
    if (strcasecmp(name.c_str(), "Content-Type") == 0) has_content_type = true;
    headers = curl_slist_append(headers, (name + ": " + value).c_str());
  }
  // Only what a plain client sends: no Accept, no Expect, no implicit form content type.
  headers = curl_slist_append(headers, "Accept:");
  headers = curl_slist_append(headers, "Expect:");
  if (!has_content_type) headers = curl_slist_append(headers, "Content-Type:");

  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error_buffer);
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_REQUEST_TARGET, target.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  // The system's proxy settings apply, except to this machine itself.
  curl_easy_setopt(curl, CURLOPT_NOPROXY, "localhost,127.0.0.1,::1");
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, 128L * 1024);
  if (!request.user_agent.empty()) {
    curl_easy_setopt(curl, CURLOPT_USERAGENT, request.user_agent.c_str());
  }
  if (!request.cookie.empty()) curl_easy_setopt(curl, CURLOPT_COOKIE, request.cookie.c_str());
  if (!request.user.empty()) {
    curl_easy_setopt(curl, CURLOPT_USERNAME, request.user.c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, request.password.c_str());
    // More than one scheme: nothing is sent until the server asks, then its choice is answered.
    curl_easy_setopt(curl, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC | CURLAUTH_DIGEST));
  }
  const bool has_body = request.body_file != nullptr || !request.body.empty();
  const curl_off_t body_size = static_cast<curl_off_t>(
      request.body_file != nullptr ? request.body_size : request.body.size());
  if (request.method == "GET") {
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
  } else if (request.method == "POST") {
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, has_body ? body_size : curl_off_t{0});
    if (has_body) {
      curl_easy_setopt(curl, CURLOPT_READFUNCTION, ReadBody);
      curl_easy_setopt(curl, CURLOPT_READDATA, &t);
      curl_easy_setopt(curl, CURLOPT_SEEKFUNCTION, SeekBody);
      curl_easy_setopt(curl, CURLOPT_SEEKDATA, &t);
    } else {
      curl_easy_setopt(curl, CURLOPT_POSTFIELDS, "");
    }
  } else {
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, request.method.c_str());
  }
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, ReadHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &t);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS,
                   static_cast<long>(options_.connect_timeout.count()));
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, static_cast<long>(options_.stall_timeout.count()));
  if (request.secure) {
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_CTX_FUNCTION, SetUpSslContext);
    if (!options_.ca_bundle.empty()) {
      curl_easy_setopt(curl, CURLOPT_CAINFO, options_.ca_bundle.c_str());
    }
  }

  const CURLcode rc = curl_easy_perform(curl);
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  response.status = static_cast<int>(status);
  if (rc != CURLE_OK) {
    response.error_code = rc;
    response.error_text = error_buffer[0] != '\0' ? error_buffer : curl_easy_strerror(rc);
    if (t.body_failed) {
      response.failed = HttpStage::kBody;
    } else if (t.sink_refused) {
      response.failed = HttpStage::kSink;
    } else if (rc == CURLE_URL_MALFORMAT) {
      response.failed = HttpStage::kConnect;
    } else if (t.headers_complete || response.body_bytes > 0) {
      response.failed = HttpStage::kReceive;
    } else {
      response.failed = HttpStage::kSend;
    }
  }
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  return response;
}

}  // namespace

std::unique_ptr<HttpClient> NewCurlHttpClient(const HttpClientOptions& options) {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  return std::make_unique<CurlHttpClient>(options);
}

}  // namespace qnmuro
