#include "transfer/http_operation.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "base/text.h"
#include "common/utils.h"
#include "common/velto_log.h"
#include "platform/file_io.h"
#include "platform/http_client.h"
#include "platform/xml.h"
#include "transfer/url_request.h"
#include "transfer/work_path.h"

namespace qnmuro {
namespace {

namespace fs = std::filesystem;

constexpr char16_t kUploadHandler[] = u"/upload.muro?filename=";
constexpr char16_t kConfirmParameter[] = u"&lastflag=last&filename=";
constexpr char16_t kReplyFile[] = u"uploadres.xml";
// Temporary names a download may take beside its target: "<target>.part", then .part1 to .part99.
constexpr int kPartNames = 100;

constexpr char16_t kNoSession[] = u"无法初始化Internet连接";
constexpr char16_t kNoConnection[] = u"无法打开Internet连接";
constexpr char16_t kNotSent[] = u"无法发送Internet请求";
constexpr char16_t kNotReceived[] = u"无法读取Internet数据";
constexpr char16_t kTooSlow[] = u"传输速度过慢，已中止";
constexpr char16_t kOutsideWorkDir[] = u"本地文件不在工作目录中：";

constexpr char16_t kStreamLine[] = u"通过wininet下载文件时发生错误：";
constexpr char16_t kFallbackLine[] = u"通过二进制下载文件时发生错误：";
constexpr char16_t kWriteLine[] = u"写入文件时发生错误：";
constexpr char16_t kUploadLine[] = u"通过wininet上传文件时发生错误：";

// A failed local write, with errno as the last system error.
Error WriteError(int err) {
  SetLastSystemError(err);
  if (err == ENOSPC || err == EFBIG) return MakeError(kErrDiskFull);
  return MakeError(kErrPathAccess);
}

bool IsRedirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// A Location that names a scheme (the text before its first "://", as UrlOperation reads it)
// must name http or https: anything else (ftp:, file:, ...) would be spoken to as plain HTTP.
// One without "://" keeps the URL operation's own rules.
bool IsHttpLocation(const std::u16string& location) {
  const size_t p = location.find(u"://");
  if (p == std::u16string::npos) return true;
  const std::u16string scheme = AsciiLower(location.substr(0, p));
  return scheme == u"http" || scheme == u"https";
}

// The reply's line breaks as character references, so that it stays on its log line; in text
// and attribute values that is the same XML.
std::u16string OnOneLine(const std::u16string& xml) {
  std::u16string out;
  out.reserve(xml.size());
  for (char16_t c : xml) {
    if (c == u'\n') {
      out += u"&#10;";
    } else if (c == u'\r') {
      out += u"&#13;";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

HttpOperation::HttpOperation(Context& ctx) : ctx_(ctx) {}

HttpOperation::~HttpOperation() {
  DiscardDestination();
}

void HttpOperation::SetHttpUrl(std::u16string url) {
  http_url_ = std::move(url);
  url_.SetUrl(http_url_);
}

std::u16string HttpOperation::ReplyFilePath() const {
  return ctx_.workDir + kPathSeparator + kReplyFile;
}

RequestParty HttpOperation::Party(bool session_cookie) const {
  return RequestParty{session_cookie, http_user_, http_password_, origin_};
}

bool HttpOperation::PrepareRequest(HttpRequest* request) {
  if (ctx_.http == nullptr) {
    SetLastSystemError(0);
    errorMessage_ = kNoSession;
    return false;
  }
  if (!HasUsableAddress(url_)) {
    SetLastSystemError(0);
    errorMessage_ = kNoConnection;
    return false;
  }
  // The session cookie goes along only with credentials.
  *request = RequestForUrl(ctx_, url_, "POST", Party(!http_user_.empty()));
  return true;
}

void HttpOperation::FailFromResponse(const HttpResponse& response) {
  if (response.too_slow) {
    SetLastSystemError(response.error_code);
    errorMessage_ = kTooSlow;
    return;
  }
  switch (response.failed) {
    case HttpStage::kConnect:
      SetLastSystemError(response.error_code);
      errorMessage_ = kNoConnection;
      break;
    case HttpStage::kSend:
      SetLastSystemError(response.error_code);
      errorMessage_ = kNotSent;
      break;
    case HttpStage::kReceive:
      SetLastSystemError(response.error_code);
      errorMessage_ = kNotReceived;
      break;
    case HttpStage::kBody:
    case HttpStage::kSink:
    case HttpStage::kNone:
      // The step that refused has recorded (and logged) its own error.
      if (!failure_) failure_ = MakeError(kErrPathAccess);
      break;
  }
}

bool HttpOperation::OpenDestination() {
  DiscardDestination();
  const std::optional<std::u16string> target = ResolveInWorkDir(ctx_.workDir, dest_file_);
  if (!target) return false;
  target_path_ = *target;
  const auto part_path = [&](int i) {
    return target_path_ + u".part" + (i == 0 ? std::u16string() : ToText(i));
  };
  // A transfer killed earlier left its temporary files; one still running has marked its own.
  for (int i = 0; i < kPartNames; ++i) RemoveLeftover(ToPath(part_path(i)));
  for (int i = 0; i < kPartNames; ++i) {
    temp_path_ = part_path(i);
    // Exclusive creation: never write into a file somebody else left or placed there.
    file_ = OpenLocal(temp_path_, "wbx");
    if (file_) {
      MarkInUse(file_.get());
      std::setvbuf(file_.get(), nullptr, _IOFBF, 256 * 1024);
      return true;
    }
    if (errno != EEXIST) break;
  }
  SetLastSystemError(errno);
  temp_path_.clear();
  return false;
}

bool HttpOperation::WriteChunk(const char* data, size_t size) {
  if (!file_) return false;
  if (std::fwrite(data, 1, size, file_.get()) == size) return true;
  failure_ = WriteError(errno);
  WriteErrorLog(ctx_.state, ComposeErrorReport(kWriteLine, errorMessage_, *failure_), &*failure_);
  DiscardDestination();
  return false;
}

bool HttpOperation::CommitDestination(uint64_t* size) {
  if (temp_path_.empty()) {
    if (!failure_) failure_ = MakeError(kErrPathAccess);
    return false;
  }
  int err = 0;
  if (file_ && !CloseFile(std::move(file_), &err)) {
    failure_ = WriteError(err);
    WriteErrorLog(ctx_.state, ComposeErrorReport(kWriteLine, errorMessage_, *failure_), &*failure_);
    DiscardDestination();
    return false;
  }
  std::error_code ec;
  fs::rename(ToPath(temp_path_), ToPath(target_path_), ec);
  if (ec) {
    SetLastSystemError(ec.value());
    failure_ = MakeError(kErrPathAccess);
    DiscardDestination();
    return false;
  }
  temp_path_.clear();
  const uintmax_t bytes = fs::file_size(ToPath(target_path_), ec);
  *size = ec ? 0 : static_cast<uint64_t>(bytes);
  return true;
}

void HttpOperation::DiscardDestination() {
  file_.reset();
  RemoveQuietly(temp_path_);
  temp_path_.clear();
}

bool HttpOperation::DownloadFileByStream() {
  errorMessage_.clear();
  failure_.reset();
  origin_ = OriginOf(url_);
  if (!dest_file_.empty()) {
    if (!IsInsideWorkDir(ctx_.workDir, dest_file_)) {
      SetLastSystemError(0);
      errorMessage_ = kOutsideWorkDir + dest_file_;
      WriteErrorLog(ctx_.state,
                    ComposeErrorReport(kStreamLine, errorMessage_ + url_.Url(), NoError()));
      return false;
    }
    OpenDestination();  // when this fails, the first chunk or the commit reports it
  }
  if (ReadStreamToFile()) return true;
  return FallbackDownload();
}

bool HttpOperation::ReadStreamToFile() {
  failure_.reset();
  bool done = false;
  TrapFirstFailure([&] { done = StreamFollowingRedirects(); },
                   [&](const Error& error) { failure_ = error; });
  if (done) return true;
  const Error& error = failure_ ? *failure_ : NoError();
  WriteErrorLog(ctx_.state, ComposeErrorReport(kStreamLine, errorMessage_ + url_.Url(), error),
                failure_ ? &error : nullptr);
  DiscardDestination();
  return false;
}

// POSTs to HttpUrl, following 302s; true once the 200 body is in DestFile and logged.
bool HttpOperation::StreamFollowingRedirects() {
  for (int redirects = 0;; ++redirects) {
    HttpRequest request;
    if (!PrepareRequest(&request)) return false;
    uint64_t total = 0;
    auto sink = [&](int status, const char* data, size_t size) {
      if (status != 200) return true;  // only a 200 body is the resource
      total += size;
      return dest_file_.empty() || WriteChunk(data, size);
    };
    const HttpResponse response = ctx_.http->Send(request, sink, kReceiveChunk);
    if (!response.ok()) {
      FailFromResponse(response);
      return false;
    }
    SetLastSystemError(0);
    if (response.status == 200) {
      uint64_t size = 0;
      if (!dest_file_.empty() && !CommitDestination(&size)) return false;
      WriteLog(ctx_.state,
               u"以httpstream方式从" + http_url_ + u"中读取：" + ToText(total) + u"字节");
      return true;
    }
    if (response.status == 302 && redirects < kMaxRedirects) {
      const std::u16string location = FromAnsi(response.Header("Location"));
      if (!IsHttpLocation(location)) {
        errorMessage_ = u"不跟随到非http(s)地址的重定向：" + location + u"，来自";
        return false;
      }
      const std::u16string previous = http_url_;
      SetHttpUrl(location);
      WriteLog(ctx_.state, u"重定向" + previous + u"到" + http_url_);
      continue;
    }
    errorMessage_ = u"http返回错误代码：" + ToText(response.status);
    return false;
  }
}

// The platform's URL-download service (or a plain GET standing in for it) that follows
// redirects by itself, with the same session cookie and credentials.
bool HttpOperation::FallbackDownload() {
  failure_.reset();
  uint64_t size = 0;
  bool ok = false;
  bool too_slow = false;
  TrapFirstFailure(
      [&] {
        ok = !dest_file_.empty() && ctx_.http != nullptr && OpenDestination() &&
             GetFollowingRedirects(&size, &too_slow);
      },
      [&](const Error& error) { failure_ = error; });
  if (ok) {
    WriteLog(ctx_.state, u"以urldownload方式从" + http_url_ + u"中读取：" + ToText(size) + u"字节");
    return true;
  }
  DiscardDestination();
  errorMessage_ = u"无法通过UrlDownloadToFile下载文件从：" + http_url_ + u"到：" + dest_file_;
  if (too_slow) errorMessage_ += std::u16string(u"，") + kTooSlow;
  const Error& error = failure_ ? *failure_ : NoError();
  WriteErrorLog(ctx_.state, ComposeErrorReport(kFallbackLine, errorMessage_, error),
                failure_ ? &error : nullptr);
  return false;
}

// GETs HttpUrl into the open destination, following up to kMaxRedirects redirects of any
// kind to http and https addresses; a Location that is a bare path stays on the same
// protocol, host and port.
bool HttpOperation::GetFollowingRedirects(uint64_t* size, bool* too_slow) {
  UrlOperation where;
  where.SetUrl(http_url_);
  for (int hop = 0; hop <= kMaxRedirects; ++hop) {
    if (!HasUsableAddress(where)) return false;
    const HttpRequest request = RequestForUrl(ctx_, where, "GET", Party(true));
    const HttpResponse response = FetchHop(request);
    SetLastSystemError(response.error_code);
    if (!response.ok()) {
      *too_slow = response.too_slow;
      return false;
    }
    if (response.status == 200) return CommitDestination(size);
    const std::u16string location = FromAnsi(response.Header("Location"));
    if (!IsRedirect(response.status) || location.empty()) return false;
    // A bare path stays where it is, whatever its query holds.
    if (location[0] != u'/' && !IsHttpLocation(location)) return false;
    if (location[0] == u'/') {
      where.SetUrl(where.Protocol() + u"://" + where.Host() + u":" + ToText(where.Port()) +
                   location);
    } else {
      where.SetUrl(location);
    }
  }
  return false;
}

// One GET of the fallback into the open destination: through the platform's URL download
// service where the client has one (it writes the temporary file itself), else streamed.
HttpResponse HttpOperation::FetchHop(const HttpRequest& request) {
  if (ctx_.http->HasUrlDownload()) {
    file_.reset();  // the service opens the file on its own
    return ctx_.http->DownloadToFile(request, ToPath(temp_path_));
  }
  auto sink = [&](int status, const char* data, size_t n) {
    return status != 200 || WriteChunk(data, n);
  };
  return ctx_.http->Send(request, sink, kReceiveChunk);
}

bool HttpOperation::UploadFileByStream() {
  errorMessage_.clear();
  failure_.reset();
  origin_ = OriginOf(url_);
  std::u16string upload_address;
  std::u16string confirm_address;
  const bool addressed = TrapFirstFailure(
      [&] {
        const std::u16string name = GetFileName(dest_file_);
        upload_address = url_.Protocol() + u"://" + url_.Host() + u":" + ToText(url_.Port()) +
                         kUploadHandler + name;
        confirm_address =
            AppendUrlParameter(http_url_, std::u16string(kConfirmParameter) + EncodeFileName(name));
      },
      [&](const Error& error) {
        failure_ = error;
        WriteErrorLog(ctx_.state,
                      ComposeErrorReport(kUploadLine, errorMessage_ + url_.Url(), error), &error);
      });
  if (!addressed) return false;
  // The file itself goes without credentials (and so without the session cookie).
  const std::u16string user = http_user_;
  const std::u16string password = http_password_;
  http_user_.clear();
  http_password_.clear();
  url_.SetUrl(upload_address);
  if (!PostStream()) return false;
  url_.SetUrl(confirm_address);
  http_user_ = user;
  http_password_ = password;
  dest_file_.clear();
  return PostStream();
}

bool HttpOperation::PostStream() {
  failure_.reset();
  uint64_t size = 0;
  bool ok = false;
  TrapFirstFailure([&] { ok = PostAndCheckReply(&size); },
                   [&](const Error& error) { failure_ = error; });
  if (ok) {
    WriteLog(ctx_.state, u"以httpstream方式上传文件" + dest_file_ + u"共" + ToText(size) +
                             u"字节到" + url_.Url());
    return true;
  }
  const Error& error = failure_ ? *failure_ : NoError();
  WriteErrorLog(ctx_.state, ComposeErrorReport(kUploadLine, errorMessage_ + url_.Url(), error),
                failure_ ? &error : nullptr);
  return false;
}

// POSTs DestFile's bytes (none when DestFile is empty) to url(); true when the server's reply
// says success. `size` receives the number of bytes sent.
bool HttpOperation::PostAndCheckReply(uint64_t* size) {
  HttpRequest request;
  if (!PrepareRequest(&request)) return false;
  FilePtr body;  // open until the reply has been checked
  if (!dest_file_.empty() && !OpenUploadBody(&request, &body, size)) return false;
  request.headers.emplace_back("Content-Type", "multipart/form-data");
  const std::u16string reply_path = ReplyFilePath();
  return ReceiveReply(request, reply_path) && CheckReply(reply_path);
}

// Opens DestFile as the request's body, streamed from the file.
bool HttpOperation::OpenUploadBody(HttpRequest* request, FilePtr* body, uint64_t* size) {
  std::error_code ec;
  *size = fs::file_size(ToPath(dest_file_), ec);
  if (ec) {
    SetLastSystemError(ec.value());
    failure_ = MakeError(kErrFileNotFound);
    return false;
  }
  *body = OpenLocal(dest_file_, "rb");
  if (!*body || *size == 0) {
    // An empty file has no bytes to send: the read of it fails like a bad subscript.
    if (!*body) SetLastSystemError(errno);
    failure_ = MakeError(!*body ? kErrPathAccess : kErrSubscript);
    ReportReadFailure();
    return false;
  }
  request->body_file = body->get();
  request->body_size = *size;
  return true;
}

void HttpOperation::ReportReadFailure() {
  WriteErrorLog(ctx_.state,
                ComposeErrorReport(u"读取文件" + dest_file_ + u"时发生错误：", u"", *failure_),
                &*failure_);
}

// Sends the request and writes the reply's body to `reply_path`; a reply without body leaves
// no file there, not even an earlier one.
bool HttpOperation::ReceiveReply(const HttpRequest& request, const std::u16string& reply_path) {
  FilePtr reply;
  uint64_t received = 0;
  bool too_long = false;
  auto sink = [&](int, const char* data, size_t n) {
    received += n;
    if (received > max_reply_size_) {
      too_long = true;
      return false;
    }
    if (!reply) {
      RemoveQuietly(reply_path);
      reply = OpenLocal(reply_path, "wb");
      if (!reply) {
        failure_ = WriteError(errno);
        return false;
      }
    }
    if (std::fwrite(data, 1, n, reply.get()) == n) return true;
    failure_ = WriteError(errno);
    return false;
  };
  const HttpResponse response = ctx_.http->Send(request, sink, kReceiveChunk);
  int err = 0;
  if (reply) {
    if (!CloseFile(std::move(reply), &err) && !failure_) failure_ = WriteError(err);
  } else if (response.ok()) {
    RemoveQuietly(reply_path);
  }
  if (too_long) {
    RemoveQuietly(reply_path);  // not a reply, and not worth keeping
    SetLastSystemError(0);
    errorMessage_ = u"服务器的上载处理结果超过" + ToText(max_reply_size_) + u"字节，已中止";
    return false;
  }
  if (response.failed == HttpStage::kBody) {
    SetLastSystemError(errno);
    failure_ = MakeError(kErrPathAccess);
    ReportReadFailure();
    return false;
  }
  if (!response.ok()) {
    FailFromResponse(response);
    return false;
  }
  return !failure_;
}

// The reply must be <result>success</result> (blanks and case aside); anything else is kept
// for inspection, except a reply that is no XML at all.
bool HttpOperation::CheckReply(const std::u16string& reply_path) {
  XmlDocument doc;
  if (!doc.LoadFile(reply_path)) {
    errorMessage_ = u"无法解析上载处理结果！";
    RemoveQuietly(reply_path);
    return false;
  }
  const XmlNode result = doc.Root().SelectSingleNode("/result");
  if (!result) throw MakeError(kErrObjectNotSet);
  if (Trim(AsciiLower(result.Text())) != u"success") {
    // The reply's element alone: no declaration (the log is not UTF-8) and no line break.
    SetLastSystemError(0);
    errorMessage_ = u"服务器返回错误：" + OnOneLine(doc.DocumentElement().ToXml());
    return false;
  }
  RemoveQuietly(reply_path);
  return true;
}

}  // namespace qnmuro
