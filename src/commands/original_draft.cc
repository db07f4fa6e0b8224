#include "commands/original_draft.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "base/error.h"
#include "base/text.h"
#include "commands/command_support.h"
#include "common/identity.h"
#include "common/shared_state.h"
#include "common/utils.h"
#include "common/velto_log.h"
#include "config/vocabulary.h"
#include "host/host_util.h"

namespace qnmuro {
namespace {

constexpr char16_t kReportLabel[] = u"查看原稿错误: ";

// The draft opens in the program that the system associates with its extension, which comes
// from the server: only document formats are opened, never a program or a script.
constexpr std::u16string_view kDocumentExtensions[] = {
    u".doc", u".docx", u".wps",  u".wpt", u".dot",  u".dotx", u".rtf", u".odt",  u".fodt",
    u".txt", u".xls",  u".xlsx", u".et",  u".ods",  u".csv",  u".ppt", u".pptx", u".dps",
    u".odp", u".pdf",  u".png",  u".jpg", u".jpeg", u".gif",  u".bmp", u".tif",  u".tiff"};

bool IsDocumentFile(std::u16string_view path) {
  const std::u16string extension = AsciiLower(GetFileExtension(path));
  return std::find(std::begin(kDocumentExtensions), std::end(kDocumentExtensions), extension) !=
         std::end(kDocumentExtensions);
}

// Downloads every draft; the path of the last one, or nullopt when no binary has a draft.
std::optional<std::u16string> DownloadDrafts(const Context& ctx, const ControlRecords& records) {
  std::optional<std::u16string> local;
  // Asked for first, whether or not there is a draft to download.
  const Login login = ControlFileLogin(ctx, records.commonInfo);
  for (const BinaryInfo& binary : records.binarys) {
    if (binary.draftUrl.empty() || binary.type != kBinaryContent) continue;
    local =
        WorkFilePath(ctx, records.documentInfo.unid + kDraftInfix + CopyExtension(binary.fileName));
    // Not examined: an earlier copy at the same path stands in for a failed download.
    DownloadTo(ctx, login, binary.draftUrl, *local);
  }
  return local;
}

// Launches the draft; the notice explaining why it did not start, or empty once it runs.
std::u16string Launch(const Context& ctx, const std::u16string& local) {
  const std::u16string name = GetFileName(local);
  if (!IsDocumentFile(local)) throw Error(kErrBadFileName, u"不能打开此类型的文件：" + name);
  if (!IsPlainFile(local)) return u"无法找到或下载“" + name + u"”文件，请联系系统管理员！";
  const std::u16string program = FindAssociatedProgram(ctx, local);
  if (program.empty()) {
    return u"无法找到文件“" + name +
           u"”对应的启动程序，请确认您的计算机是否安装了适合的程序，并且确认您是以管理员的身份"
           u"登录您的Windows操作系统！";
  }
  KillProcess(ctx, program);
  WriteLog(ctx.state, u"开始执行启动原稿操作...");
  if (ShellOpenFile(ctx, local) > 32) return {};
  return u"无法启动文件：" + name +
         u"，请确认是否安装了适合的程序，并且您是以管理员的身份登录Windows！";
}

}  // namespace

void ShowOriginalDraft(const Context& ctx, std::u16string& message_text) {
  TrapFirstFailure(
      [&] {
        SetCursorShape(ctx, kWaitCursor);
        const std::optional<std::u16string> local = DownloadDrafts(ctx, Require(ctx.state).records);
        if (!local) {
          message_text = kNoOriginalNotice;
          ShowNotice(ctx, message_text);
          SetCursorShape(ctx, kArrowCursor);
          return;
        }
        const std::u16string notice = Launch(ctx, *local);
        if (notice.empty()) {
          SetCursorShape(ctx, kArrowCursor);
          return;
        }
        message_text = notice;
        ShowNotice(ctx, message_text);
        SetCursorShape(ctx, kArrowCursor);
        ReportCommandError(ctx, kReportLabel, message_text, NoError(), nullptr, true);
      },
      [&](const Error& error) {
        SetCursorShape(ctx, kArrowCursor);
        ReportCommandError(ctx, kReportLabel, message_text, error, &error, true);
      });
}

bool CloseForReturn(host::Application& app) {
  const auto active = app.ActiveDocument();
  host::Document& doc = Require(active);
  if (doc.Name().find(kDraftMark) != std::u16string::npos) doc.SetSaved(true);
  doc.Close();
  if (app.GetDocuments().Count() > 0) return false;
  app.SetUserControl(true);
  return true;
}

}  // namespace qnmuro
