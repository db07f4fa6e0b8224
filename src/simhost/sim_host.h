// The simulated word processor: a small headless word processor that implements the object
// model of host/host.h, for the `qnmuro run` command, end-to-end runs and tests.
//
// What it models (the contract of host.h, plus these host rules):
//   - A document is a UTF-16 main text with CR paragraph marks, named bookmarks, floating
//     pictures, protection, tracked revisions, a saved flag and an undo history.
//   - Bookmarks follow edits: text inserted before a bookmark shifts it; inside, it grows; at the
//     start of a bookmark (collapsed or not) the text goes before it (a collapsed bookmark stays
//     collapsed, after the text); at its end the text stays outside. A deletion clips the
//     bookmarks it crosses and removes the non-empty bookmarks it covers entirely.
//     Range::SetText keeps every bookmark that enclosed the replaced span around the new text,
//     and a range taken from a bookmark keeps that bookmark around its new text even when the
//     bookmark was collapsed.
//   - Revisions: under tracking, inserted text stays in the main text and is recorded as an
//     insert revision (consecutive insertions by one author merge); deleted text is removed from
//     the main text and recorded as a delete revision holding that text and its position.
//     AcceptAllRevisions clears the list and leaves the text as it is. The author is the
//     application's user name at the time of the edit, the time comes from the Clock.
//   - Protection type 0 forces tracking on (switching it off raises kProtected); types 1 to 3
//     refuse every edit with kProtected.
//   - Event order. Documents::Open: the file is read, the document becomes active (when
//     visible), then DocumentOpen fires; opening a file that is already open returns that
//     document and fires nothing. Save and SaveAs: DocumentBeforeSave (with the document still
//     under its old name), then the file is written and the document is saved; a handler's
//     cancel stops the save silently. Close: the document's Close event, then the question
//     below, then the document is gone.
//   - Saving raises DocumentBeforeSave once per save; a save started from inside a before-save
//     handler of the same document does not raise it again. Closing raises the document's Close
//     event, then, when the document is not saved, asks through UiService::ShowMessage
//     (yes/no/cancel, exclamation icon, empty title, the text "是否保存对“<name>”的更改？"):
//     yes saves, no discards, cancel keeps the document open and raises kNotAvailable.
//   - Files are Flat ODF text documents whatever their extension. A new document that was never
//     saved is saved as <work_dir>/<name>.fodt.
//   - The named settings (see Settings()) map the members the add-in knows only by their use:
//     "ShowDrawings" (view switch A: drawings shown in the view), "ShowBackground" (view switch
//     B: page background shown), "DrawingObjects" (option C: 1 drawings shown and printed, 0
//     hidden), "WindowState" (the application window: 0 normal, 1 maximised, 2 minimised) and
//     "UserControl" (1: the user, not a program, decides whether the application stays open).
//
// Single-threaded, like the host it stands for.
#ifndef QNMURO_SIMHOST_SIM_HOST_H_
#define QNMURO_SIMHOST_SIM_HOST_H_

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/host.h"
#include "hostkit/script_host.h"
#include "platform/clock.h"
#include "platform/ui.h"

namespace qnmuro::simhost {

// The simulated application, with what `qnmuro run` inspects and does (hostkit/script_host.h).
class SimApplication : public hostkit::ScriptHost {};

std::unique_ptr<SimApplication> NewSimApplication(const hostkit::HostOptions& options);

}  // namespace qnmuro::simhost

#endif  // QNMURO_SIMHOST_SIM_HOST_H_
