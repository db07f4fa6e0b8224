#include "workflow/revision_lock.h"

#include "base/error.h"
#include "host/command_bars.h"
#include "host/host_util.h"

namespace qnmuro {
namespace {

// The protection type, or nullopt-like failure: a failed read counts as "not read".
bool ReadProtection(host::Document* doc, long& type) {
  return IgnoreFailure([&] { type = Require(doc).GetProtectionType(); });
}

}  // namespace

bool TrackRevision(host::Application* app, host::Document* doc) {
  long type = host::kNoProtection;
  const bool read = ReadProtection(doc, type);
  // A failed read still attempts the lock, so that a document is never left unlocked because
  // its state could not be read.
  if (!read || type == host::kNoProtection) {
    IgnoreFailure([&] { Require(doc).Protect(host::kAllowOnlyRevisions, kProtectionPassword); });
    IgnoreFailure([&] { SetOptionsMenuEnabled(Require(app), false); });
  }
  IgnoreFailure([&] { Require(doc).SetTrackRevisions(true); });
  IgnoreFailure([&] { Require(doc).SetPrintRevisions(true); });
  IgnoreFailure([&] { Require(doc).SetShowRevisions(false); });
  return true;
}

bool TrackRevisionWithoutPrint(host::Document* doc) {
  long type = host::kNoProtection;
  const bool read = ReadProtection(doc, type);
  if (!read || type == host::kNoProtection) {
    IgnoreFailure([&] { Require(doc).Protect(host::kAllowOnlyRevisions, kProtectionPassword); });
  }
  IgnoreFailure([&] { Require(doc).SetTrackRevisions(true); });
  IgnoreFailure([&] { Require(doc).SetPrintRevisions(false); });
  IgnoreFailure([&] { Require(doc).SetShowRevisions(false); });
  return true;
}

bool UnTrackRevision(host::Application* app, host::Document* doc) {
  long type = host::kAllowOnlyRevisions;
  const bool read = ReadProtection(doc, type);
  if (!read || type == host::kAllowOnlyRevisions) {
    IgnoreFailure([&] { Require(doc).Unprotect(kProtectionPassword); });
    IgnoreFailure([&] { SetOptionsMenuEnabled(Require(app), true); });
  }
  IgnoreFailure([&] { Require(doc).SetTrackRevisions(false); });
  IgnoreFailure([&] { Require(doc).SetPrintRevisions(false); });
  IgnoreFailure([&] { Require(doc).SetShowRevisions(false); });
  return true;
}

LockState SaveLockState(host::Document* doc) noexcept {
  LockState state;
  state.known = IgnoreFailure([&] {
    host::Document& d = Require(doc);
    state.protection = d.GetProtectionType();
    state.track = d.TrackRevisions();
    state.print = d.PrintRevisions();
    state.show = d.ShowRevisions();
  });
  return state;
}

void RestoreLockState(host::Application* app, host::Document* doc,
                      const LockState& state) noexcept {
  if (!state.known) return;
  if (state.protection == host::kAllowOnlyRevisions) TrackRevision(app, doc);
  IgnoreFailure([&] { Require(doc).SetTrackRevisions(state.track); });
  IgnoreFailure([&] { Require(doc).SetPrintRevisions(state.print); });
  IgnoreFailure([&] { Require(doc).SetShowRevisions(state.show); });
}

void ShowRevision(host::Application& app) {
  Require(app.ActiveDocument()).SetShowRevisions(true);
}

void HideRevision(host::Application& app) {
  const auto doc = app.ActiveDocument();
  Require(doc).SetShowRevisions(false);
  doc->SetPrintRevisions(false);
}

void ToggleRevisionMarks(host::Application& app, host::Control& button) {
  if (button.Caption() == kShowMarksCaption) {
    ShowRevision(app);
    button.SetCaption(kHideMarksCaption);
    button.SetTooltipText(kHideMarksCaption);
  } else {
    HideRevision(app);
    button.SetCaption(kShowMarksCaption);
    button.SetTooltipText(kShowMarksCaption);
  }
}

}  // namespace qnmuro
