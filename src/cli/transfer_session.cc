#include "cli/transfer_session.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "base/text.h"
#include "common/identity.h"
#include "common/velto_log.h"
#include "config/config.h"
#include "platform/file_io.h"
#include "transfer/http_operation.h"

namespace qnmuro::cli {
namespace {

std::string ReadFrom(const std::filesystem::path& file, uintmax_t from) {
  std::ifstream in(file, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(from));
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

bool TransferSession::Open(const std::string& control_file, std::string* error) {
  if (!OpenServices(error)) return false;
  Config config(ctx_);
  if (!config.Init(Utf8ToUtf16(control_file))) {
    *error = "cannot load the control file " + control_file + ": " + U8(config.reason()) +
             " (the add-in logs: " + U8(config.last_report()) + ")";
    return false;
  }
  return true;
}

bool TransferSession::OpenServices(std::string* error) {
  services_ = DefaultServices();
  std::error_code ec;
  std::filesystem::create_directories(ToPath(services_.work_dir), ec);
  if (!std::filesystem::is_directory(ToPath(services_.work_dir), ec)) {
    *error = "cannot use the work directory " + U8(services_.work_dir);
    return false;
  }
  state_.eventLog = std::make_unique<VeltoLog>(services_.work_dir, services_.clock.get(),
                                               &state_.records.commonInfo.clientLog);
  ctx_ = ContextFor(services_, &state_);
  watched_ = std::make_unique<WatchedHttpClient>(services_.http.get(), StderrIsTerminal());
  ctx_.http = watched_.get();
  if (services_.agent_http) {
    watched_agent_ = std::make_unique<WatchedHttpClient>(services_.agent_http.get(), false);
    ctx_.agent_http = watched_agent_.get();
  }
  return true;
}

int TransferSession::last_status() const {
  if (watched_agent_ && watched_agent_->last_status() != 0) return watched_agent_->last_status();
  return watched_ ? watched_->last_status() : 0;
}

std::string TransferSession::last_trouble() const {
  if (watched_agent_ && !watched_agent_->last_trouble().empty()) {
    return watched_agent_->last_trouble();
  }
  return watched_ ? watched_->last_trouble() : std::string();
}

std::filesystem::path TransferSession::LogFile() const {
  return ToPath(ctx_.work_dir + kPathSeparator + u"comlog.txt");
}

std::string TransferSession::LogPath() const {
  return U8(ctx_.work_dir) + "/comlog.txt";
}

std::string TransferSession::LastErrorLineSince(uintmax_t from) const {
  const std::string bytes = ReadFrom(LogFile(), from);
  std::string last;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find(" Err.Source=") != std::string::npos) last = line;
    start = end + 1;
  }
  return U8(FromAnsi(last));
}

bool TransferSession::Transfer(const std::string& url, const std::string& local_name, bool upload,
                               std::string* reason) {
  const CommonInfo& common = records().commonInfo;
  HttpOperation transfer(ctx_);
  std::u16string user = common.name;
  if (user.empty()) user = GetCurrentUser(ctx_);
  std::u16string password = common.password;
  if (password.empty()) password = GetUserPassword(ctx_, user);
  transfer.SetHttpUser(user);
  transfer.SetHttpPassword(password);
  transfer.SetHttpUrl(Utf8ToUtf16(url));
  std::u16string local = Utf8ToUtf16(local_name);
  if (upload) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(ToPath(local), ec);
    if (!ec) local = FromPath(absolute);
  } else if (ToPath(local).is_relative()) {
    local = ctx_.work_dir + kPathSeparator + local;
  }
  transfer.SetDestFile(local);
  std::error_code ec;
  const uintmax_t log_size = std::filesystem::file_size(LogFile(), ec);
  transfer.SetNoteVersion(true);  // a document handed over, or fetched as one
  const bool ok = upload ? transfer.UploadFileByStream() : transfer.DownloadFileByStream();
  if (!ok) {
    *reason = LastErrorLineSince(ec ? 0 : log_size);
    if (reason->empty()) reason->assign(U8(transfer.errorMessage()));
    if (reason->empty()) reason->assign("no reason was logged (is clientLog off?)");
    if (!last_trouble().empty()) *reason = last_trouble() + " (the add-in logs: " + *reason + ")";
  }
  return ok;
}

}  // namespace qnmuro::cli
