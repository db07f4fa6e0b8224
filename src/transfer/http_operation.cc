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
#include "transfer/version_tags.h"
#include "transfer/work_path.h"

namespace qnmuro {
namespace {

namespace fs = std::filesystem;

constexpr char16_t kUploadHandler[] = u"/upload.muro?filename=";
constexpr char16_t kConfirmParameter[] = u"&lastflag=last&filename=";
constexpr char16_t kReplyFile[] = u"uploadres.xml";
// Temporary names a download may take beside its target: "<target>.part", then .part1 to .part99.
constexpr int kPartNames = 100;
// A download is handed to the disk in stretches of this size while the rest arrives, so that its
// flush before the rename is short.
constexpr uint64_t kWriteBehindStretch = uint64_t{8} << 20;
constexpr size_t kWriteBuffer = 256 * 1024;

constexpr char16_t kNoSession[] = u"无法初始化Internet连接";
constexpr char16_t kNoConnection[] = u"无法打开Internet连接";
constexpr char16_t kNotSent[] = u"无法发送Internet请求";
constexpr char16_t kNotReceived[] = u"无法读取Internet数据";
constexpr char16_t kNotATransfer[] = u"只支持http和https地址：";
constexpr char16_t kTooSlow[] = u"传输速度过慢，已中止";
constexpr char16_t kOutsideWorkDir[] = u"本地文件不在工作目录中：";

constexpr char16_t kStreamLine[] = u"通过wininet下载文件时发生错误：";
constexpr char16_t kFallbackLine[] = u"通过二进制下载文件时发生错误：";
constexpr char16_t kWriteLine[] = u"写入文件时发生错误：";
constexpr char16_t kUploadLine[] = u"通过wininet上传文件时发生错误：";

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

// A redirect's Location as the address it names, relative ones ("/real/notice.doc",
// "notice.doc", "//host/x", "?q") taken against the address that was asked for.
std::u16string ResolveLocation(const std::u16string& base, const std::u16string& location) {
  // A scheme of its own ("ftp:", "http:"): a ":" before any "/", "?" or "#".
  const size_t colon = location.find(u':');
  if (colon != std::u16string::npos && colon > 0 && colon < location.find_first_of(u"/?#"))
    return location;
  const size_t scheme_end = base.find(u"://");
  if (scheme_end == std::u16string::npos) return location;
  if (location.rfind(u"//", 0) == 0) return base.substr(0, scheme_end + 1) + location;
  const size_t path_start = base.find(u'/', scheme_end + 3);
  const std::u16string origin = base.substr(0, path_start);
  if (location.empty()) return base;
  if (location[0] == u'/') return origin + location;
  const std::u16string path = path_start == std::u16string::npos ? u"/" : base.substr(path_start);
  const std::u16string without_query = path.substr(0, path.find_first_of(u"?#"));
  if (location[0] == u'?') return origin + without_query + location;
  return origin + without_query.substr(0, without_query.rfind(u'/') + 1) + location;
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

// The file name as the value of the upload's "filename=" query: "%", "&" and "#" would end
// or bend the value (blanks and controls the wire encodes itself), and a character whose ANSI bytes
// hold a "\" (a trail byte 0x5C in GBK) would not pass a server that reads the query as text; those
// are percent-encoded as their ANSI bytes. Every other character goes as it always has.
std::u16string QueryValue(const std::u16string& name) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  std::u16string out;
  for (size_t i = 0; i < name.size(); ++i) {
    const char16_t c = name[i];
    // A surrogate pair is one character.
    const size_t n = (c >= 0xD800 && c < 0xDC00 && i + 1 < name.size() && name[i + 1] >= 0xDC00 &&
                      name[i + 1] < 0xE000)
                         ? 2
                         : 1;
    const std::u16string_view one(name.data() + i, n);
    const std::string ansi = ToAnsi(one);
    const bool breaks =
        c == u'%' || c == u'&' || c == u'#' || (c >= 0x80 && ansi.find('\\') != std::string::npos);
    if (breaks) {
      for (unsigned char b : ansi) {
        out += u'%';
        out += kHex[b >> 4];
        out += kHex[b & 15];
      }
    } else {
      out += one;
    }
    i += n - 1;
  }
  return out;
}

// Whether `name` is a download's temporary name: "<target>.part" or "<target>.part<1-99>".
bool IsPartName(const std::u16string& name) {
  const size_t dot = name.rfind(u".part");
  if (dot == std::u16string::npos || dot == 0) return false;
  const std::u16string number = name.substr(dot + 5);
  if (number.empty()) return true;
  if (number.size() > 2 || number[0] == u'0') return false;
  for (char16_t c : number) {
    if (c < u'0' || c > u'9') return false;
  }
  return true;
}

void RemovePartLeftovers(const fs::path& folder) {
  std::error_code ec;
  std::vector<fs::path> leftovers;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (IsPartName(FromPath(it->path().filename()))) leftovers.push_back(it->path());
  }
  for (const fs::path& path : leftovers) RemoveLeftover(path);
}

}  // namespace

