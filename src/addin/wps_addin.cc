#include "addin/wps_addin.h"

#include "addin/save_reminder.h"
#include "base/error.h"
#include "base/text.h"
#include "common/shared_state.h"
#include "common/velto_log.h"
#include "datasource/merge.h"
#include "host/host_util.h"
#include "platform/clock.h"
#include "platform/shell.h"
#include "transfer/agent.h"
#include "workflow/document_modes.h"
#include "workflow/red_head.h"
#include "workflow/revision_lock.h"

namespace qnmuro {

WPSaddin::WPSaddin(Context context) : context_(std::move(context)) {
  if (context_.state == nullptr) {
    owned_state_ = std::make_unique<SharedState>();
    context_.state = owned_state_.get();
  }
}

WPSaddin::~WPSaddin() {
  AssignDoc(nullptr);
  AssignApp(nullptr);
}

// ---- Subscriptions ----

void WPSaddin::AssignApp(host::Application* application) {
  if (wpsApp != nullptr) IgnoreFailure([&] { wpsApp->Unsubscribe(this); });
  wpsApp = application;
  if (wpsApp != nullptr) wpsApp->Subscribe(this);
}

void WPSaddin::AssignDoc(std::shared_ptr<host::Document> document) {
  if (wpsDoc) IgnoreFailure([&] { wpsDoc->Unsubscribe(this); });
  wpsDoc = std::move(document);
  if (wpsDoc) wpsDoc->Subscribe(this);
}

void WPSaddin::ButtonMember::Assign(std::shared_ptr<host::Control> button) {
  if (button_) IgnoreFailure([&] { button_->Unsubscribe(this); });
  button_ = std::move(button);
  if (button_) button_->Subscribe(this);
}

void WPSaddin::ButtonMember::Click(host::Control& control, bool& /*cancel_default*/) {
  // The bar may be rebuilt while the command runs, which ends this member.
  WPSaddin* owner = owner_;
  const BarButtonRow& row = row_;
  TrapFirstFailure([&] { owner->Click(row.id, control); },
                   [&](const Error& error) { owner->ReportAtBoundary(row.handler_name, error); });
}

void WPSaddin::ReportAtBoundary(std::u16string_view operation, const Error& error) noexcept {
  IgnoreFailure([&] {
    WriteErrorLog(context_.state,
                  ComposeErrorReport(std::u16string(operation) + u"错误：", messageText, error),
                  &error);
  });
}

// ---- Connection ----

void WPSaddin::OnConnection(host::Application* application) {
  IgnoreFailure([&] { AssignApp(application); });
  SharedState& shared = state();
  IgnoreFailure([&] {
    if (!shared.eventLog) {
      shared.eventLog = std::make_unique<VeltoLog>(context_.work_dir, context_.clock,
                                                   &shared.records.commonInfo.clientLog);
    }
  });
  shared.records.commonInfo.clientLog = true;
  content_document_ = false;
  IgnoreFailure([&] {
    const LocalTime now = context_.clock != nullptr ? context_.clock->NowLocal()
                                                    : ToLocalTime(TimePoint::clock::now());
    WriteLog(&shared, u"WPS插件开始于" + FormatTimestamp(now) + u"（版本：" +
                          ToText(QNMURO_VERSION_MAJOR) + u"." + ToText(QNMURO_VERSION_MINOR) +
                          u"）...");
  });
  // Versions that earlier sessions could not upload go first.
  IgnoreFailure([&] { PendingUploads(context_).RetryAll(/*quick=*/true); });
}

void WPSaddin::OnDisconnection() {
  IgnoreFailure([&] { WriteLog(context_.state, u"WPS插件结束！"); });
  IgnoreFailure([&] { state().eventLog.reset(); });
  IgnoreFailure([&] { AssignDoc(nullptr); });
  IgnoreFailure([&] { AssignApp(nullptr); });
}

// ---- Host event boundary ----

void WPSaddin::DocumentOpen(host::Document& document) {
  TrapFirstFailure([&] { wpsApp_DocumentOpen(document); },
                   [&](const Error& error) { ReportAtBoundary(u"DocumentOpen", error); });
}

void WPSaddin::DocumentBeforeSave(host::Document& document, bool& save_as_ui, bool& cancel) {
  TrapFirstFailure([&] { wpsApp_DocumentBeforeSave(document, save_as_ui, cancel); },
                   [&](const Error& error) { ReportAtBoundary(u"DocumentBeforeSave", error); });
}

void WPSaddin::Close() {
  TrapFirstFailure([&] { wpsDoc_Close(); },
                   [&](const Error& error) { ReportAtBoundary(u"wpsDoc_Close", error); });
}

// ---- Public operations ----

void WPSaddin::FinalizeDocument() {
  qnmuro::FinalizeDocument(context_, wpsApp, wpsDoc.get(), messageText);
}

void WPSaddin::ViewDocument() {
  qnmuro::ViewDocument(context_, wpsApp, wpsDoc.get());
}

void WPSaddin::ApproveDocument() {
  qnmuro::ApproveDocument(context_, wpsApp, wpsDoc.get());
}

void WPSaddin::DraftDocument() {
  qnmuro::DraftDocument(context_, wpsApp);
}

bool WPSaddin::TrackRevisionWithoutPrint() {
  return qnmuro::TrackRevisionWithoutPrint(wpsDoc.get());
}

bool WPSaddin::TrackRevision() {
  return qnmuro::TrackRevision(wpsApp, wpsDoc.get());
}

bool WPSaddin::UnTrackRevision() {
  return qnmuro::UnTrackRevision(wpsApp, wpsDoc.get());
}

void WPSaddin::ShowRevision() {
  qnmuro::ShowRevision(Require(wpsApp));
}

void WPSaddin::HideRevision() {
  qnmuro::HideRevision(Require(wpsApp));
}

bool WPSaddin::MergeDataSource() {
  if (wpsApp == nullptr) return false;
  return qnmuro::MergeDataSource(context_, *wpsApp);
}

bool WPSaddin::SetDataSource() {
  if (wpsApp == nullptr) return false;
  return qnmuro::SetDataSource(context_, *wpsApp);
}

void WPSaddin::MakeWPSTop() {
  IgnoreFailure([&] { Require(context_.shell).BringMainWindowToFront(u"WPSMain"); });
}

std::u16string WPSaddin::ExecuteAgent(std::u16string_view strAgent, std::u16string_view strPara,
                                      std::optional<std::u16string> varData, bool blnReturnXML) {
  return qnmuro::ExecuteAgent(context_, state().records.commonInfo.rootUrl, strAgent, strPara,
                              varData, blnReturnXML);
}

}  // namespace qnmuro
