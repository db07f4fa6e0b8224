// The word processor's object model, as the add-in sees it.
//
// The add-in acts on the word processor only through these interfaces, and the word processor
// reaches the add-in only through `AddIn` and the event interfaces below. Everything runs on the
// host's single user-interface thread; no method is thread-safe.
//
// Objects are handed out as shared pointers and stay valid to hold after the thing they stand
// for is gone (a closed document, a deleted bookmark or shape, a deleted command bar): using
// them then raises a host error. Every failure raises qnmuro::Error with a host-style number
// and description; the numbers used are listed in HostError.
//
// Positions are character positions in the document's main text, in UTF-16 code units, from 0;
// paragraph marks are CR (13) and count as one character. Collections are indexed from 1.
#ifndef QNMURO_HOST_HOST_H_
#define QNMURO_HOST_HOST_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/error.h"

namespace qnmuro::host {

// Host error numbers.
enum HostError : long {
  kNoSuchMember = kHostErrNoSuchMember,  // the requested member of the collection does not exist
  kBadParameter = 4608,                  // a value is out of range
  kNoDocument = 4248,                    // the command is not available because no document is open
  kObjectDeleted = 5825,                 // the object has been deleted
  kProtected = 4605,      // the method or property is not available (document protected)
  kWrongPassword = 5485,  // the password is incorrect
  kFileError = 5174,      // the file could not be found or opened
  kBadPicture = 5152,     // the file is not an image the host can read
  kNoSuchMacro = 4198,    // the command failed: no macro of that name
  kNotAvailable = 4120,   // the command is not available for this kind of object
};

class Document;
class Range;

// A span of a document's main text.
class Range {
 public:
  virtual ~Range() = default;
  virtual long Start() = 0;
  virtual long End() = 0;
  virtual std::u16string Text() = 0;
  // Replaces the span's text. Bookmarks that enclosed the span stay alive around the new text.
  virtual void SetText(std::u16string_view text) = 0;
  // Puts the span, with the bookmarks and shapes inside it, on the application's clipboard.
  virtual void Copy() = 0;
};

class Bookmark {
 public:
  virtual ~Bookmark() = default;
  virtual std::u16string Name() = 0;
  virtual std::shared_ptr<Range> GetRange() = 0;
  virtual long Start() = 0;
  virtual long End() = 0;
  // Moving the start past the end moves the end along (and vice versa).
  virtual void SetStart(long position) = 0;
  virtual void SetEnd(long position) = 0;
  // The bookmark's span becomes the selection.
  virtual void Select() = 0;
  // Removes the bookmark, not the text it marks.
  virtual void Delete() = 0;
};

class Bookmarks {
 public:
  virtual ~Bookmarks() = default;
  virtual long Count() = 0;
  // By 1-based position (in order of start position, then name) or by name; a missing one
  // raises kNoSuchMember.
  virtual std::shared_ptr<Bookmark> Item(long index) = 0;
  virtual std::shared_ptr<Bookmark> Item(std::u16string_view name) = 0;
  // Never fails.
  virtual bool Exists(std::u16string_view name) = 0;
  // Adds (or moves) a bookmark over a span.
  virtual std::shared_ptr<Bookmark> Add(std::u16string_view name, long start, long end) = 0;
};

// z-order commands of Shape::ZOrder.
enum ZOrderCommand : long {
  kBringToFront = 0,
  kSendToBack = 1,
  kBringForward = 2,
  kSendBackward = 3,
  kBringInFrontOfText = 4,
  kSendBehindText = 5,
};

// A floating picture of a document, placed relative to the page it is on.
class Shape {
 public:
  virtual ~Shape() = default;
  virtual std::u16string Name() = 0;
  virtual void SetName(std::u16string_view name) = 0;
  virtual void Delete() = 0;
  virtual void ZOrder(long command) = 0;
  virtual bool Visible() = 0;
  virtual void SetVisible(bool visible) = 0;
  virtual float Left() = 0;
  virtual float Top() = 0;
  virtual float Width() = 0;
  virtual float Height() = 0;
};

class Shapes {
 public:
  virtual ~Shapes() = default;
  virtual long Count() = 0;
  virtual std::shared_ptr<Shape> Item(long index) = 0;
  // Adds a floating picture on the page of the selection, at (left, top) points from that
  // page's origin. The file must exist and be an image the host reads (kFileError,
  // kBadPicture otherwise).
  virtual std::shared_ptr<Shape> AddPicture(std::u16string_view file, bool link_to_file,
                                            bool save_with_document, float left, float top,
                                            float width, float height) = 0;
};

// Protection types.
enum ProtectionType : long {
  kNoProtection = -1,
  kAllowOnlyRevisions = 0,
  kAllowOnlyComments = 1,
  kAllowOnlyFormFields = 2,
  kAllowOnlyReading = 3,
};

class DocumentEvents {
 public:
  virtual ~DocumentEvents() = default;
  // Fires when the document is about to close, before the unsaved-changes question.
  virtual void Close() = 0;
};

class Document {
 public:
  virtual ~Document() = default;
  // The file name without folder ("Document1" for a new, unsaved document).
  virtual std::u16string Name() = 0;
  // The full path ("Document1" for a new, unsaved document).
  virtual std::u16string FullName() = 0;
  virtual void Activate() = 0;
  virtual bool Saved() = 0;
  virtual void SetSaved(bool saved) = 0;
  // Saves to FullName(); raises the application's before-save event first.
  virtual void Save() = 0;
  virtual void SaveAs(std::u16string_view path) = 0;
  // Closes the document: fires Close, then asks the usual unsaved-changes question when
  // Saved() is false (yes saves, no discards, cancel keeps it open and raises an error).
  virtual void Close() = 0;
  // Undoes the last `times` actions; false when there was nothing to undo.
  virtual bool Undo(long times) = 0;

