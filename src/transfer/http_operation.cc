#include "transfer/http_operation.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "base/text.h"
#include "common/cipher.h"
#include "common/identity.h"
#include "common/utils.h"
#include "common/velto_log.h"
#include "platform/http_client.h"
#include "platform/xml.h"
#include "transfer/work_path.h"

namespace qnmuro {
namespace {

namespace fs = std::filesystem;

constexpr char kUserAgent[] = "QNSoft";
constexpr char16_t kUploadHandler[] = u"/upload.muro?filename=";
constexpr char16_t kConfirmParameter[] = u"&lastflag=last&filename=";
constexpr char16_t kReplyFile[] = u"uploadres.xml";

constexpr char16_t kNoSession[] = u"无法初始化Internet连接";
constexpr char16_t kNoConnection[] = u"无法打开Internet连接";
constexpr char16_t kNotSent[] = u"无法发送Internet请求";
constexpr char16_t kNotReceived[] = u"无法读取Internet数据";
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

void RemoveQuietly(const std::u16string& path) {
  std::error_code ec;
  if (!path.empty()) fs::remove(ToPath(path), ec);
}

std::FILE* OpenLocal(const std::u16string& path, const char* mode) {
#ifdef _WIN32
  const std::wstring wide_mode(mode, mode + std::char_traits<char>::length(mode));
  return _wfopen(ToPath(path).c_str(), wide_mode.c_str());
#else
  return std::fopen(ToPath(path).c_str(), mode);
#endif
}

bool IsRedirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

HttpOperation::HttpOperation(Context& ctx) : ctx_(ctx) {}

HttpOperation::~HttpOperation() {
  DiscardDestination();
}

void HttpOperation::SetHttpUrl(std::u16string url) {
  httpUrl_ = std::move(url);
  url_.SetUrl(httpUrl_);
}

std::u16string HttpOperation::ReplyFilePath() const {
  return ctx_.workDir + kPathSeparator + kReplyFile;
}

bool HttpOperation::PrepareRequest(HttpRequest* request) {
  if (!httpUser_.empty()) {
    const std::u16string cookie = GetSessionCookie(ctx_);
    if (!cookie.empty()) request->cookie = ToAnsi(cookie);
  }
  if (ctx_.http == nullptr) {
    SetLastSystemError(0);
    errorMessage_ = kNoSession;
    return false;
  }
  const std::u16string host = url_.Host();
  const int32_t port = url_.Port();
  if (Trim(host).empty() || port <= 0 || port > 65535) {
    SetLastSystemError(0);
    errorMessage_ = kNoConnection;
    return false;
  }
  request->method = "POST";
  request->secure = url_.CheckSSLHttp();
  request->host = ToAnsi(host);
  request->port = port;
  request->target = ToAnsi(url_.UrlObject());
  request->user_agent = kUserAgent;
  request->user = ToAnsi(httpUser_);
  request->password = httpUser_.empty() ? std::string() : ToAnsi(DecryptString(httpPassword_));
  return true;
}

void HttpOperation::FailFromResponse(const HttpResponse& response) {
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
  const std::optional<std::u16string> target = ResolveInWorkDir(ctx_.workDir, destFile_);
  if (!target) return false;
  targetPath_ = *target;
  for (int i = 0; i < 100; ++i) {
    tempPath_ = targetPath_ + u".part" + (i == 0 ? std::u16string() : ToText(i));
    // Exclusive creation: never write into a file somebody else left or placed there.
    file_ = OpenLocal(tempPath_, "wbx");
    if (file_ != nullptr) {
      std::setvbuf(file_, nullptr, _IOFBF, 256 * 1024);
      return true;
    }
    if (errno != EEXIST) break;
  }
  SetLastSystemError(errno);
  tempPath_.clear();
  return false;
}

bool HttpOperation::WriteChunk(const char* data, size_t size) {
  if (file_ == nullptr) return false;
  if (std::fwrite(data, 1, size, file_) == size) return true;
  failure_ = WriteError(errno);
  WriteErrorLog(ctx_.state, ComposeErrorReport(kWriteLine, errorMessage_, *failure_), &*failure_);
  DiscardDestination();
  return false;
}

bool HttpOperation::CommitDestination(uint64_t* size) {
  if (file_ == nullptr) {
    if (!failure_) failure_ = MakeError(kErrPathAccess);
    return false;
  }
  std::FILE* file = file_;
  file_ = nullptr;
  const bool flushed = std::fflush(file) == 0 && std::ferror(file) == 0;
  const int flush_errno = errno;
  const bool closed = std::fclose(file) == 0;
  if (!flushed || !closed) {
    failure_ = WriteError(!flushed ? flush_errno : errno);
    WriteErrorLog(ctx_.state, ComposeErrorReport(kWriteLine, errorMessage_, *failure_), &*failure_);
    DiscardDestination();
    return false;
  }
  std::error_code ec;
  fs::rename(ToPath(tempPath_), ToPath(targetPath_), ec);
  if (ec) {
    SetLastSystemError(ec.value());
    failure_ = MakeError(kErrPathAccess);
    DiscardDestination();
    return false;
  }
  tempPath_.clear();
  const uintmax_t bytes = fs::file_size(ToPath(targetPath_), ec);
  *size = ec ? 0 : static_cast<uint64_t>(bytes);
  return true;
}

void HttpOperation::DiscardDestination() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  RemoveQuietly(tempPath_);
  tempPath_.clear();
}

bool HttpOperation::DownloadFileByStream() {
  errorMessage_.clear();
  failure_.reset();
  if (!destFile_.empty()) {
    if (!IsInsideWorkDir(ctx_.workDir, destFile_)) {
      SetLastSystemError(0);
      errorMessage_ = kOutsideWorkDir + destFile_;
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
  try {
    for (int redirects = 0;; ++redirects) {
      HttpRequest request;
      if (!PrepareRequest(&request)) break;
      uint64_t total = 0;
      auto sink = [&](int status, const char* data, size_t size) {
        if (status != 200) return true;  // only a 200 body is the resource
        total += size;
        return destFile_.empty() || WriteChunk(data, size);
      };
      const HttpResponse response = ctx_.http->Send(request, sink, kReceiveChunk);
      if (!response.ok()) {
        FailFromResponse(response);
        break;
      }
      SetLastSystemError(0);
      if (response.status == 200) {
        uint64_t size = 0;
        if (!destFile_.empty() && !CommitDestination(&size)) break;
        WriteLog(ctx_.state,
                 u"以httpstream方式从" + httpUrl_ + u"中读取：" + ToText(total) + u"字节");
        return true;
      }
      if (response.status == 302 && redirects < kMaxRedirects) {
        const std::u16string previous = httpUrl_;
        SetHttpUrl(FromAnsi(response.Header("Location")));
        WriteLog(ctx_.state, u"重定向" + previous + u"到" + httpUrl_);
        continue;
      }
      errorMessage_ = u"http返回错误代码：" + ToText(response.status);
      break;
    }
  } catch (...) {
    failure_ = CurrentError();
  }
  const Error& error = failure_ ? *failure_ : NoError();
  WriteErrorLog(ctx_.state, ComposeErrorReport(kStreamLine, errorMessage_ + url_.Url(), error),
                failure_ ? &error : nullptr);
  DiscardDestination();
  return false;
}

// Stands in for the platform's URL-download service: a plain GET that follows redirects by
// itself, with the same session cookie and credentials.
bool HttpOperation::FallbackDownload() {
  failure_.reset();
  uint64_t size = 0;
  bool ok = false;
  try {
    if (!destFile_.empty() && ctx_.http != nullptr && OpenDestination()) {
      UrlOperation where;
      where.SetUrl(httpUrl_);
      for (int hop = 0; hop <= kMaxRedirects; ++hop) {
        const std::u16string host = where.Host();
        const int32_t port = where.Port();
        if (Trim(host).empty() || port <= 0 || port > 65535) break;
        HttpRequest request;
        request.method = "GET";
        request.secure = where.CheckSSLHttp();
        request.host = ToAnsi(host);
        request.port = port;
        request.target = ToAnsi(where.UrlObject());
        request.user_agent = kUserAgent;
        request.cookie = ToAnsi(GetSessionCookie(ctx_));
        request.user = ToAnsi(httpUser_);
        if (!httpUser_.empty()) request.password = ToAnsi(DecryptString(httpPassword_));
        auto sink = [&](int status, const char* data, size_t n) {
          return status != 200 || WriteChunk(data, n);
        };
        const HttpResponse response = ctx_.http->Send(request, sink, kReceiveChunk);
        SetLastSystemError(response.error_code);
        if (!response.ok()) break;
        if (response.status == 200) {
          ok = CommitDestination(&size);
          break;
        }
        const std::u16string location = FromAnsi(response.Header("Location"));
        if (!IsRedirect(response.status) || location.empty()) break;
        if (location[0] == u'/') {
          where.SetUrl(where.Protocol() + u"://" + host + u":" + ToText(port) + location);
        } else {
          where.SetUrl(location);
        }
      }
    }
  } catch (...) {
    failure_ = CurrentError();
    ok = false;
  }
  if (ok) {
    WriteLog(ctx_.state, u"以urldownload方式从" + httpUrl_ + u"中读取：" + ToText(size) + u"字节");
    return true;
  }
  DiscardDestination();
  errorMessage_ = u"无法通过UrlDownloadToFile下载文件从：" + httpUrl_ + u"到：" + destFile_;
  const Error& error = failure_ ? *failure_ : NoError();
  WriteErrorLog(ctx_.state, ComposeErrorReport(kFallbackLine, errorMessage_, error),
                failure_ ? &error : nullptr);
  return false;
}

bool HttpOperation::UploadFileByStream() {
  errorMessage_.clear();
  failure_.reset();
  std::u16string upload_address;
  std::u16string confirm_address;
  try {
    const std::u16string name = GetFileName(destFile_);
    upload_address =
        url_.Protocol() + u"://" + url_.Host() + u":" + ToText(url_.Port()) + kUploadHandler + name;
    confirm_address =
        AppendUrlParameter(httpUrl_, std::u16string(kConfirmParameter) + EncodeFileName(name));
  } catch (...) {
    failure_ = CurrentError();
    WriteErrorLog(ctx_.state,
                  ComposeErrorReport(kUploadLine, errorMessage_ + url_.Url(), *failure_),
                  &*failure_);
    return false;
  }
  const std::u16string user = httpUser_;
  const std::u16string password = httpPassword_;
  httpUser_.clear();
  httpPassword_.clear();
  url_.SetUrl(upload_address);
  if (!PostStream()) return false;
  url_.SetUrl(confirm_address);
  httpUser_ = user;
  httpPassword_ = password;
  destFile_.clear();
  return PostStream();
}

bool HttpOperation::PostStream() {
  failure_.reset();
  const std::u16string reply_path = ReplyFilePath();
  std::FILE* body = nullptr;
  std::FILE* reply = nullptr;
  uint64_t size = 0;
  bool ok = false;
  try {
    ok = [&]() -> bool {
      HttpRequest request;
      if (!PrepareRequest(&request)) return false;
      if (!destFile_.empty()) {
        std::error_code ec;
        size = fs::file_size(ToPath(destFile_), ec);
        if (ec) {
          SetLastSystemError(ec.value());
          failure_ = MakeError(kErrFileNotFound);
          return false;
        }
        body = OpenLocal(destFile_, "rb");
        if (body == nullptr || size == 0) {
          // An empty file has no bytes to send: the read of it fails like a bad subscript.
          if (body == nullptr) SetLastSystemError(errno);
          failure_ = MakeError(body == nullptr ? kErrPathAccess : kErrSubscript);
          WriteErrorLog(
              ctx_.state,
              ComposeErrorReport(u"读取文件" + destFile_ + u"时发生错误：", u"", *failure_),
              &*failure_);
          return false;
        }
        request.body_file = body;
        request.body_size = size;
      }
      request.headers.emplace_back("Content-Type", "multipart/form-data");
      auto sink = [&](int, const char* data, size_t n) {
        if (reply == nullptr) {
          RemoveQuietly(reply_path);
          reply = OpenLocal(reply_path, "wb");
          if (reply == nullptr) {
            failure_ = WriteError(errno);
            return false;
          }
        }
        if (std::fwrite(data, 1, n, reply) == n) return true;
        failure_ = WriteError(errno);
        return false;
      };
      const HttpResponse response = ctx_.http->Send(request, sink, kReceiveChunk);
      if (reply != nullptr) {
        const bool closed = std::fclose(reply) == 0;
        reply = nullptr;
        if (!closed && !failure_) failure_ = WriteError(errno);
      } else if (response.ok()) {
        RemoveQuietly(reply_path);  // an empty reply leaves no earlier reply behind
      }
      if (response.failed == HttpStage::kBody) {
        SetLastSystemError(errno);
        failure_ = MakeError(kErrPathAccess);
        WriteErrorLog(ctx_.state,
                      ComposeErrorReport(u"读取文件" + destFile_ + u"时发生错误：", u"", *failure_),
                      &*failure_);
        return false;
      }
      if (!response.ok()) {
        FailFromResponse(response);
        return false;
      }
      if (failure_) return false;
      XmlDocument doc;
      if (!doc.LoadFile(reply_path)) {
        errorMessage_ = u"无法解析上载处理结果！";
        RemoveQuietly(reply_path);
        return false;
      }
      const XmlNode result = doc.Root().SelectSingleNode("/result");
      if (!result) throw MakeError(kErrObjectNotSet);
      if (Trim(AsciiLower(result.Text())) != u"success") {
        std::u16string xml = doc.ToXml();
        while (!xml.empty() && (xml.back() == u'\n' || xml.back() == u'\r')) xml.pop_back();
        SetLastSystemError(0);
        errorMessage_ = u"服务器返回错误：" + xml;
        return false;
      }
      RemoveQuietly(reply_path);
      return true;
    }();
  } catch (...) {
    failure_ = CurrentError();
    ok = false;
  }
  if (body != nullptr) std::fclose(body);
  if (reply != nullptr) std::fclose(reply);
  if (ok) {
    WriteLog(ctx_.state, u"以httpstream方式上传文件" + destFile_ + u"共" + ToText(size) +
                             u"字节到" + url_.Url());
    return true;
  }
  const Error& error = failure_ ? *failure_ : NoError();
  WriteErrorLog(ctx_.state, ComposeErrorReport(kUploadLine, errorMessage_ + url_.Url(), error),
                failure_ ? &error : nullptr);
  return false;
}

}  // namespace qnmuro
