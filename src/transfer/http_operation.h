// Moves files between the work directory and the OA server. One object per transfer: set
// HttpUrl, HttpUser, HttpPassword (enciphered) and DestFile, call one operation, drop it.
// Neither operation shows anything or raises: each ends in one event line (success) or error
// line(s) (failure) in the event log, and a Boolean result.
//
// The exchange:
//   - download: POST to HttpUrl without body; 200 streams the body into DestFile, 302 is
//     followed (at most kMaxRedirects in a row), anything else fails; after any failure a
//     plain GET of the then-current HttpUrl (following redirects) is tried instead. Only
//     redirects to http and https addresses are followed (a Location naming another scheme
//     fails the request);
//   - upload: POST of the raw file to "<protocol>://<host>:<port>/upload.muro?filename=<name>"
//     without credentials or cookie, then POST of an empty body to HttpUrl joined with
//     "&lastflag=last&filename=<EncodeFileName(name)>", with credentials and cookie; both
//     replies are judged as received and must say <result>success</result>; a reply that
//     refuses is left in uploadres.xml in the work directory for inspection (a success or a
//     reply that is no XML removes that file); a reply longer than MaxReplySize() fails the
//     upload.
// Every text handed to the network is in the ANSI code page. TLS is used when the address's
// scheme is https. The session cookie and the credentials go only to the origin (scheme, host,
// port) of the HttpUrl the operation was called with, never to where a redirect points.
// A transfer whose average rate stays too low (HttpClientOptions::slow_window, slow_rate)
// fails with "传输速度过慢，已中止" in its error line.
//
// Local files: a download's DestFile must lie inside the work directory (else the transfer
// fails with a log line); the body goes to a temporary file beside it that replaces DestFile
// only when the whole body arrived, so a failed download leaves the earlier file untouched.
// An upload only reads DestFile; the body is streamed, never held in memory.
#ifndef QNMURO_TRANSFER_HTTP_OPERATION_H_
#define QNMURO_TRANSFER_HTTP_OPERATION_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/error.h"
#include "common/context.h"
#include "common/url_operation.h"
#include "platform/file_io.h"
#include "transfer/local_file.h"
#include "transfer/url_request.h"

namespace qnmuro {

struct HttpRequest;
struct HttpResponse;

class HttpOperation {
 public:
  static constexpr int kMaxRedirects = 10;
  static constexpr size_t kReceiveChunk = 2048;
  // The upload reply is a small XML document; a longer one fails the upload.
  static constexpr uint64_t kMaxReplySize = uint64_t{16} << 20;

  // Uses ctx.http for the network, ctx.state for the log, ctx.registry for the session
  // cookie and ctx.work_dir for the reply file; all must outlive the object. A missing HTTP
  // client makes every transfer fail at its start.
  explicit HttpOperation(Context& ctx);
  ~HttpOperation();
  HttpOperation(const HttpOperation&) = delete;
  HttpOperation& operator=(const HttpOperation&) = delete;

  const std::u16string& HttpUrl() const { return http_url_; }
  // Also becomes the Url of the owned UrlOperation.
  void SetHttpUrl(std::u16string url);
  const std::u16string& HttpUser() const { return http_user_; }
  void SetHttpUser(std::u16string user) { http_user_ = std::move(user); }
  // Enciphered (hex digits); deciphered only when handed to the connection.
  const std::u16string& HttpPassword() const { return http_password_; }
  void SetHttpPassword(std::u16string password) { http_password_ = std::move(password); }
  const std::u16string& DestFile() const { return dest_file_; }
  void SetDestFile(std::u16string path) { dest_file_ = std::move(path); }

  // Fetches HttpUrl into DestFile (empty DestFile: the body is discarded). True when DestFile
  // now holds the whole resource. Leaves HttpUrl at the last redirect followed.
  bool DownloadFileByStream();
  // Sends DestFile and confirms it to HttpUrl. True when both requests were accepted. Leaves
  // DestFile empty and url() at the confirmation address; after a failed first request the
  // user and password are empty too.
  bool UploadFileByStream();

  // The most bytes an upload reply may have (kMaxReplySize unless changed; tests lower it).
  uint64_t MaxReplySize() const { return max_reply_size_; }
  void SetMaxReplySize(uint64_t bytes) { max_reply_size_ = bytes; }

  // The most bytes a download may bring (ctx.download_limits.file unless changed): a longer
  // body ends the download, which then fails with "下载的内容超过<n>字节，已中止" in its error
  // line and leaves no file.
  uint64_t MaxDownloadSize() const { return max_download_size_; }
  void SetMaxDownloadSize(uint64_t bytes) { max_download_size_ = bytes; }

  // The SHA-256 (lower-case hex) of DestFile's bytes, when the caller knows it. A confirmation
  // that names a held version names the body it confirms by it too (header Upload-Digest), so
  // that a server that takes part never takes another upload of the same name for it.
  void SetBodyDigest(std::u16string sha256_hex) { body_digest_ = std::move(sha256_hex); }