  virtual Bookmarks& GetBookmarks() = 0;
  virtual Shapes& GetShapes() = 0;
  virtual std::shared_ptr<Range> GetRange(long start, long end) = 0;
  // The whole main text.
  virtual std::shared_ptr<Range> Content() = 0;

  virtual long GetProtectionType() = 0;
  // Fails (kProtected) when the document is already protected.
  virtual void Protect(long type, std::u16string_view password) = 0;
  // Fails (kWrongPassword) when the password does not match; no-op when unprotected.
  virtual void Unprotect(std::u16string_view password) = 0;

  virtual bool TrackRevisions() = 0;
  // Under revisions-only protection tracking cannot be switched off (kProtected).
  virtual void SetTrackRevisions(bool on) = 0;
  virtual bool ShowRevisions() = 0;
  virtual void SetShowRevisions(bool on) = 0;
  virtual bool PrintRevisions() = 0;
  virtual void SetPrintRevisions(bool on) = 0;
  // Turns every tracked revision into plain text (the finishing step of finalisation).
  virtual void AcceptAllRevisions() = 0;

  virtual void Subscribe(DocumentEvents* events) = 0;
  virtual void Unsubscribe(DocumentEvents* events) = 0;
};

class Documents {
 public:
  virtual ~Documents() = default;
  virtual long Count() = 0;
  virtual std::shared_ptr<Document> Item(long index) = 0;
  // Opens a file as a new document (visible: it becomes the active one) and raises the
  // application's document-open event.
  virtual std::shared_ptr<Document> Open(std::u16string_view path, bool visible) = 0;
  // A new empty document; becomes the active one.
  virtual std::shared_ptr<Document> Add() = 0;
};

// The caret or the selected span in the active document.
class Selection {
 public:
  virtual ~Selection() = default;
  virtual std::shared_ptr<Range> GetRange() = 0;
  virtual void SetRange(long start, long end) = 0;
  // The page on which the selection ends (1-based).
  virtual long EndPageNumber() = 0;
  // Moves the caret `count` characters right (negative: left) and collapses the selection.
  virtual void MoveCharacters(long count) = 0;
  virtual void TypeText(std::u16string_view text) = 0;
  // Inserts the clipboard (text, bookmarks and shapes) at the selection.
  virtual void Paste() = 0;
  virtual void WholeStory() = 0;
  // Deletes the selection, or the one character after the caret.
  virtual void Delete() = 0;
  // Inserts the whole content of a document file (text, bookmarks, shapes) at the selection.
  virtual void InsertFile(std::u16string_view path) = 0;
};

// Screen pixels and document points.
struct ScreenRect {
  long left = 0, top = 0, width = 0, height = 0;
};
struct DocumentRect {
  float left = 0, top = 0, width = 0, height = 0;
};
struct PagePoint {
  float left = 0, top = 0;
};

class View {
 public:
  virtual ~View() = default;
  // View switch A: drawing objects (pictures, lines) are shown in the view.
  virtual bool ShowDrawings() = 0;
  virtual void SetShowDrawings(bool on) = 0;
  // View switch B: the page background and its colours are shown in the view.
  virtual bool ShowBackground() = 0;
  virtual void SetShowBackground(bool on) = 0;
};

class Window {
 public:
  virtual ~Window() = default;
  virtual View& GetView() = 0;
  // Where a range of the window's document is shown on screen, in pixels.
  virtual ScreenRect GetPoint(Range& range) = 0;
  // Converts a screen rectangle into document coordinates (points from the top-left corner
  // of the document's first page).
  virtual DocumentRect ScreenToDocument(const ScreenRect& rect) = 0;
  // The origin of page `page` (1-based) of the active pane, in document coordinates.
  virtual PagePoint PageOrigin(long page) = 0;
};

class Options {
 public:
  virtual ~Options() = default;
  // Option C: how drawing objects (the red-head lines among them) are displayed and printed:
  // 1 shown, 0 hidden.
  virtual long DrawingObjects() = 0;
  virtual void SetDrawingObjects(long value) = 0;
};

// A 16x16 button face: a bottom-up 24-bit BMP file's bytes, and a short label for
// transcripts ("F1").
struct Picture {
  std::u16string label;
  std::vector<uint8_t> bmp;
};

class Control;

class ButtonEvents {
 public:
  virtual ~ButtonEvents() = default;
  // Fires when the user clicks the button; setting cancel_default skips the host's own
  // action for the control.
  virtual void Click(Control& button, bool& cancel_default) = 0;
};

// Control types.
enum ControlType : long { kControlButton = 1, kControlPopup = 10 };

class Controls {
 public:
  virtual ~Controls() = default;
  virtual long Count() = 0;
  virtual std::shared_ptr<Control> Item(long index) = 0;
  // By caption, compared exactly; a missing one raises kNoSuchMember.
  virtual std::shared_ptr<Control> Item(std::u16string_view caption) = 0;
  // Adds a control of `type` before position `before` (nullopt: at the end).
  virtual std::shared_ptr<Control> Add(long type, long id, std::optional<long> before,
                                       bool temporary) = 0;
};

class Control {
 public:
  virtual ~Control() = default;
  virtual long Type() = 0;
  virtual std::u16string Caption() = 0;
  virtual void SetCaption(std::u16string_view caption) = 0;
  virtual std::u16string TooltipText() = 0;
  virtual void SetTooltipText(std::u16string_view text) = 0;
  virtual bool Visible() = 0;
  virtual void SetVisible(bool visible) = 0;
  virtual bool Enabled() = 0;
  virtual void SetEnabled(bool enabled) = 0;
  // Runs the control's action as if the user had chosen it; returns when it has finished
  // (dialogs included). A button's click subscribers run first.
  virtual void Execute() = 0;
  // Buttons only (kNotAvailable otherwise).
  virtual void SetFace(const Picture& face) = 0;
  virtual Picture Face() = 0;
  virtual void SetStyle(long style) = 0;  // 3: picture and caption
  virtual void Subscribe(ButtonEvents* events) = 0;
  virtual void Unsubscribe(ButtonEvents* events) = 0;
  // Popups only (kNotAvailable otherwise).
  virtual Controls& GetControls() = 0;
};

class CommandBar {
 public:
  virtual ~CommandBar() = default;
  virtual std::u16string Name() = 0;
  virtual bool Visible() = 0;
  virtual void SetVisible(bool visible) = 0;
  virtual bool Enabled() = 0;
  virtual void SetEnabled(bool enabled) = 0;
  virtual void Delete() = 0;
  virtual Controls& GetControls() = 0;
};

// Command bar positions.
enum BarPosition : long { kBarLeft = 0, kBarTop = 1, kBarRight = 2, kBarBottom = 3 };

class CommandBars {
 public:
  virtual ~CommandBars() = default;
  virtual long Count() = 0;
  // The bar of that name, or null when there is none.
  virtual std::shared_ptr<CommandBar> Find(std::u16string_view name) = 0;
  // A temporary bar is gone when the host closes.
  virtual std::shared_ptr<CommandBar> Add(std::u16string_view name, long position, bool menu_bar,
                                          bool temporary) = 0;
};

class ApplicationEvents {
 public:
  virtual ~ApplicationEvents() = default;
  // Fires after a document has been opened from a file.
  virtual void DocumentOpen(Document& document) = 0;
  // Fires before a document is saved; setting cancel stops the save.
  virtual void DocumentBeforeSave(Document& document, bool& save_as_ui, bool& cancel) = 0;
};

class Application {
 public:
  virtual ~Application() = default;
  // The active document; raises kNoDocument when none is open.
  virtual std::shared_ptr<Document> ActiveDocument() = 0;
  virtual std::shared_ptr<Window> ActiveWindow() = 0;
  virtual std::shared_ptr<Selection> GetSelection() = 0;
  virtual Documents& GetDocuments() = 0;
  virtual Options& GetOptions() = 0;
  virtual CommandBars& GetCommandBars() = 0;

