// The Writer host's objects: host.h over Writer's documents, text, bookmarks, pictures and
// frames. Internal to lohost; the public face is writer_host.h.
//
// How the core's model maps onto Writer's:
//   - A position is the number of UTF-16 units of main text before it, paragraph breaks
//     counting one (Writer's cursor moves count the same way); a range is a Writer text
//     cursor, so it moves with edits as the host's ranges do.
//   - Handles (bookmarks, pictures) are names looked up again on every call: when the user
//     removed the thing meanwhile, the call raises kObjectDeleted, as the host's handles do.
//   - Every call into Writer goes through Uno(): UNO exceptions become host errors.
#ifndef QNMURO_LOHOST_LO_MODEL_H_
#define QNMURO_LOHOST_LO_MODEL_H_

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/document/XUndoManager.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextCursor.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/text/XTextRangeCompare.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <com/sun/star/util/XModifyListener.hpp>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/host.h"
#include "hostkit/mem_command_bars.h"
#include "hostkit/script_host.h"
#include "lohost/uno_util.h"
#include "lohost/writer_host.h"

namespace qnmuro::lohost {

using css::uno::Reference;

class LoApplication;
class LoDocument;

// A text cursor as the range it spans (the office's references do not convert by themselves).
inline Reference<css::text::XTextRange> RangeOf(const Reference<css::text::XTextCursor>& cursor) {
  return Reference<css::text::XTextRange>(cursor.get());
}

// A bookmark's name and span, as positions.
struct BookmarkSpan {
  std::u16string name;
  long start = 0, end = 0;
};

// What an action of the undo history may change of the bookmarks, taken before it, so that an
// undo puts back what Writer's own undo loses: every bookmark (`all`, `spans` holds them all),
// or, for an action that can disturb only a few, those in `spans` and the names in `absent`,
// which were not there.
struct BookmarksBefore {
  bool all = true;
  std::vector<BookmarkSpan> spans;
  std::vector<std::u16string> absent;
};

// Counts Writer's changes of a document (its modify events, one or more for every edit of the
// text or of a bookmark, whoever makes it) into `count`.
Reference<css::util::XModifyListener> NewChangeCounter(
    std::shared_ptr<std::atomic<unsigned long>> count);

// The document's bookmarks as far as the host has measured them, so that reading them one
// after the other costs a few calls into Writer each instead of a walk over the text for every
// bookmark: Writer's names in its own order (by start position, which Writer keeps for its own
// lookups; equal starts in an order of its own), the spans measured so far in that order, and a
// cursor from a known position that the next one is measured from. What it knows holds while
// every change Writer reports of the document is one the host accounted for (Adopt...); any
// other change, the user's or the host's own, makes it start over.
class BookmarkIndex {
 public:
  explicit BookmarkIndex(LoDocument* doc) : doc_(doc) {}

  long Count();
  // The name at a 1-based position in (start, name) order; kNoSuchMember when there is none.
  std::u16string NameAt(long index);
  bool Contains(std::u16string_view name);
  // The span of the bookmark of that name; nothing when there is none.
  std::optional<BookmarkSpan> Find(std::u16string_view name);
  // Writer's bookmark of that name; null when there is none.
  Reference<css::text::XTextContent> Mark(std::u16string_view name);
  // A range over the bookmark's span (the one it was measured with, handed over once); null
  // when there is none.
  Reference<css::text::XTextRange> Anchor(std::u16string_view name);
  // Every bookmark, in (start, name) order.
  std::vector<BookmarkSpan> All();
  // The bookmarks with their start or their end within [start, end].
  std::vector<BookmarkSpan> Touching(long start, long end);
  // The position of a point of the main text.
  long PositionOf(const Reference<css::text::XTextRange>& point);

  // The document's change count the index holds for; the Adopt calls take it from just before
  // the host's edit, so that they account only for that edit.
  unsigned long Generation();
  // [start, end] (all of whose bookmarks Touching measured) was replaced by `inserted`, and the
  // text grew by `grown`; `placed` are the bookmarks set again, with their new spans.
  void AdoptReplacement(unsigned long generation, long start, long end, long grown,
                        const std::vector<BookmarkSpan>& placed,
                        const Reference<css::text::XTextRange>& inserted);
  // The bookmark `name` was removed.
  void AdoptRemoval(unsigned long generation, std::u16string_view name);

 private:
  struct Entry {
    long start = 0, end = 0;
    bool measured = false;
    Reference<css::text::XTextContent> mark;  // Writer's bookmark, once looked up
    Reference<css::text::XTextRange> anchor;  // over the span it was measured with
  };