  // Deadlines for every request of the operation, shorter than the client's: for work that
  // should rather wait for its next occasion than keep the clerk waiting.
  void SetDeadlines(std::chrono::milliseconds connect, std::chrono::seconds stall) {
    connect_deadline_ = connect;
    stall_deadline_ = stall;
  }

  // The version the upload replaces, fixed by the caller (a kept upload names the version it
  // was based on when it was kept; empty: none), instead of the one held now.
  void SetReplacedTag(std::u16string tag) { replaced_tag_ = std::move(tag); }

  // Whether a download is the hand-over of a document, whose version (its entity tag) this
  // computer then has (version_tags.h). Off for the files the toolbar fetches.
  void SetNoteVersion(bool note) { note_version_ = note; }

  // After UploadFileByStream. The version tag the confirmation named (If-Match; version_tags.h),
  // empty when none was held; whether the server refused it because its current version is
  // another (412), and that version's tag (empty when the server sent none).
  const std::u16string& namedTag() const { return named_tag_; }
  bool conflict() const { return conflict_; }
  const std::u16string& serverTag() const { return server_tag_; }
  // The HTTP status of the last upload request's whole reply; 0 when none arrived.
  int replyStatus() const { return reply_status_; }
  // Whether the confirmation, the request with the user's credentials, was refused for them.
  bool credentialsRefused() const { return credentials_refused_; }

  // The last error line this operation wrote to the event log; empty when none.
  const std::u16string& lastErrorLine() const { return last_error_line_; }

  // The text of the last explicit failure.
  const std::u16string& errorMessage() const { return errorMessage_; }
  const UrlOperation& url() const { return url_; }

 private:
  // Download: the streamed POST, then the plain GET that stands in when it fails.
  bool ReadStreamToFile();
  bool StreamFollowingRedirects();
  bool FallbackDownload();
  bool GetFollowingRedirects(uint64_t* size, bool* too_slow);
  HttpResponse FetchHop(const HttpRequest& request);
  bool WriteChunk(const char* data, size_t size);
  // Reports a failed write (or flush) of the download with errno `err` and drops the file.
  void FailWrite(int err);
  void NoteVersion(const std::u16string& url, const HttpResponse& response);
  bool OpenDestination();
  bool CommitDestination(uint64_t* size);
  void DiscardDestination();

  // Upload: one POST of DestFile (or of nothing) to url() and the check of its reply.
  bool PostStream();
  bool PostAndCheckReply(uint64_t* size);
  bool OpenUploadBody(HttpRequest* request, FilePtr* body, uint64_t* size);
  bool ReceiveReply(const HttpRequest& request, std::string* reply);
  bool CheckReply(const std::string& reply);
  void ReportReadFailure();
  std::u16string ReplyFilePath() const;
  std::u16string TooLargeText() const;

  void LogError(const std::u16string& line, const Error* error = nullptr);

  // Request set-up shared by both directions; false with errorMessage set on failure.
  bool PrepareRequest(HttpRequest* request);
  RequestParty Party(bool session_cookie) const;
  void FailFromResponse(const HttpResponse& response);

  Context& ctx_;
  std::u16string http_url_;
  std::u16string http_user_;
  std::u16string http_password_;
  std::u16string dest_file_;
  UrlOperation url_;
  // Where the session cookie and the credentials of the running operation belong.
  UrlOrigin origin_;
  uint64_t max_reply_size_ = kMaxReplySize;
  uint64_t max_download_size_;
  bool too_large_ = false;  // the fallback's body passed max_download_size_
  bool disk_full_ = false;  // a write of the download found no room
  std::chrono::milliseconds connect_deadline_{0};
  std::chrono::seconds stall_deadline_{0};
  // Named apart from its accessor errorMessage(), which callers use.
  std::u16string errorMessage_;

  // The open download target: a temporary file beside the resolved DestFile, and its stream's
  // buffer, which outlives it.
  std::unique_ptr<char[]> write_buffer_;
  FilePtr file_;
  std::u16string temp_path_;
  std::u16string target_path_;
  uint64_t written_ = 0;  // bytes written to file_
  uint64_t behind_ = 0;   // of which handed to write_behind_
  // After file_: it must go before the file closes.
  std::unique_ptr<WriteBehind> write_behind_;
  // A run-time failure met inside a step (write, read), reported with the step's line.
  std::optional<Error> failure_;
  std::u16string last_error_line_;

  // Version tags of the upload (version_tags.h).
  bool note_version_ = false;
  std::u16string body_digest_;
  std::optional<std::u16string> replaced_tag_;
  std::u16string named_tag_;
  std::u16string server_tag_;
  bool conflict_ = false;
  bool credentials_refused_ = false;
  std::vector<std::pair<std::string, std::string>> confirm_headers_;
  int reply_status_ = 0;      // of the last upload request's reply
  std::u16string reply_tag_;  // its ETag
};

}  // namespace qnmuro

#endif  // QNMURO_TRANSFER_HTTP_OPERATION_H_