HttpOperation::HttpOperation(Context& ctx)
    : ctx_(ctx), max_download_size_(ctx.download_limits.file) {}

HttpOperation::~HttpOperation() {
  DiscardDestination();
}

void HttpOperation::LogError(const std::u16string& line, const Error* error) {
  last_error_line_ = line;
  WriteErrorLog(ctx_.state, line, error);
}

void HttpOperation::SetHttpUrl(std::u16string url) {
  http_url_ = std::move(url);
  url_.SetUrl(http_url_);
}

std::u16string HttpOperation::TooLargeText() const {
  return u"下载的内容超过" + ToText(static_cast<long long>(max_download_size_)) + u"字节，已中止";
}

std::u16string HttpOperation::ReplyFilePath() const {
  return ctx_.work_dir + kPathSeparator + kReplyFile;
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
  // A bare path names no host to connect to; a host under another scheme is no transfer.
  if (!Trim(url_.Host()).empty() && !HasTransferScheme(url_)) {
    SetLastSystemError(0);
    errorMessage_ = kNotATransfer;
    return false;
  }
  if (!HasUsableAddress(url_)) {
    SetLastSystemError(0);
    errorMessage_ = kNoConnection;
    return false;
  }
  // The session cookie goes along only with credentials.
  *request = RequestForUrl(ctx_, url_, "POST", Party(!http_user_.empty()));
  request->connect_timeout = connect_deadline_;
  request->stall_timeout = stall_deadline_;
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
  const std::optional<WorkDirPath> target = SplitInWorkDir(ctx_.work_dir, dest_file_);
  if (!target) return false;
  target_path_ = FromPath(target->folder / target->below);
  const auto part_name = [&](int i) {
    return FromPath(target->below.filename()) + u".part" + (i == 0 ? std::u16string() : ToText(i));
  };
  const fs::path folder_below = target->below.parent_path();
  const std::u16string folder = FromPath(target->folder / folder_below) + kPathSeparator;
  // Transfers killed earlier left their temporary files, of this target or another one in the
  // folder; one still running has marked its own.
  RemovePartLeftovers(ToPath(folder));
  for (int i = 0; i < kPartNames; ++i) {
    temp_path_ = folder + part_name(i);
    // Exclusive creation: never write into a file somebody else left or placed there.
    file_ = OpenLocal(temp_path_, "wbx");
    if (file_) {
      // A folder swapped for a link since the path was checked would have led elsewhere.
      if (!IsOpenedAt(file_.get(), target->folder, folder_below / ToPath(part_name(i)))) {
        DiscardDestination();
        SetLastSystemError(0);
        errorMessage_ = kOutsideWorkDir + dest_file_;
        return false;
      }
      MarkInUse(file_.get());
      // The body arrives in receive chunks: the disk gets it in writes of the buffer's size.
      // (A buffer left to the library would be its small default, whatever size is asked.)
      if (!write_buffer_) write_buffer_ = std::make_unique<char[]>(kWriteBuffer);
      std::setvbuf(file_.get(), write_buffer_.get(), _IOFBF, kWriteBuffer);
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
  int err = 0;
  if (std::fwrite(data, 1, size, file_.get()) != size) {
    err = errno;
  } else {
    written_ += size;
    if (written_ - behind_ < kWriteBehindStretch) return true;
    if (!write_behind_) write_behind_ = std::make_unique<WriteBehind>(file_.get());
    err = write_behind_->Request();
    behind_ = written_;
    if (err == 0) return true;
  }
  FailWrite(err);
  return false;
}

void HttpOperation::FailWrite(int err) {
  disk_full_ = err == ENOSPC || err == EFBIG;
#ifdef EDQUOT
  disk_full_ = disk_full_ || err == EDQUOT;
#endif
  failure_ = FileError(err);
  LogError(ComposeErrorReport(kWriteLine, errorMessage_, *failure_), &*failure_);
  DiscardDestination();
}

bool HttpOperation::CommitDestination(uint64_t* size) {
  if (temp_path_.empty()) {
    if (!failure_) failure_ = MakeError(kErrPathAccess);
    return false;
  }
  // The platform's download service wrote the file on its own: it is opened again to be flushed.
  if (!file_) file_ = OpenLocal(temp_path_, "r+b");
  int err = write_behind_ ? write_behind_->Finish() : 0;
  write_behind_.reset();
  if (err == 0) err = file_ ? SyncFile(file_.get()) : errno;
  // Only a complete file that has reached the disk replaces the target.
  if (err != 0 || !CloseFile(std::move(file_), &err)) {
    FailWrite(err);
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
  SyncFolder(ToPath(target_path_).parent_path());
  const uintmax_t bytes = fs::file_size(ToPath(target_path_), ec);
  *size = ec ? 0 : static_cast<uint64_t>(bytes);
  return true;
}

void HttpOperation::DiscardDestination() {
  write_behind_.reset();
  file_.reset();
  written_ = 0;
  behind_ = 0;
  RemoveQuietly(temp_path_);
  temp_path_.clear();
}

bool HttpOperation::DownloadFileByStream() {
  errorMessage_.clear();
  failure_.reset();
  origin_ = OriginOf(url_);
  if (!dest_file_.empty()) {
    if (!IsInsideWorkDir(ctx_.work_dir, dest_file_)) {
      SetLastSystemError(0);
      errorMessage_ = kOutsideWorkDir + dest_file_;
      LogError(ComposeErrorReport(kStreamLine, errorMessage_ + url_.Url(), NoError()));
      return false;
    }
    // When this fails, the first chunk or the commit reports it; a target that turned out to
    // lie elsewhere is reported at once.
    if (!OpenDestination() && !errorMessage_.empty()) {
      LogError(ComposeErrorReport(kStreamLine, errorMessage_ + url_.Url(), NoError()));
      return false;
    }
  }
  disk_full_ = false;
  if (ReadStreamToFile()) return true;
  // The fallback would bring the whole file again to a disk that has no room for it.
  if (disk_full_) return false;
  return FallbackDownload();
}

bool HttpOperation::ReadStreamToFile() {
  failure_.reset();
  bool done = false;
  TrapFirstFailure([&] { done = StreamFollowingRedirects(); },
                   [&](const Error& error) { failure_ = error; });
  if (done) return true;
  const Error& error = failure_ ? *failure_ : NoError();
  LogError(ComposeErrorReport(kStreamLine, errorMessage_ + url_.Url(), error),
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
    bool too_large = false;
    auto sink = [&](int status, const char* data, size_t size) {
      if (status != 200) return true;  // only a 200 body is the resource
      total += size;
      if (total > max_download_size_) {
        too_large = true;
        return false;
      }
      return dest_file_.empty() || WriteChunk(data, size);
    };
    const HttpResponse response = ctx_.http->Send(request, sink, kReceiveChunk);
    if (too_large) {
      SetLastSystemError(0);
      errorMessage_ = TooLargeText();
      return false;
    }
    if (!response.ok()) {
      FailFromResponse(response);
      return false;
    }
    SetLastSystemError(0);
    if (response.status == 200) {
      uint64_t size = 0;
      if (!dest_file_.empty() && !CommitDestination(&size)) return false;
      if (!dest_file_.empty()) NoteVersion(http_url_, response);
      WriteLog(ctx_.state,
               u"以httpstream方式从" + http_url_ + u"中读取：" + ToText(total) + u"字节");
      return true;
    }
    if (response.status == 302 && redirects < kMaxRedirects) {
      const std::u16string location =
          ResolveLocation(http_url_, FromAnsi(response.Header("Location")));
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

// A document's attachment brought whole: its tag (or none) is now the version this computer
// has of it.
void HttpOperation::NoteVersion(const std::u16string& url, const HttpResponse& response) {
  if (!note_version_) return;
  const DocumentFile file = AttachmentFile(url);
  if (file.empty()) return;
  // With the digest of the bytes that came: a hand-over made another way is then told apart.
  const std::u16string tag = FromAnsi(response.Header("ETag"));
  RecordVersionTag(ctx_, file, tag, tag.empty() ? u"" : FileSha256(ToPath(target_path_)));
}

// The platform's URL-download service (or a plain GET standing in for it) that follows
// redirects by itself, with the same session cookie and credentials.
bool HttpOperation::FallbackDownload() {
  failure_.reset();
  uint64_t size = 0;
  bool ok = false;
  bool too_slow = false;
  too_large_ = false;
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
  if (too_large_) errorMessage_ += u"，" + TooLargeText();
  const Error& error = failure_ ? *failure_ : NoError();
  LogError(ComposeErrorReport(kFallbackLine, errorMessage_, error), failure_ ? &error : nullptr);
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
    HttpRequest request = RequestForUrl(ctx_, where, "GET", Party(true));
    request.connect_timeout = connect_deadline_;
    request.stall_timeout = stall_deadline_;
    const HttpResponse response = FetchHop(request);
    SetLastSystemError(response.error_code);
    if (too_large_) return false;
    if (!response.ok()) {
      *too_slow = response.too_slow;
      return false;
    }
    if (response.status == 200) {
      // The platform's download service brings the body whole; it is held to the bound here.
      std::error_code ec;
      if (fs::file_size(ToPath(temp_path_), ec) > max_download_size_ && !ec) {
        too_large_ = true;
        return false;
      }
      if (!CommitDestination(size)) return false;
      NoteVersion(where.Url(), response);
      return true;
    }
    const std::u16string given = FromAnsi(response.Header("Location"));
    if (!IsRedirect(response.status) || given.empty()) return false;
    // A relative address stays on the same server, whatever its query holds.
    const std::u16string location = ResolveLocation(where.Url(), given);
    if (!IsHttpLocation(location)) return false;
    where.SetUrl(location);
  }
  return false;
}

// One GET of the fallback into the open destination: through the platform's URL download
// service where the client has one (it writes the temporary file itself), else streamed.
HttpResponse HttpOperation::FetchHop(const HttpRequest& request) {
  if (ctx_.http->HasUrlDownload()) {
    write_behind_.reset();
    file_.reset();  // the service opens the file on its own
    return ctx_.http->DownloadToFile(request, ToPath(temp_path_));
  }
  uint64_t total = 0;
  auto sink = [&](int status, const char* data, size_t n) {
    if (status != 200) return true;
    total += n;
    if (total > max_download_size_) {
      too_large_ = true;
      return false;
    }
    return WriteChunk(data, n);
  };
  return ctx_.http->Send(request, sink, kReceiveChunk);
}

bool HttpOperation::UploadFileByStream() {
  errorMessage_.clear();
  failure_.reset();
  conflict_ = false;
  credentials_refused_ = false;
  named_tag_.clear();
  server_tag_.clear();
  origin_ = OriginOf(url_);
  std::u16string upload_address;
  std::u16string confirm_address;
  const bool addressed = TrapFirstFailure(
      [&] {
        const std::u16string name = GetFileName(dest_file_);
        upload_address = url_.Protocol() + u"://" + url_.Host() + u":" + ToText(url_.Port()) +
                         kUploadHandler + QueryValue(name);
        confirm_address =
            AppendUrlParameter(http_url_, std::u16string(kConfirmParameter) + EncodeFileName(name));
      },
      [&](const Error& error) {
        failure_ = error;
        LogError(ComposeErrorReport(kUploadLine, errorMessage_ + url_.Url(), error), &error);
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
  // The confirmation names the version it replaces when one is held: a server that takes part
  // then stores nothing over another user's version.
  const DocumentFile file{QueryParameter(http_url_, u"unid"), GetFileName(dest_file_)};
  named_tag_ = replaced_tag_ ? *replaced_tag_ : HeldVersionTag(ctx_, file);
  if (!named_tag_.empty()) {
    confirm_headers_.emplace_back("If-Match", ToAnsi(named_tag_));
    if (!body_digest_.empty()) {
      confirm_headers_.emplace_back("Upload-Digest", "sha-256=" + ToAnsi(body_digest_));
    }
  }
  dest_file_.clear();
  const bool ok = PostStream();
  confirm_headers_.clear();
  credentials_refused_ = !ok && (reply_status_ == 401 || reply_status_ == 403);
  if (ok && !named_tag_.empty()) {
    // The stored version's tag; none means the held one no longer names the server's version.
    // A document that came without a tag (not through the add-in) stays without one.
    RecordVersionTag(ctx_, file, reply_tag_, body_digest_);
  } else if (!named_tag_.empty() && reply_status_ == 412) {
    conflict_ = true;
    server_tag_ = reply_tag_;
  }
  return ok;
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
  LogError(ComposeErrorReport(kUploadLine, errorMessage_ + url_.Url(), error),
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
  for (const auto& header : confirm_headers_) request.headers.push_back(header);
  std::string reply;
  if (!ReceiveReply(request, &reply) || !CheckReply(reply)) return false;
  // Whatever its body says, a reply whose status is no success is no confirmation.
  if (reply_status_ < 200 || reply_status_ > 299) {
    SetLastSystemError(0);
    errorMessage_ = u"http返回错误代码：" + ToText(reply_status_);
    return false;
  }
  return true;
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
  LogError(ComposeErrorReport(u"读取文件" + dest_file_ + u"时发生错误：", u"", *failure_),
           &*failure_);
}

// Sends the request and takes the reply's body into `reply`: each process judges its own
// reply, whatever another one does with the reply file meanwhile.
bool HttpOperation::ReceiveReply(const HttpRequest& request, std::string* reply) {
  bool too_long = false;
  auto sink = [&](int, const char* data, size_t n) {
    if (n > max_reply_size_ - reply->size()) {
      too_long = true;
      return false;
    }
    reply->append(data, n);
    return true;
  };
  const HttpResponse response = ctx_.http->Send(request, sink, kReceiveChunk);
  // Only a reply that arrived whole is a verdict: a refusal cut short may lack its tag.
  reply_status_ = response.ok() && !too_long ? response.status : 0;
  reply_tag_ = FromAnsi(response.Header("ETag"));
  if (too_long) {
    RemoveQuietly(ReplyFilePath());  // not a reply, and not worth keeping
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
  return true;
}

// The reply must be <result>success</result> (blanks and case aside); anything else is kept
// in the reply file for inspection, except a reply that is no XML at all. The file is only
// that copy: the verdict comes from the bytes received.
bool HttpOperation::CheckReply(const std::string& reply) {
  XmlDocument doc;
  if (!doc.LoadText(reply)) {
    errorMessage_ = u"无法解析上载处理结果！";
    RemoveQuietly(ReplyFilePath());
    return false;
  }
  const XmlNode result = doc.Root().SelectSingleNode("/result");
  if (!result || Trim(AsciiLower(result.Text())) != u"success") {
    // Replaced, never written through: a link planted under the name leads nowhere.
    ReplaceFileContents(ToPath(ReplyFilePath()), reply);
    if (!result) throw MakeError(kErrObjectNotSet);
    // The reply's element alone: no declaration (the log is not UTF-8) and no line break.
    SetLastSystemError(0);
    errorMessage_ = u"服务器返回错误：" + OnOneLine(doc.DocumentElement().ToXml());
    return false;
  }
  RemoveQuietly(ReplyFilePath());
  return true;
}

}  // namespace qnmuro