  void Sync();  // starts over when the document changed since
  void Load();  // the names
  void Walk();  // measures the next bookmark in Writer's order
  void MeasureAlone(const std::u16string& name, Entry& entry);
  long Measure(const Reference<css::text::XTextRange>& point);  // as PositionOf, no Sync
  long StartAt(size_t k) const { return entries_.at(order_[k]).start; }
  void StartOver();
  void Remove(const std::u16string& name);

  LoDocument* doc_;
  unsigned long generation_ = 0;
  bool loaded_ = false;
  std::vector<std::u16string> order_;  // by start; order_[0, walked_) measured
  std::unordered_map<std::u16string, Entry> entries_;
  size_t walked_ = 0;
  // Over [from_, reach_]: from_ lies at or before the start of every bookmark not yet walked;
  // null when no such position is known.
  Reference<css::text::XTextCursor> ref_;
  long from_ = 0, reach_ = 0;
};

class LoRange final : public host::Range {
 public:
  // `bookmark`: the range was taken from that bookmark, which stays around its new text.
  // `known`: the range's positions, as they are at the document's current change count.
  LoRange(std::shared_ptr<LoDocument> doc, Reference<css::text::XTextCursor> cursor,
          std::u16string bookmark = {}, std::optional<BookmarkSpan> known = {});
  LoRange(std::shared_ptr<LoDocument> doc, Reference<css::text::XTextRange> range,
          std::u16string bookmark, std::optional<BookmarkSpan> known);
  long Start() override;
  long End() override;
  std::u16string Text() override;
  void SetText(std::u16string_view text) override;
  void Copy() override;

  // A cursor over the range, made on first use.
  const Reference<css::text::XTextCursor>& cursor();
  LoDocument& doc() { return *doc_; }

 private:
  void Know(long start, long end);
  bool Known() const;

  std::shared_ptr<LoDocument> doc_;
  Reference<css::text::XTextRange> range_;
  Reference<css::text::XTextCursor> cursor_;  // the same range, when there is one
  std::u16string bookmark_;
  long known_start_ = -1, known_end_ = -1;
  unsigned long known_at_ = 0;
};

class LoBookmarks final : public host::Bookmarks {
 public:
  explicit LoBookmarks(LoDocument* doc) : doc_(doc) {}
  long Count() override;
  std::shared_ptr<host::Bookmark> Item(long index) override;
  std::shared_ptr<host::Bookmark> Item(std::u16string_view name) override;
  bool Exists(std::u16string_view name) override;
  std::shared_ptr<host::Bookmark> Add(std::u16string_view name, long start, long end) override;

 private:
  LoDocument* doc_;
};

class LoShapes final : public host::Shapes {
 public:
  explicit LoShapes(LoDocument* doc) : doc_(doc) {}
  long Count() override;
  std::shared_ptr<host::Shape> Item(long index) override;
  std::shared_ptr<host::Shape> AddPicture(std::u16string_view file, bool link_to_file,
                                          bool save_with_document, float left, float top,
                                          float width, float height) override;

 private:
  LoDocument* doc_;
};

class LoDocument final : public host::Document, public std::enable_shared_from_this<LoDocument> {
 public:
  LoDocument(LoApplication* app, Reference<css::text::XTextDocument> model, std::u16string name,
             bool has_file);
  ~LoDocument() override;

  std::u16string Name() override;
  std::u16string FullName() override;
  void Activate() override;
  bool Saved() override;
  void SetSaved(bool saved) override;
  void Save() override;
  void SaveAs(std::u16string_view path) override;
  void Close() override;
  bool Undo(long times) override;
  host::Bookmarks& GetBookmarks() override { return bookmarks_; }
  host::Shapes& GetShapes() override { return shapes_; }
  std::shared_ptr<host::Range> GetRange(long start, long end) override;
  std::shared_ptr<host::Range> Content() override;
  long GetProtectionType() override;
  void Protect(long type, std::u16string_view password) override;
  void Unprotect(std::u16string_view password) override;
  bool TrackRevisions() override;
  void SetTrackRevisions(bool on) override;
  bool ShowRevisions() override;
  void SetShowRevisions(bool on) override;
  bool PrintRevisions() override;
  void SetPrintRevisions(bool on) override { print_revisions_ = on; }
  void AcceptAllRevisions() override;
  void Subscribe(host::DocumentEvents* events) override;
  void Unsubscribe(host::DocumentEvents* events) override;

