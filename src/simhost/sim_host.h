// The simulated word processor: a small headless word processor that implements the object
// model of addin/host.h, for the `qnmuro run` command, end-to-end runs and tests.
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
#include "platform/clock.h"
#include "platform/ui.h"

namespace qnmuro::simhost {

struct SimHostOptions {
  // Answers the close question and the insert-file dialog. Must outlive the application.
  UiService* ui = nullptr;
  // Times of revisions. Must outlive the application.
  Clock* clock = nullptr;
  // Relative file paths (Open, SaveAs, InsertFile, AddPicture, the file dialog's answer) are
  // taken relative to this folder; new documents are saved here.
  std::u16string work_dir;
  // The user name and initials the application starts with.
  std::u16string user_name = u"User";
  std::u16string user_initials = u"U";
};

// One tracked revision of a document, for inspection.
struct RevisionInfo {
  enum class Kind { kInsert, kDelete };
  Kind kind = Kind::kInsert;
  std::u16string text;    // the inserted text as it now stands, or the deleted text
  long position = 0;      // where it starts in the main text (a delete: where the text was)
  std::u16string author;  // the user name when the edit was made
  TimePoint time;
};

// One floating picture of a document, for inspection. left and top are points from the origin
// of the page the picture is on.
struct ShapeInfo {
  std::u16string name;
  long page = 1;
  float left = 0, top = 0, width = 0, height = 0;
  bool visible = true;
  bool behind_text = false;
  long z_order = 0;  // stacking position, 0 = bottom-most
};

class SimApplication : public host::Application {
 public:
  // Revisions of a document of this application in document order; kNotAvailable for a
  // document of another application.
  virtual std::vector<RevisionInfo> Revisions(host::Document& document) = 0;
  // Pictures of a document in collection order; kNotAvailable as above.
  virtual std::vector<ShapeInfo> ShapeInfos(host::Document& document) = 0;

  // The named settings in a fixed order: ShowDrawings, ShowBackground, DrawingObjects,
  // WindowState, UserControl; booleans as 0 and 1.
  virtual std::vector<std::pair<std::u16string, long>> Settings() = 0;

  // Defines (or redefines) a macro; Run(name) then calls `body`. Names compare exactly.
  virtual void DefineMacro(std::u16string_view name, std::function<void()> body) = 0;
  virtual std::vector<std::u16string> MacroNames() = 0;

  // Makes the open document called `name` (its Name()) the active one; kNoSuchMember when
  // there is none.
  virtual std::shared_ptr<host::Document> ActivateByName(std::u16string_view name) = 0;

  // The command bars added through CommandBars::Add that still exist, in the order added.
  virtual std::vector<std::shared_ptr<host::CommandBar>> AddedBars() = 0;
  // What the user's click on a button does: finds the first visible button with exactly this
  // caption on any bar (added bars first, then the built-in ones, popups included) and
  // executes it. Returns false, doing nothing, when the button or its bar is disabled.
  // kNoSuchMember when no bar has such a button.
  virtual bool Click(std::u16string_view caption) = 0;

  // Adds a floating picture at the selection of the active document, where the selection is
  // shown (the user's "insert picture"), and names it.
  virtual std::shared_ptr<host::Shape> AddPictureAtSelection(std::u16string_view file,
                                                             std::u16string_view name, float width,
                                                             float height) = 0;

  // Closes every document as Document::Close does (a cancelled question stops here with its
  // error), then drops the temporary command bars.
  virtual void Quit() = 0;
};

std::unique_ptr<SimApplication> NewSimApplication(const SimHostOptions& options);

}  // namespace qnmuro::simhost

#endif  // QNMURO_SIMHOST_SIM_HOST_H_
