// Save and close: sending the workflow document back to the OA server.
#include <algorithm>

#include "addin/save_reminder.h"
#include "addin/wps_addin.h"
#include "base/error.h"
#include "base/text.h"
#include "common/cipher.h"
#include "common/identity.h"
#include "common/shared_state.h"
#include "common/utils.h"
#include "common/velto_log.h"
#include "config/control_rules.h"
#include "config/vocabulary.h"
#include "host/host_util.h"
#include "platform/ui.h"
#include "transfer/pending_uploads.h"
#include "workflow/red_head.h"

namespace qnmuro {
namespace {

constexpr char16_t kSaveQuestion[] = u"是否要保存文档到服务器？";
constexpr char16_t kCloseErrorNotice[] =
    u"文件关闭时发生错误，您对文档的修改可能无法保存或者更新到服务器，请联系系统管理员！";
// A save whose upload the server did not confirm: the version waits in the pending uploads.
constexpr char16_t kKeptNotice[] =
    u"文档未能上传到服务器，已保存在本机，将在能够连接服务器时自动上传。";
// A save to an address that can never work (the control file's uploadUrl is no absolute http
// or https URL): waiting for the server would be a false promise.
constexpr char16_t kNoAddressNotice[] =
    u"文档未能上传到服务器：配置文件中的上传地址不是有效的http或https地址，文档已保存在本机，"
    u"但无法自动上传，请联系系统管理员。";
constexpr char16_t kConflictNotice[] =
    u"服务器上的文档已被其他用户修改，您的版本没有覆盖它，已保存在本机。";
// Nothing could be kept either (a full disk): only the document itself holds the version.
constexpr char16_t kNotKeptNotice[] =
    u"文档未能上传到服务器，也无法在本机保存待上传的副本（磁盘可能已满），请将文档另存到其他位置。";
constexpr char16_t kRefusedNotice[] =
    u"服务器拒绝了您的用户名或密码，文档没有上传，已保存在本机；再次保存时可重新输入密码。";
constexpr long kWindowMinimized = 2;
// How many reminder ticks (minutes) apart the waiting versions are tried again.
constexpr int kRetryTicks = 5;

// The upload address of the document body.
std::u16string ContentUploadUrl(const ControlRecords& records) {
  const BinaryInfo* content = ContentBinary(records);
  return content == nullptr ? std::u16string() : content->uploadUrl;
}

}  // namespace

void WPSaddin::wpsApp_DocumentBeforeSave(host::Document& document, bool& /*save_as_ui*/,
                                         bool& /*cancel*/) {
  // The add-in's own save inside SaveToServer raises this event again on some hosts.
  if (in_save_to_server_ || !wpsDoc) return;
  bool differs = true;
  IgnoreFailure([&] { differs = document.Name() != wpsDoc->Name(); });
  if (differs) return;
  bool saved = false;
  IgnoreFailure([&] { saved = document.Saved(); });
  if (saved || closing_) return;
  IgnoreFailure([&] {
    if (reminder_) reminder_->SetTimerEnabled(false);
  });
  IgnoreFailure([&] { SaveToServer(); });
  IgnoreFailure([&] {
    if (reminder_) {
      reminder_->iTime = 0;
      reminder_->SetTimerEnabled(true);
    }
  });
}

bool WPSaddin::SaveToServer() {
  if (in_save_to_server_) return true;
  in_save_to_server_ = true;
  bool result = true;
  std::optional<UploadOutcome>& outcome = last_outcome_;
  outcome.reset();
  std::u16string local;
  TrapFirstFailure(
      [&] {
        Require(wpsDoc).Activate();
        const auto doc = Require(wpsApp).ActiveDocument();
        local = Require(doc).FullName();
        const ControlRecords& records = state().records;
        const long action = records.documentInfo.action;
        if (state().controlLoadFailed) {
          // The records describe another document: nothing is uploaded, and the saved state
          // is left to the host so that its own question still guards local changes.
        } else if (!ActionUploads(action)) {
          doc->SetSaved(true);
        } else if (Require(context_.ui)
                       .ShowMessage(kSaveQuestion, MsgButtons::kYesNo, MsgIcon::kQuestion,
                                    kNoticeTitle) != MsgAnswer::kYes) {
          if (closing_) doc->SetSaved(true);
        } else {
          SetCursorShape(context_, kWaitCursor);
          doc->Save();
          doc->SetSaved(true);
          BackupFile(context_, local);
          Login login = ControlFileLogin(context_, records.commonInfo);
          const UploadJob job{AppendUrlParameter(ContentUploadUrl(records),
                                                 UploadQuery(records.documentInfo.unid, action)),
                              records.documentInfo.unid, std::move(login.user),
                              std::move(login.password)};
          outcome = UploadDocument(context_, local, job);
          if (outcome == UploadOutcome::kRefused) outcome = AskPasswordAgain(job, *outcome);
          result = outcome == UploadOutcome::kUploaded;
          // The server is there: what waited for it goes too.
          if (result) PendingUploads(context_).RetryAll();
        }
        SetCursorShape(context_, kArrowCursor);
      },
      [&](const Error& error) {
        IgnoreFailure([&] { SetCursorShape(context_, kArrowCursor); });
        WriteErrorLog(context_.state,
                      ComposeErrorReport(u"关闭文件“" + local + u"”错误：", u"", error), &error);
        result = false;
      });
  in_save_to_server_ = false;
  if (outcome && *outcome != UploadOutcome::kUploaded) TellNotUploaded(*outcome);
  return result;
}

// A version the server did not take is never passed over in silence. At close the close's own
// box follows, so only a conflict, which that box does not explain, is told there.
void WPSaddin::TellNotUploaded(UploadOutcome outcome) {
  const bool conflict = outcome == UploadOutcome::kConflict;
  if (closing_ && !conflict) return;  // the close's box comes first, then this one
  const char16_t* text = conflict                               ? kConflictNotice
                         : outcome == UploadOutcome::kNotKept   ? kNotKeptNotice
                         : outcome == UploadOutcome::kRefused   ? kRefusedNotice
                         : outcome == UploadOutcome::kNoAddress ? kNoAddressNotice
                                                                : kKeptNotice;
  IgnoreFailure([&] {
    Require(context_.ui).ShowMessage(text, MsgButtons::kOk, MsgIcon::kInformation, kNoticeTitle);
  });
}

UploadOutcome WPSaddin::AskPasswordAgain(const UploadJob& job, UploadOutcome outcome) {
  const std::optional<std::u16string> typed =
      Require(context_.ui).AskText(kPasswordAgainPrompt, kPasswordPromptTitle, u"");
  if (!typed || typed->empty()) return outcome;
  SaveUserPassword(context_, job.user, *typed);
  PendingUploads pending(context_);
  std::u16string newest;
  for (const PendingEntry& e : pending.List()) {
    if (e.refused && e.job.url == job.url && e.job.user == job.user) newest = e.id;
  }
  if (newest.empty()) return outcome;
  const std::u16string enciphered = EncryptString(context_, *typed);
  const UploadOutcome sent = pending.SendWithPassword(newest, enciphered).value_or(outcome);
  // The password that went through serves the document's later saves too, over the refused
  // one the control file gave.
  if (sent == UploadOutcome::kUploaded && !state().records.commonInfo.password.empty()) {
    state().records.commonInfo.password = enciphered;
  }
  return sent;
}

void WPSaddin::wpsDoc_Close() {
  if (!content_document_) return;
  closing_ = true;
  if (SaveToServer()) {
    host::Application& app = Require(wpsApp);
    AssignDoc(nullptr);
    if (reminder_) {
      reminder_->Unload();
      reminder_.reset();
    }
    if (user_name_saved_) {
      app.SetUserName(saved_user_name_);
      app.SetUserInitials(saved_user_initials_);
    }
    app.GetOptions().SetDrawingObjects(1);
    EnableOptionsMenu(true);
    app.SetWindowState(kWindowMinimized);
    if (const auto bar = app.GetCommandBars().Find(kBarName)) bar->Delete();
  } else {
    closing_ = false;
    Require(context_.ui)
        .ShowMessage(kCloseErrorNotice, MsgButtons::kOk, MsgIcon::kInformation, kNoticeTitle);
    // Where the version is (kept, to go later; or nowhere but in the document): said as at a
    // failed save.
    if (last_outcome_ && *last_outcome_ != UploadOutcome::kUploaded &&
        *last_outcome_ != UploadOutcome::kConflict) {
      TellNotUploaded(*last_outcome_);
    }
  }
}

void WPSaddin::RetryPendingAtTick() {
  if (in_save_to_server_ || ++ticks_since_retry_ < kRetryTicks) return;
  ticks_since_retry_ = 0;
  PendingUploads pending(context_);
  const std::vector<PendingEntry> entries = pending.List();
  if (std::none_of(entries.begin(), entries.end(),
                   [](const PendingEntry& e) { return !e.conflict && e.problem.empty(); }))
    return;
  SetCursorShape(context_, kWaitCursor);
  IgnoreFailure([&] { pending.RetryAll(); });
  SetCursorShape(context_, kArrowCursor);
}

}  // namespace qnmuro
