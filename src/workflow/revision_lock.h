// The revision lock: the workflow document protected so that only tracked revisions can be
// made, and the display of revision marks. The lock acts on the add-in's workflow document;
// showing and hiding marks act on the host's active document.
#ifndef QNMURO_WORKFLOW_REVISION_LOCK_H_
#define QNMURO_WORKFLOW_REVISION_LOCK_H_

#include "host/host.h"

namespace qnmuro {

// One password, semicolon included, for protecting and unprotecting alike.
inline constexpr char16_t kProtectionPassword[] = u"wombat;pqlrxe";
inline constexpr char16_t kShowMarksCaption[] = u"查看痕迹";
inline constexpr char16_t kHideMarksCaption[] = u"隐藏痕迹";

// Locks `doc` for tracked revisions when it is unprotected (or its protection cannot be read),
// then disables the host's options item; switches tracking on, printing of marks on and showing
// of marks off. Every step is attempted whatever failed before; always returns true. A null
// `app` or `doc` makes the steps that need it fail silently.
bool TrackRevision(host::Application* app, host::Document* doc);

// As TrackRevision, but the options item is left alone and marks are not printed.
bool TrackRevisionWithoutPrint(host::Document* doc);

// Releases a revisions-only lock (or tries to, when the protection cannot be read), then
// enables the options item; switches tracking, printing and showing of marks off. Every step
// is attempted; always returns true.
bool UnTrackRevision(host::Application* app, host::Document* doc);

// The lock and revision switches of a document as a command found them, so that a command
// that lifted the lock and then failed can put them back.
struct LockState {
  bool known = false;  // false: the document could not be read, nothing to put back
  long protection = host::kNoProtection;
  bool track = false;
  bool print = false;
  bool show = false;
};
LockState SaveLockState(host::Document* doc) noexcept;
// A document that was locked for revisions is locked again (TrackRevision); then tracking
// and the printing and showing of marks get their saved values. Every step is attempted.
void RestoreLockState(host::Application* app, host::Document* doc, const LockState& state) noexcept;

// On the active document: marks shown / marks hidden and not printed. Not trapped.
void ShowRevision(host::Application& app);
void HideRevision(host::Application& app);

// The Revision button's click: "查看痕迹" shows the marks and relabels the button "隐藏痕迹";
// any other caption hides them and relabels it "查看痕迹". Not trapped.
void ToggleRevisionMarks(host::Application& app, host::Control& button);

}  // namespace qnmuro

#endif  // QNMURO_WORKFLOW_REVISION_LOCK_H_