  // For the other objects of the host.
  void CheckAlive() const;     // kObjectDeleted once closed
  void CheckEditable() const;  // kProtected under the protection types Writer cannot keep
  const Reference<css::text::XTextDocument>& model() const { return model_; }
  Reference<css::text::XText> Text() const;
  Reference<css::text::XTextRangeCompare> Compare() const;
  Reference<css::container::XNameAccess> BookmarkAccess() const;
  Reference<css::frame::XController> Controller() const;
  Reference<css::frame::XFrame> Frame() const;
  LoApplication& app() const { return *app_; }
  // A cursor over [start, end]; kBadParameter when either is outside the text.
  Reference<css::text::XTextCursor> CursorAt(long start, long end);
  long PositionOf(const Reference<css::text::XTextRange>& point);
  long Length();
  std::vector<BookmarkSpan> BookmarkSpans();
  BookmarkIndex& Index() { return index_; }
  // Writer's changes of the document so far; Counting() is false when Writer does not report
  // them (nothing measured is then kept).
  unsigned long Changes() const { return changes_->load(); }
  bool Counting() const { return counting_; }
  // Sets a bookmark over [start, end], replacing one of that name, as one action.
  void PutBookmark(std::u16string_view name, long start, long end);
  // Sets a bookmark's span again, outside the undo history.
  void MoveBookmark(std::u16string_view name, long start, long end);
  // Sets a bookmark over [start, end], replacing one of that name, within the current action.
  void PlaceBookmark(std::u16string_view name, long start, long end);
  // Sets the bookmark `name` over `span`, replacing one of that name (a point bookmark when
  // `collapsed`).
  void PlaceBookmarkOver(std::u16string_view name, const Reference<css::text::XTextRange>& span,
                         bool collapsed);
  // What ReplaceText did.
  struct Replacement {
    long grown = 0;                         // how much the text grew
    Reference<css::text::XTextRange> text;  // over the new text, when asked for
    bool in_one = false;                    // the span itself was replaced, in one step
  };
  // Replaces the span with `text`: paragraph marks (CR) become paragraph breaks. `old_length` is
  // the span's length when known (else measured); `want_text` asks for a range over the new text.
  Replacement ReplaceText(const Reference<css::text::XTextRange>& span, std::u16string_view text,
                          long old_length = -1, bool want_text = false);
  // Inserts `text` at the collapsed `cursor`, paragraph marks as breaks; the cursor ends after it.
  void InsertParagraphs(const Reference<css::text::XTextCursor>& cursor, std::u16string_view text);
  // Runs `edit` as one action of the document's undo history, however many steps Writer makes
  // of it: the core undoes its own edits by counting them. `before`: what the edit may change
  // of the bookmarks (by default every bookmark is taken).
  void AsOneAction(const std::function<void()>& edit, const BookmarksBefore* before = nullptr);
  Reference<css::document::XUndoManager> UndoManager() const;
  // Word 97 files keep no picture names in Writer: before a save the names go into a document
  // property of their own, keyed by where each picture lies, and on open they are given back.
  void KeepPictureNames();
  void RestorePictureNames();
  // The same for the pictures a file inserted into this document brought along.
  void RestorePictureNamesFrom(const std::u16string& file);
  // Closes the document in Writer without asking (the application going away).
  void Dispose();
  bool closed() const { return closed_; }
  // An add-in follows this document's events: it is the add-in's workflow document.
  bool Followed() const { return !closed_ && !subscribers_.empty(); }
  // In Writer's own process (lo_events.cc): Writer stored the document at `url` by a save of
  // its own, not the add-in's; Writer is closing the document; Writer has closed it.
  void WriterSaved(const OUString& url);
  void WriterClosing();
  void WriterClosed();

 private:
  // The bookmarks before one action of the undo history; `depth` is the history's length
  // once the action was made.
  struct UndoMarks {
    long depth = 0;
    BookmarksBefore before;
  };

  void StoreTo(const std::u16string& path, bool keep_format);
  // `filter_` from the format Writer last loaded or stored the file in.
  void ReadFilter();
  // Switches Writer's recording of changes, whatever the add-in's protection; false when
  // Writer refuses.
  bool Recording(bool on);
  void RestorePictureNames(const Reference<css::beans::XPropertySet>& user_properties);
  // Runs `edit` without recording it in the undo history.
  void OutsideUndo(const std::function<void()>& edit);
  // Puts the bookmarks back as they were before an undone action: Writer's undo loses a
  // bookmark whose text was replaced and keeps a collapsed one an insertion brought.
  void RestoreBookmarks(const BookmarksBefore& before);
  void WatchChanges();

