// Document open: recognising the workflow document and preparing it for its action.
#include "addin/save_reminder.h"
#include "addin/wps_addin.h"
#include "base/error.h"
#include "base/text.h"
#include "common/handover_mark.h"
#include "common/identity.h"
#include "common/shared_state.h"
#include "common/utils.h"
#include "common/velto_log.h"
#include "config/config.h"
#include "config/control_rules.h"
#include "config/vocabulary.h"
#include "host/host_util.h"
#include "platform/file_io.h"
#include "platform/ui.h"
#include "workflow/red_head.h"

namespace qnmuro {
namespace {

constexpr char16_t kLoadFailedNotice[] = u"配置参数无法初始化，文档可能不正常，请联系系统管理员！";

// The host hands the opened document over by reference; the add-in keeps it by the host's own
// handle, found among the open documents.
std::shared_ptr<host::Document> SharedHandle(host::Application& app, host::Document& document) {
  host::Documents& documents = app.GetDocuments();
  const long count = documents.Count();
  for (long i = 1; i <= count; ++i) {
    auto candidate = documents.Item(i);
    if (candidate.get() == &document) return candidate;
  }
  auto active = app.ActiveDocument();
  if (active.get() == &document) return active;
  throw MakeError(kErrObjectNotSet);
}

}  // namespace

std::u16string NoControlFileLine(std::u16string_view current_file,
                                 std::u16string_view control_path) {
  return u"CurrentFile“" + std::u16string(current_file) + u"”没有对应的配置文件“" +
         std::u16string(control_path) + u"”，文档按普通文档打开！";
}

std::u16string HandOverTakenLine(std::u16string_view current_file, std::u16string_view document) {
  return u"CurrentFile“" + std::u16string(current_file) +
         u"”的交接已被接收过（CurrentFile无法清除），文档“" + std::u16string(document) +
         u"”按普通文档打开！";
}

std::u16string NotClearedLine(std::u16string_view current_file, long code, bool remembered,
                              std::u16string_view mark) {
  std::u16string line = u"CurrentFile“" + std::u16string(current_file) + u"”无法清除（系统错误" +
                        ToText(static_cast<int32_t>(code)) + u"）";
  if (remembered) return line + u"，此次交接已记在“" + std::u16string(mark) + u"”中。";
  return line + u"，也无法记在“" + std::u16string(mark) + u"”中：以后打开的文档会被当作此次交接！";
}

std::u16string WorkflowUserName(std::u16string_view full_name, std::u16string_view last_name) {
  const size_t slash = full_name.find(u'/');
  if (slash == std::u16string_view::npos || slash == 0) return std::u16string(last_name);
  return std::u16string(last_name) + std::u16string(full_name.substr(slash));
}

void WPSaddin::TakeHandOver(const std::u16string& current, const std::u16string& control_path) {
  if (SetCurrentFile(context_, u"")) {
    ForgetHandOverTaken(context_);
    return;
  }
  const long code = LastSystemError();
  const bool remembered = RememberHandOverTaken(context_, current, control_path);
  WriteLog(context_.state, NotClearedLine(current, code, remembered, HandOverMarkPath(context_)));
}

void WPSaddin::SetWorkflowUser(host::Application& app) {
  const CommonInfo& common = state().records.commonInfo;
  saved_user_name_ = app.UserName();
  saved_user_initials_ = app.UserInitials();
  user_name_saved_ = true;
  app.SetUserInitials(common.lastName);
  app.SetUserName(WorkflowUserName(common.fullName, common.lastName));
}

void WPSaddin::PrepareForAction() {
  switch (ActionPreparation(state().records.documentInfo.action)) {
    case Preparation::kDraft:
      return DraftDocument();
    case Preparation::kView:
      return ViewDocument();
    case Preparation::kApprove:
      return ApproveDocument();
    case Preparation::kFinalize:
      return FinalizeDocument();
    case Preparation::kNone:
      return;
  }
}

void WPSaddin::wpsApp_DocumentOpen(host::Document& document) {
  bool prepared = false;
  TrapFirstFailure(
      [&] {
        host::Application& app = Require(wpsApp);
        const std::u16string current = GetCurrentFile(context_);
        const std::u16string control_path =
            context_.work_dir + kPathSeparator + RemoveFileExtension(current) + u".xml";
        const bool handed_over = !current.empty() && current != std::u16string(1, 0);
        const auto open_plain = [&app] {
          const auto active = app.ActiveDocument();
          Require(active).SetShowRevisions(false);
          active->SetTrackRevisions(false);
          active->SetPrintRevisions(false);
        };
        if (!IsPlainFile(control_path) || !handed_over) {
          // A hand-over whose control file is missing opens as a plain document; say so, since
          // nothing else shows that the OA side's files did not arrive.
          if (handed_over) WriteLog(context_.state, NoControlFileLine(current, control_path));
          return open_plain();
        }

        // A hand-over whose CurrentFile could not be cleared is taken once, not for every
        // document opened after it.
        if (HandOverTaken(context_, current, control_path)) {
          WriteLog(context_.state, HandOverTakenLine(current, document.FullName()));
          return open_plain();
        }

        closing_ = false;
        content_document_ = true;
        TakeHandOver(current, control_path);
        AssignDoc(SharedHandle(app, document));
        if (!reminder_) {
          reminder_ = std::make_unique<Timer>(context_.clock, context_.ui);
          reminder_->SetTickWork([this] { RetryPendingAtTick(); });
          reminder_->Load();
        }

        Config config(context_);
        if (!config.Init(control_path)) {
          messageText = kLoadFailedNotice;
          Require(context_.ui)
              .ShowMessage(messageText, MsgButtons::kOk, MsgIcon::kInformation, kNoticeTitle);
          messageText = u"配置参数“" + control_path + u"”无法初始化，文档可能不正常！";
          // No error is pending: the report carries an empty description and number 0.
          WriteErrorLog(context_.state,
                        ComposeErrorReport(u"DocumentOpen错误：", messageText, NoError()));
          return;
        }

        // A document the OA client fetched itself may be another version than the one whose
        // tag this computer holds: the tag then names nothing the clerk's save replaces.
        IgnoreFailure([&] {
          PendingUploads(context_).ForgetStaleTag(state().records.documentInfo.unid,
                                                  document.FullName());
        });
        SetWorkflowUser(app);
        SetWPSBar();
        PrepareForAction();
        HideRevision();
        ShowRedHeadSettings(app);
        prepared = true;
      },
      [&](const Error& error) {
        WriteErrorLog(context_.state, ComposeErrorReport(u"DocumentOpen错误：", messageText, error),
                      &error);
      });
  if (!prepared) return;
  // The host-side hook is optional: a missing or failing macro goes unreported.
  IgnoreFailure([&] { wpsApp->Run(u"OAOpen"); });
  IgnoreFailure(
      [&] { WriteLog(context_.state, u"文档“" + document.FullName() + u"”初始化完毕！"); });
  // A workflow document means the server is wanted again: what waited for it goes now.
  IgnoreFailure([&] { PendingUploads(context_).RetryAll(/*quick=*/true); });
}

}  // namespace qnmuro
