#include "commands/command_support.h"

#include <filesystem>

#include "base/text.h"
#include "common/shared_state.h"
#include "common/utils.h"
#include "common/velto_log.h"
#include "host/host_util.h"
#include "platform/file_io.h"
#include "platform/ui.h"
#include "transfer/http_operation.h"
#include "transfer/work_path.h"

namespace qnmuro {
namespace {

// Runs the download and hands back the transfer's reason for a failure.
bool Fetch(Context& ctx, const Login& login, std::u16string_view url, std::u16string_view path,
           uint64_t max_bytes, std::u16string* reason) {
  HttpOperation transfer(ctx);
  transfer.SetMaxDownloadSize(max_bytes);
  transfer.SetHttpUser(login.user);
  transfer.SetHttpPassword(login.password);
  transfer.SetDestFile(std::u16string(path));
  transfer.SetHttpUrl(std::u16string(url));
  const bool done = transfer.DownloadFileByStream();
  if (!done && reason != nullptr) *reason = transfer.errorMessage();
  return done;
}

}  // namespace

void ShowNotice(const Context& ctx, std::u16string_view text) {
  if (ctx.ui == nullptr) throw MakeError(kErrObjectNotSet);
  ctx.ui->ShowMessage(text, MsgButtons::kOk, MsgIcon::kInformation, kNoticeTitle);
}

void ReportCommandError(const Context& ctx, std::u16string_view label,
                        std::u16string_view context_text, const Error& error, const Error* handled,
                        bool statement_number) noexcept {
  std::u16string report;
  IgnoreFailure([&] { report = ComposeErrorReport(label, context_text, error); });
  IgnoreFailure([&] {
    if (ctx.ui == nullptr) return;
    std::u16string shown = report;
    // The report ends in ")": the statement number goes in front of it.
    if (statement_number && !shown.empty()) shown.insert(shown.size() - 1, u":0");
    ctx.ui->ShowMessage(shown, MsgButtons::kOk, MsgIcon::kNone, u"");
  });
  IgnoreFailure([&] { WriteErrorLog(ctx.state, report, handled); });
}

bool IsPlainFile(std::u16string_view path) {
  std::error_code ec;
  bool plain = false;
  IgnoreFailure([&] { plain = std::filesystem::is_regular_file(ToPath(path), ec); });
  return plain;
}

std::u16string WorkFilePath(const Context& ctx, std::u16string_view name) {
  const std::u16string path = ctx.work_dir + kPathSeparator + std::u16string(name);
  // One part: a separator or ".." in a name from the server would choose another folder.
  if (!IsFileNamePart(name) || !IsInsideWorkDir(ctx.work_dir, path)) {
    throw Error(kErrBadFileName, u"本地文件不在工作目录中：" + path);
  }
  return path;
}

std::u16string CopyExtension(std::u16string_view name) {
  const std::u16string extension = GetFileExtension(name);
  if (extension.find_first_of(u"/\\") != std::u16string::npos) return {};
  return extension;
}

bool DownloadTo(Context ctx, const Login& login, std::u16string_view url,
                std::u16string_view path) {
  return Fetch(ctx, login, url, path, ctx.download_limits.file, nullptr);
}

void DownloadOrRaise(Context ctx, const Login& login, std::u16string_view url,
                     std::u16string_view path, std::optional<uint64_t> max_bytes) {
  std::u16string reason;
  if (Fetch(ctx, login, url, path, max_bytes.value_or(ctx.download_limits.file), &reason)) return;
  throw Error(kErrFileNotFound, reason.empty() ? DefaultDescription(kErrFileNotFound) : reason);
}

void DownloadServerFile(Context ctx, std::u16string_view unid, std::u16string_view file,
                        std::u16string_view path, uint64_t max_bytes) {
  const CommonInfo& common = Require(ctx.state).records.commonInfo;
  const std::u16string url =
      common.rootUrl + u"/0/" + std::u16string(unid) + u"/$file/" + EscapeText(file);
  DownloadOrRaise(ctx, ControlFileLogin(ctx, common), url, path, max_bytes);
}

}  // namespace qnmuro