  LoApplication* app_;
  Reference<css::text::XTextDocument> model_;
  std::u16string full_name_;
  bool has_file_;
  OUString filter_;  // the format the file was opened in, kept on save
  bool closed_ = false;
  bool in_before_save_ = false;
  bool storing_ = false;         // the add-in's own store is under way
  bool writer_stored_ = false;   // a save of Writer's own has just written the file
  bool writer_copy_ = false;     // ... or a copy elsewhere: the add-in's save writes the file
  bool writer_closing_ = false;  // Writer's close has raised the Close event
  long protection_ = host::kNoProtection;
  bool show_revisions_ = true;
  bool print_revisions_ = true;
  std::vector<host::DocumentEvents*> subscribers_;
  std::vector<UndoMarks> undo_marks_;
  int action_depth_ = 0;
  LoBookmarks bookmarks_;
  LoShapes shapes_;
  BookmarkIndex index_{this};
  std::shared_ptr<std::atomic<unsigned long>> changes_ =
      std::make_shared<std::atomic<unsigned long>>(0);
  bool counting_ = false;
  Reference<css::util::XModifyListener> change_counter_;
  // Writer's objects of the document that never change while it is open, looked up once.
  mutable Reference<css::text::XText> text_;
  mutable Reference<css::text::XTextRangeCompare> compare_;
  mutable Reference<css::container::XNameAccess> bookmark_access_;
  mutable Reference<css::document::XUndoManager> undo_manager_;
};

class LoSelection final : public host::Selection {
 public:
  explicit LoSelection(LoApplication* app) : app_(app) {}
  std::shared_ptr<host::Range> GetRange() override;
  void SetRange(long start, long end) override;
  long EndPageNumber() override;
  void MoveCharacters(long count) override;
  void TypeText(std::u16string_view text) override;
  void Paste() override;
  void WholeStory() override;
  void Delete() override;
  void InsertFile(std::u16string_view path) override;

 private:
  LoDocument& Doc();
  long start_ = 0, end_ = 0;
  LoApplication* app_;
};

class LoView final : public host::View {
 public:
  explicit LoView(LoApplication* app) : app_(app) {}
  bool ShowDrawings() override;
  void SetShowDrawings(bool on) override;
  bool ShowBackground() override;
  void SetShowBackground(bool on) override;

 private:
  LoApplication* app_;
};

class LoWindow final : public host::Window {
 public:
  LoWindow(LoApplication* app, std::shared_ptr<LoDocument> doc)
      : app_(app), doc_(std::move(doc)), view_(app) {}
  host::View& GetView() override { return view_; }
  host::ScreenRect GetPoint(host::Range& range) override;
  host::DocumentRect ScreenToDocument(const host::ScreenRect& rect) override;
  host::PagePoint PageOrigin(long page) override;

 private:
  LoApplication* app_;
  std::shared_ptr<LoDocument> doc_;
  LoView view_;
};

// Drawing objects shown and printed: Writer's application-wide print settings for pictures and
// drawings (org.openoffice.Office.Writer/Print/Content, Graphic and Drawing).
class LoOptions final : public host::Options {
 public:
  explicit LoOptions(LoApplication* app) : app_(app) {}
  long DrawingObjects() override;
  void SetDrawingObjects(long value) override;

 private:
  LoApplication* app_;
};

class LoDocuments final : public host::Documents {
 public:
  explicit LoDocuments(LoApplication* app) : app_(app) {}
  long Count() override;
  std::shared_ptr<host::Document> Item(long index) override;
  std::shared_ptr<host::Document> Open(std::u16string_view path, bool visible) override;
  std::shared_ptr<host::Document> Add() override;

 private:
  LoApplication* app_;
};

class LoApplication final : public hostkit::ScriptHost {
 public:
  LoApplication(Reference<css::uno::XComponentContext> context,
                const hostkit::HostOptions& options);
  ~LoApplication() override;

  // host::Application
  std::shared_ptr<host::Document> ActiveDocument() override;
  std::shared_ptr<host::Window> ActiveWindow() override;
  std::shared_ptr<host::Selection> GetSelection() override { return selection_; }
  host::Documents& GetDocuments() override { return documents_; }
  host::Options& GetOptions() override { return options_; }
  host::CommandBars& GetCommandBars() override { return bars_; }
  std::u16string UserName() override;
  void SetUserName(std::u16string_view name) override;
  std::u16string UserInitials() override;
  void SetUserInitials(std::u16string_view initials) override;
  void Run(std::u16string_view macro) override;
  long WindowState() override { return window_state_; }
  void SetWindowState(long state) override { window_state_ = state; }
  bool UserControl() override { return user_control_; }
  void SetUserControl(bool on) override { user_control_ = on; }
  void Subscribe(host::ApplicationEvents* events) override;
  void Unsubscribe(host::ApplicationEvents* events) override;