  virtual std::u16string UserName() = 0;
  virtual void SetUserName(std::u16string_view name) = 0;
  virtual std::u16string UserInitials() = 0;
  virtual void SetUserInitials(std::u16string_view initials) = 0;

  // Runs a macro by name; a missing macro raises kNoSuchMacro.
  virtual void Run(std::u16string_view macro) = 0;

  // The window state written with 2 (minimised) when the workflow document has closed, so
  // that the user is back in the OA system.
  virtual long WindowState() = 0;
  virtual void SetWindowState(long state) = 0;
  // Written with true when the last document has closed and the add-in lets go of the
  // application: the user, not the add-in, now controls whether the host stays open.
  virtual bool UserControl() = 0;
  virtual void SetUserControl(bool on) = 0;

  virtual void Subscribe(ApplicationEvents* events) = 0;
  virtual void Unsubscribe(ApplicationEvents* events) = 0;
};

// The add-in connection interface the host calls.
class AddIn {
 public:
  virtual ~AddIn() = default;
  virtual void OnConnection(Application* application) = 0;
  virtual void OnDisconnection() = 0;
  virtual void OnStartupComplete() = 0;
  virtual void OnAddInsUpdate() = 0;
  virtual void OnBeginShutdown() = 0;
};

}  // namespace qnmuro::host

#endif  // QNMURO_HOST_HOST_H_
