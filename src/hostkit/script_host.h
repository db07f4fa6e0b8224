// What `qnmuro run` needs of a host beyond the add-in's object model: inspection of what the
// add-in cannot see (revisions, pictures, the named settings), the user's own actions (a click
// on a button, a picture inserted at the selection) and macros defined by the script; and what
// every host is started with. The simulated word processor and the Writer host both provide it.
#ifndef QNMURO_HOSTKIT_SCRIPT_HOST_H_
#define QNMURO_HOSTKIT_SCRIPT_HOST_H_

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/host.h"
#include "platform/clock.h"
#include "platform/ui.h"

namespace qnmuro::hostkit {

// What a host starts with.
struct HostOptions {
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

// The largest picture file a host takes (AddPicture, AddPictureAtSelection), in bytes; the
// simulated word processor's documents hold pictures up to the same size.
inline constexpr size_t kMaxPictureBytes = 7 << 20;

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

class ScriptHost : public host::Application {
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

// Starts the host that a run drives, with the run's UI, clock and work directory; it may raise
// an error when the host cannot start.
using HostFactory = std::function<std::unique_ptr<ScriptHost>(const HostOptions& options)>;

}  // namespace qnmuro::hostkit

#endif  // QNMURO_HOSTKIT_SCRIPT_HOST_H_