  // hostkit::ScriptHost
  std::vector<hostkit::RevisionInfo> Revisions(host::Document& document) override;
  std::vector<hostkit::ShapeInfo> ShapeInfos(host::Document& document) override;
  std::vector<std::pair<std::u16string, long>> Settings() override;
  void DefineMacro(std::u16string_view name, std::function<void()> body) override;
  std::vector<std::u16string> MacroNames() override;
  std::shared_ptr<host::Document> ActivateByName(std::u16string_view name) override;
  std::vector<std::shared_ptr<host::CommandBar>> AddedBars() override { return bars_.AddedBars(); }
  bool Click(std::u16string_view caption) override;
  std::shared_ptr<host::Shape> AddPictureAtSelection(std::u16string_view file,
                                                     std::u16string_view name, float width,
                                                     float height) override;
  void Quit() override;

  // For the documents and the other objects.
  const std::vector<std::shared_ptr<LoDocument>>& GetDocumentList() const { return docs_; }
  const Reference<css::uno::XComponentContext>& context() const { return context_; }
  UiService& Ui() const { return *ui_; }
  std::u16string ResolvePath(std::u16string_view path) const;
  std::shared_ptr<LoDocument> Active();
  void MakeActive(LoDocument& doc);
  void BeforeSave(LoDocument& doc, bool& save_as_ui, bool& cancel);
  void DocumentClosed(LoDocument& doc);
  std::shared_ptr<LoDocument> Load(std::u16string_view path, bool visible);
  std::shared_ptr<LoDocument> NewDocument();
  // What Range::Copy put aside: Writer's own transferable of the copied span.
  css::uno::Any& Clipboard() { return clipboard_; }
  bool show_background() const { return show_background_; }
  bool show_drawings() const { return show_drawings_; }
  // Loads under way that raise no document-open (the add-in's own, and files read aside).
  int& loading() { return loading_; }
  void set_show_drawings(bool on) { show_drawings_ = on; }
  void set_show_background(bool on) { show_background_ = on; }
  // Keeps the Writer process this application runs in; it is stopped after the documents.
  void Own(std::shared_ptr<void> process) { process_ = std::move(process); }

  // In Writer's own process (lo_events.cc): follows Writer's document events, so that a
  // document opened, saved or closed by the user or another program raises the add-in's
  // events as the add-in's own calls do. A remote application never listens: there the
  // application raises the events itself.
  void ListenToWriter();
  void StopListening();
  void OnWriterEvent(const OUString& name, const Reference<css::uno::XInterface>& source);
  void OnWriterClose(const Reference<css::uno::XInterface>& source, bool closed);
  bool listening() const { return listener_.is(); }
  // Called when Writer opens a document while no add-in follows the application (the add-in
  // let go of it when its last document closed), before the document-open is raised: the
  // extension loads the add-in again there, as the word processor does at its next start.
  void OnOpenUnfollowed(std::function<void()> connect) { connect_ = std::move(connect); }

 private:
  void BuildMenuBar();
  std::shared_ptr<LoDocument> Adopted(const Reference<css::uno::XInterface>& model) const;
  void Watch(LoDocument& doc);

  Reference<css::uno::XComponentContext> context_;
  UiService* ui_;
  std::u16string work_dir_;
  std::vector<std::shared_ptr<LoDocument>> docs_;
  std::weak_ptr<LoDocument> active_;
  long next_new_number_ = 1;
  std::shared_ptr<LoSelection> selection_;
  LoDocuments documents_;
  LoOptions options_{this};
  hostkit::MemCommandBars bars_;
  std::vector<host::ApplicationEvents*> subscribers_;
  std::map<std::u16string, std::function<void()>> macros_;
  css::uno::Any clipboard_;
  long window_state_ = 1;
  bool user_control_ = false;
  bool show_background_ = true;
  bool show_drawings_ = true;
  std::shared_ptr<void> process_;
  std::function<void()> connect_;
  Reference<css::uno::XInterface> listener_;
  int loading_ = 0;  // the add-in's own loads under way: Load raises their open itself
};

}  // namespace qnmuro::lohost

#endif  // QNMURO_LOHOST_LO_MODEL_H_
