#include "oaserver/oa_server.h"

#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <mutex>

#include "base/error.h"
#include "base/text.h"
#include "common/base64.h"
#include "oaserver/deadline_server.h"
#include "oaserver/oa_store.h"
#include "platform/xml.h"

namespace qnmuro {
namespace {

constexpr size_t kMaxAgentBody = 1 << 20;
constexpr size_t kServeChunk = 256 * 1024;

std::string Result(const std::string& text) {
  XmlDocument doc;
  doc.LoadText("<result/>");
  std::u16string value = Utf8ToUtf16(text);
  for (char16_t& c : value) {
    if (c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') c = u'?';
  }
  doc.DocumentElement().SetText(value);
  return Utf16ToUtf8(doc.ToXml());
}

// Bytes as readable text: UTF-8 when they are, else the ANSI code page.
std::u16string AsText(const std::string& bytes) {
  std::u16string text = Utf8ToUtf16(bytes);
  if (Utf16ToUtf8(text) != bytes) text = FromAnsi(bytes);
  for (char16_t& c : text) {
    if ((c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || c == 0xFFFE || c == 0xFFFF) {
      c = 0xFFFD;
    }
  }
  return text;
}

std::string Printable(const std::string& bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (c <= 0x20 || c >= 0x7F || c == '"') {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string QueryOf(const std::string& target) {
  const size_t q = target.find('?');
  return q == std::string::npos ? std::string() : target.substr(q + 1);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The first value of a query parameter, percent-decoded, taken from the raw request target:
// a value may itself hold "=" (Base64 padding), which a key=value split would cut off.
std::string QueryParam(const std::string& target, const std::string& name) {
  const std::string query = QueryOf(target);
  size_t i = 0;
  while (i <= query.size()) {
    size_t end = query.find('&', i);
    if (end == std::string::npos) end = query.size();
    const std::string pair = query.substr(i, end - i);
    const size_t eq = pair.find('=');
    if (eq != std::string::npos && pair.compare(0, eq, name) == 0 && eq == name.size()) {
      std::string value;
      for (size_t k = eq + 1; k < pair.size(); ++k) {
        if (pair[k] == '%' && k + 2 < pair.size() && HexValue(pair[k + 1]) >= 0 &&
            HexValue(pair[k + 2]) >= 0) {
          value += static_cast<char>(HexValue(pair[k + 1]) * 16 + HexValue(pair[k + 2]));
          k += 2;
        } else {
          value += pair[k];
        }
      }
      return value;
    }
    i = end + 1;
  }
  return std::string();
}

}  // namespace

struct OaServer::Impl {
  Impl(const OaServerOptions& options)
      : store(options.root), users(options.users, options.auth), log(options.log) {}

  void Install(httplib::Server& server);
  void Serve(const httplib::Request& req, httplib::Response& res);
  void Upload(const httplib::Request& req, httplib::Response& res,
              const httplib::ContentReader& reader);
  void Confirmation(const httplib::Request& req, httplib::Response& res);
  void Agent(const httplib::Request& req, httplib::Response& res, const std::string& body);
  // False (and the reply set) when the request lacks valid credentials; else *user is the
  // user they prove (empty without users).
  bool Authorized(const httplib::Request& req, httplib::Response& res, std::string* user);
  // What tells the request's upload apart from others of its name.
  UploadOrigin OriginOf(const httplib::Request& req, const std::string& user) const;

  OaStore store;
  OaUsers users;
  std::function<void(const std::string&)> log;
  std::mutex log_mu;
  std::unique_ptr<httplib::Server> server;
};

bool OaServer::Impl::Authorized(const httplib::Request& req, httplib::Response& res,
                                std::string* user) {
  user->clear();
  if (!users.enabled()) return true;
  bool stale = false;
  *user = users.Authenticate(req.get_header_value("Authorization"), req.method, req.target, &stale);
  if (!user->empty()) return true;
  res.status = 401;
  res.set_header("WWW-Authenticate", users.Challenge(stale));
  res.set_content(Result("authorization required"), "text/xml");
  return false;
}

UploadOrigin OaServer::Impl::OriginOf(const httplib::Request& req, const std::string& user) const {
  return UploadOrigin{CurrentConnection(), req.get_header_value("Cookie"), user};
}

void OaServer::Impl::Serve(const httplib::Request& req, httplib::Response& res) {
  std::string user;
  if (!Authorized(req, res, &user)) return;
  const std::optional<std::filesystem::path> file = store.MapRequestPath(req.path);
  std::error_code ec;
  const uintmax_t size = file ? std::filesystem::file_size(*file, ec) : 0;
  std::FILE* raw = file && !ec ? std::fopen(file->c_str(), "rb") : nullptr;
  if (raw == nullptr) {
    res.status = 404;
    res.set_content(Result("not found"), "text/xml");
    return;
  }
  // A document's version carries its tag, which its upload later names (If-Match).
  if (OaStore::IsAttachmentPath(req.path)) {
    const std::string tag = store.TagOf(*file);
    if (!tag.empty()) res.set_header("ETag", tag);
  }
  auto handle = std::shared_ptr<std::FILE>(raw, std::fclose);
  auto buffer = std::make_shared<std::vector<char>>(kServeChunk);
  res.set_content_provider(static_cast<size_t>(size), "application/octet-stream",
                           [handle, buffer](size_t offset, size_t length, httplib::DataSink& sink) {
                             if (fseeko(handle.get(), static_cast<off_t>(offset), SEEK_SET) != 0)
                               return false;
                             const size_t want = length < buffer->size() ? length : buffer->size();
                             const size_t got = std::fread(buffer->data(), 1, want, handle.get());
                             if (got == 0) return false;
                             return sink.write(buffer->data(), got);
                           });
}

void OaServer::Impl::Upload(const httplib::Request& req, httplib::Response& res,
                            const httplib::ContentReader& reader) {
  // The add-in's credentials, when a client sends them with the body too, tell its uploads
  // apart; wrong ones prove nobody.
  std::string user;
  if (users.enabled() && req.has_header("Authorization")) {
    user = users.Authenticate(req.get_header_value("Authorization"), req.method, req.target);
  }
  // Only a framed body can be known to be whole: one read up to the connection's end may have
  // broken off anywhere.
  const bool chunked =
      req.get_header_value("Transfer-Encoding").find("chunked") != std::string::npos;
  const std::string reason =
      !chunked && !req.has_header("Content-Length")
          ? "an upload needs a Content-Length or chunks"
          : store.StoreUpload(QueryParam(req.target, "filename"), OriginOf(req, user),
                              [&](const std::function<bool(const char*, size_t)>& piece) {
                                return reader(piece) && (!chunked || CurrentBodyEndedChunked());
                              });
  if (!reason.empty()) {
    res.status = 400;
    res.set_content(Result(reason), "text/xml");
    return;
  }
  res.set_content(Result("success"), "text/xml");
}

void OaServer::Impl::Confirmation(const httplib::Request& req, httplib::Response& res) {
  std::string user;
  if (!Authorized(req, res, &user)) return;
  if (QueryParam(req.target, "method") != "replacecontent") {
    res.status = 400;
    res.set_content(Result("unsupported method " + QueryParam(req.target, "method")), "text/xml");
    return;
  }
  std::string encoded = QueryParam(req.target, "filename");
  std::string name;
  if (!IgnoreFailure([&] {
        const std::vector<uint8_t> bytes =
            Base64().Decode(std::vector<uint8_t>(encoded.begin(), encoded.end()));
        name.assign(bytes.begin(), bytes.end());
      })) {
    name.clear();
  }
  if (name.empty()) {
    res.status = 400;
    res.set_content(Result("invalid file name"), "text/xml");
    return;
  }
  OaStore::Condition condition;
  if (req.has_header("If-Match")) condition.if_match = req.get_header_value("If-Match");
  const std::string digest = req.get_header_value("Upload-Digest");
  if (digest.rfind("sha-256=", 0) == 0) condition.digest = digest.substr(8);
  const OaStore::Confirmed confirmed =
      store.Confirm(QueryParam(req.target, "unid"), name, OriginOf(req, user), condition);
  if (!confirmed.tag.empty()) res.set_header("ETag", confirmed.tag);
  if (confirmed.conflict) {
    res.status = 412;
    res.set_content(Result("conflict"), "text/xml");
    return;
  }
  if (!confirmed.reason.empty()) {
    res.status = 400;
    res.set_content(Result(confirmed.reason), "text/xml");
    return;
  }
  res.set_content(Result("success"), "text/xml");
}

void OaServer::Impl::Agent(const httplib::Request& req, httplib::Response& res,
                           const std::string& body) {
  std::string user;
  if (users.enabled()) {
    user = users.SessionUser(req.get_header_value("Cookie"));
    if (user.empty()) {
      res.status = 403;
      res.set_content(Result("no valid session"), "text/xml");
      return;
    }
  }
  const size_t slash = req.path.rfind('/');
  const std::string agent = slash == std::string::npos ? req.path : req.path.substr(slash + 1);
  if (agent == "ping") {
    res.set_content(Result("success"), "text/xml");
    return;
  }
  if (agent != "echo") {
    res.status = 404;
    res.set_content(Result("unknown agent " + agent), "text/xml");
    return;
  }
  XmlDocument doc;
  doc.LoadText("<echo><agent/><query/><body/><user/></echo>");
  const XmlNode root = doc.DocumentElement();
  root.ChildElement(u"agent").SetText(AsText(agent));
  root.ChildElement(u"query").SetText(AsText(QueryOf(req.target)));
  root.ChildElement(u"body").SetText(AsText(body));
  root.ChildElement(u"user").SetText(AsText(user));
  res.set_content(Utf16ToUtf8(doc.ToXml()), "text/xml");
}

void OaServer::Impl::Install(httplib::Server& s) {
  // The add-in labels its raw upload body multipart/form-data without a boundary; the body
  // must reach the handler untouched, not through the form parser.
  s.set_pre_routing_handler([](const httplib::Request& req, httplib::Response&) {
    auto& r = const_cast<httplib::Request&>(req);
    const auto it = r.headers.find("Content-Type");
    if (it != r.headers.end() && it->second.rfind("multipart/form-data", 0) == 0 &&
        it->second.find("boundary=") == std::string::npos) {
      r.headers.erase(it);
      r.headers.emplace("Content-Type", "application/octet-stream");
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });
  s.Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
    if (req.has_param("OpenAgent")) {
      Agent(req, res, "");
    } else {
      Serve(req, res);
    }
  });
  s.Post(".*", [this](const httplib::Request& req, httplib::Response& res,
                      const httplib::ContentReader& reader) {
    if (req.path == "/upload.muro") {
      Upload(req, res, reader);
      return;
    }
    std::string body;
    bool too_big = false;
    // A POST without Content-Length (curl -X POST) has no body; asking for one would fail.
    if (req.has_header("Content-Length") || req.has_header("Transfer-Encoding")) {
      reader([&](const char* data, size_t size) {
        if (body.size() + size > kMaxAgentBody) too_big = true;
        if (!too_big) body.append(data, size);
        return true;
      });
    }
    if (QueryParam(req.target, "action") == "upload") {
      Confirmation(req, res);
    } else if (req.has_param("OpenAgent")) {
      if (too_big) {
        res.status = 413;
        res.set_content(Result("request body too large"), "text/xml");
      } else {
        Agent(req, res, body);
      }
    } else {
      Serve(req, res);
    }
  });
  s.set_logger([this](const httplib::Request& req, const httplib::Response& res) {
    if (!log) return;
    std::string length = res.get_header_value("Content-Length");
    if (length.empty()) length = std::to_string(res.body.size());
    std::lock_guard<std::mutex> lock(log_mu);
    log(req.remote_addr + " \"" + req.method + " " + Printable(req.target) + "\" " +
        std::to_string(res.status) + " " + length);
  });
}

OaServer::OaServer(OaServerOptions options) : options_(std::move(options)) {}

OaServer::~OaServer() {
  Stop();
}

int OaServer::Start(const std::string& host, int port, std::string* error) {
  std::string ignored;
  if (error == nullptr) error = &ignored;
  if (impl_) {
    *error = "the server is already running";
    return -1;
  }
  std::error_code ec;
  if (!std::filesystem::is_directory(options_.root, ec)) {
    *error = "no such directory: " + options_.root.string();
    return -1;
  }
  auto impl = std::make_unique<Impl>(options_);
  ConnectionLimits limits;
  limits.head_deadline = options_.head_deadline;
  limits.threads = options_.threads;
  limits.waiting = options_.waiting;
  limits.min_body_rate = options_.min_body_rate;
  limits.busy_body = Result("the server is busy: try again");
  limits.too_large_body = Result("request head too large");
  if (secure()) {
    auto tls = NewDeadlineTlsServer(options_.cert_file, options_.key_file, limits);
    if (!tls->is_valid()) {
      *error = "cannot use certificate " + options_.cert_file + " with key " + options_.key_file;
      return -1;
    }
    impl->server = std::move(tls);
  } else {
    impl->server = NewDeadlineServer(limits);
  }
  // Uploads that a killed server (or client) broke off left their temporary files behind.
  impl->store.RemoveStaleUploads();
  impl->Install(*impl->server);
  // Address reuse for a quick restart, but never two servers sharing one port.
  impl->server->set_socket_options([](socket_t sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const void*>(&yes), sizeof yes);
  });
  int bound = -1;
  if (port == 0) {
    bound = impl->server->bind_to_any_port(host);
  } else if (impl->server->bind_to_port(host, port)) {
    bound = port;
  }
  if (bound <= 0) {
    *error = "cannot listen on " + host + ":" + std::to_string(port);
    return -1;
  }
  httplib::Server* server = impl->server.get();
  impl_ = std::move(impl);
  thread_ = std::thread([server] { server->listen_after_bind(); });
  for (int i = 0; i < 500 && !server->is_running(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  host_ = host;
  port_ = bound;
  return bound;
}

void OaServer::Stop() {
  if (!impl_) return;
  impl_->server->stop();
  if (thread_.joinable()) thread_.join();
  impl_.reset();
}

std::string OaServer::BaseUrl() const {
  return std::string(secure() ? "https" : "http") + "://" + host_ + ":" + std::to_string(port_);
}

}  // namespace qnmuro
