#include "com/late_bound_host.h"

#include <map>

#include "com/document_table.h"
#include "com/event_sink.h"
#include "com/host_members.h"
#include "com/late_bound.h"
#include "com/late_bound_control.h"

namespace qnmuro::com {
namespace {

namespace m = members;

using Handlers = std::vector<std::pair<const wchar_t*, EventSink::Handler>>;

class Range final : public host::Range {
 public:
  explicit Range(IDispatch* object) : object_(object) {}

  // The host's own range, for the members that take one as an argument.
  IDispatch* object() const { return object_.get(); }

  long Start() override { return object_.GetLong(m::kStart); }
  long End() override { return object_.GetLong(m::kEnd); }
  std::u16string Text() override { return object_.GetText(m::kText); }
  void SetText(std::u16string_view text) override { object_.Put(m::kText, Variant::String(text)); }
  void Copy() override { object_.Call(m::kCopy); }

 private:
  LateBound object_;
};

// Start and end are the bookmark's range's.
class Bookmark final : public host::Bookmark {
 public:
  explicit Bookmark(IDispatch* object) : object_(object) {}

  std::u16string Name() override { return object_.GetText(m::kName); }
  std::shared_ptr<host::Range> GetRange() override {
    return std::make_shared<Range>(object_.GetObject(m::kRange).get());
  }
  long Start() override { return object_.GetLong(m::kStart); }
  long End() override { return object_.GetLong(m::kEnd); }
  void SetStart(long position) override { object_.Put(m::kStart, LongVariant(position)); }
  void SetEnd(long position) override { object_.Put(m::kEnd, LongVariant(position)); }
  void Select() override { object_.Call(m::kSelect); }
  void Delete() override { object_.Call(m::kDelete); }

 private:
  LateBound object_;
};

// A document's bookmarks, asked of the document on every call; Add(Name, Range) takes the
// document's range over the span.
class Bookmarks final : public host::Bookmarks {
 public:
  explicit Bookmarks(IDispatch* document) : document_(document) {}

  long Count() override { return LateBound(List().get()).GetLong(m::kCount); }
  std::shared_ptr<host::Bookmark> Item(long index) override {
    Variant at = LongVariant(index);
    return std::make_shared<Bookmark>(LateBound(List().get()).CallObject(m::kItem, {&at}).get());
  }
  std::shared_ptr<host::Bookmark> Item(std::u16string_view name) override {
    Variant at = Variant::String(name);
    return std::make_shared<Bookmark>(LateBound(List().get()).CallObject(m::kItem, {&at}).get());
  }
  bool Exists(std::u16string_view name) override {
    bool exists = false;
    IgnoreFailure([&] {
      Variant name_arg = Variant::String(name);
      Variant answer = LateBound(List().get()).Call(m::kExists, {&name_arg});
      exists = V_VT(answer.get()) == VT_BOOL && V_BOOL(answer.get()) != VARIANT_FALSE;
    });
    return exists;
  }
  std::shared_ptr<host::Bookmark> Add(std::u16string_view name, long start, long end) override {
    Variant start_arg = LongVariant(start), end_arg = LongVariant(end);
    const Ptr<IDispatch> span = document_.CallObject(m::kRange, {&start_arg, &end_arg});
    Variant name_arg = Variant::String(name), range_arg = ObjectVariant(span.get());
    return std::make_shared<Bookmark>(
        LateBound(List().get()).CallObject(m::kAdd, {&name_arg, &range_arg}).get());
  }

 private:
  Ptr<IDispatch> List() { return document_.GetObject(m::kBookmarks); }

  LateBound document_;
};

class Shape final : public host::Shape {
 public:
  explicit Shape(IDispatch* object) : object_(object) {}

  std::u16string Name() override { return object_.GetText(m::kName); }
  void SetName(std::u16string_view name) override { object_.Put(m::kName, Variant::String(name)); }
  void Delete() override { object_.Call(m::kDelete); }
  void ZOrder(long command) override {
    Variant command_arg = LongVariant(command);
    object_.Call(m::kZOrder, {&command_arg});
  }
  bool Visible() override { return object_.GetBool(m::kVisible); }
  void SetVisible(bool visible) override { object_.Put(m::kVisible, Variant::Bool(visible)); }
  float Left() override { return object_.GetSingle(m::kLeft); }
  float Top() override { return object_.GetSingle(m::kTop); }
  float Width() override { return object_.GetSingle(m::kWidth); }
  float Height() override { return object_.GetSingle(m::kHeight); }

 private:
  LateBound object_;
};

// A document's shapes, asked of the document on every call.
class Shapes final : public host::Shapes {
 public:
  explicit Shapes(IDispatch* document) : document_(document) {}

  long Count() override { return LateBound(List().get()).GetLong(m::kCount); }
  std::shared_ptr<host::Shape> Item(long index) override {
    Variant at = LongVariant(index);
    return std::make_shared<Shape>(LateBound(List().get()).CallObject(m::kItem, {&at}).get());
  }
  // AddPicture(FileName, LinkToFile, SaveWithDocument, Left, Top, Width, Height); the anchor is
  // left to the host.
  std::shared_ptr<host::Shape> AddPicture(std::u16string_view file, bool link_to_file,
                                          bool save_with_document, float left, float top,
                                          float width, float height) override {
    Variant file_arg = Variant::String(file), link = Variant::Bool(link_to_file);
    Variant save = Variant::Bool(save_with_document);
    Variant left_arg = SingleVariant(left), top_arg = SingleVariant(top);
    Variant width_arg = SingleVariant(width), height_arg = SingleVariant(height);
    return std::make_shared<Shape>(
        LateBound(List().get())
            .CallObject(m::kAddPicture,
                        {&file_arg, &link, &save, &left_arg, &top_arg, &width_arg, &height_arg})
            .get());
  }

 private:
  Ptr<IDispatch> List() { return document_.GetObject(m::kShapes); }

  LateBound document_;
};

class Document final : public host::Document {
 public:
  explicit Document(IDispatch* object) : object_(object), bookmarks_(object), shapes_(object) {}

  std::u16string Name() override { return object_.GetText(m::kName); }
  std::u16string FullName() override { return object_.GetText(m::kFullName); }
  void Activate() override { object_.Call(m::kActivate); }
  bool Saved() override { return object_.GetBool(m::kSaved); }
  void SetSaved(bool saved) override { object_.Put(m::kSaved, Variant::Bool(saved)); }
  void Save() override { object_.Call(m::kSave); }
  void SaveAs(std::u16string_view path) override {
    Variant path_arg = Variant::String(path);
    object_.Call(m::kSaveAs, {&path_arg});
  }
  void Close() override { object_.Call(m::kClose); }
  bool Undo(long times) override {
    Variant times_arg = LongVariant(times);
    Variant done = object_.Call(m::kUndo, {&times_arg});
    return V_VT(done.get()) == VT_BOOL && V_BOOL(done.get()) != VARIANT_FALSE;
  }

  host::Bookmarks& GetBookmarks() override { return bookmarks_; }
  host::Shapes& GetShapes() override { return shapes_; }
  std::shared_ptr<host::Range> GetRange(long start, long end) override {
    Variant start_arg = LongVariant(start), end_arg = LongVariant(end);
    return std::make_shared<Range>(object_.CallObject(m::kRange, {&start_arg, &end_arg}).get());
  }
  std::shared_ptr<host::Range> Content() override {
    return std::make_shared<Range>(object_.GetObject(m::kContent).get());
  }

  long GetProtectionType() override { return object_.GetLong(m::kProtectionType); }
  // Protect(Type, NoReset, Password).
  void Protect(long type, std::u16string_view password) override {
    Variant type_arg = LongVariant(type), no_reset = MissingVariant();
    Variant password_arg = Variant::String(password);
    object_.Call(m::kProtect, {&type_arg, &no_reset, &password_arg});
  }
  void Unprotect(std::u16string_view password) override {
    Variant password_arg = Variant::String(password);
    object_.Call(m::kUnprotect, {&password_arg});
  }

  bool TrackRevisions() override { return object_.GetBool(m::kTrackRevisions); }
  void SetTrackRevisions(bool on) override { object_.Put(m::kTrackRevisions, Variant::Bool(on)); }
  bool ShowRevisions() override { return object_.GetBool(m::kShowRevisions); }
  void SetShowRevisions(bool on) override { object_.Put(m::kShowRevisions, Variant::Bool(on)); }
  bool PrintRevisions() override { return object_.GetBool(m::kPrintRevisions); }
  void SetPrintRevisions(bool on) override { object_.Put(m::kPrintRevisions, Variant::Bool(on)); }
  void AcceptAllRevisions() override {
    LateBound(object_.GetObject(m::kRevisions).get()).Call(m::kAcceptAll);
  }

  void Subscribe(host::DocumentEvents* events) override {
    sinks_[events] = std::make_unique<EventSink>(
        object_.get(), Handlers{{m::kCloseEvent, [events](DISPPARAMS&) { events->Close(); }}});
  }
  void Unsubscribe(host::DocumentEvents* events) override { sinks_.erase(events); }

 private:
  LateBound object_;
  Bookmarks bookmarks_;
  Shapes shapes_;
  std::map<host::DocumentEvents*, std::unique_ptr<EventSink>> sinks_;
};

class Documents final : public host::Documents {
 public:
  Documents(IDispatch* application, DocumentTable& table)
      : application_(application), table_(table) {}

  long Count() override { return LateBound(List().get()).GetLong(m::kCount); }
  std::shared_ptr<host::Document> Item(long index) override {
    Variant at = LongVariant(index);
    return table_.For(LateBound(List().get()).CallObject(m::kItem, {&at}).get());
  }
  std::shared_ptr<host::Document> Open(std::u16string_view path, bool visible) override;
  std::shared_ptr<host::Document> Add() override {
    return table_.For(LateBound(List().get()).CallObject(m::kAdd, {}).get());
  }

 private:
  Ptr<IDispatch> List() { return application_.GetObject(m::kDocuments); }

  LateBound application_;
  DocumentTable& table_;
};

// Character moves and deletes take unit 1 (a character).
class Selection final : public host::Selection {
 public:
  explicit Selection(IDispatch* object) : object_(object) {}

  std::shared_ptr<host::Range> GetRange() override {
    return std::make_shared<Range>(object_.GetObject(m::kRange).get());
  }
  void SetRange(long start, long end) override {
    Variant start_arg = LongVariant(start), end_arg = LongVariant(end);
    object_.Call(m::kSetRange, {&start_arg, &end_arg});
  }
  // Information item 3: the page on which the selection ends.
  long EndPageNumber() override {
    Variant item = LongVariant(3);
    return V_I4(Converted(*object_.Call(m::kInformation, {&item}).get(), VT_I4).get());
  }
  void MoveCharacters(long count) override {
    Variant unit = LongVariant(1), by = LongVariant(count < 0 ? -count : count);
    Variant extend = LongVariant(0);
    object_.Call(count < 0 ? m::kMoveLeft : m::kMoveRight, {&unit, &by, &extend});
  }
  void TypeText(std::u16string_view text) override {
    Variant text_arg = Variant::String(text);
    object_.Call(m::kTypeText, {&text_arg});
  }
  void Paste() override { object_.Call(m::kPaste); }
  void WholeStory() override { object_.Call(m::kWholeStory); }
  void Delete() override {
    Variant unit = LongVariant(1), count = LongVariant(1);
    object_.Call(m::kDelete, {&unit, &count});
  }
  // InsertFile(FileName, Range "", ConfirmConversions, Link, Attachment).
  void InsertFile(std::u16string_view path) override {
    Variant file = Variant::String(path), range = Variant::String(u"");
    Variant confirm = Variant::Bool(false), link = Variant::Bool(false);
    Variant attachment = Variant::Bool(false);
    object_.Call(m::kInsertFile, {&file, &range, &confirm, &link, &attachment});
  }

 private:
  LateBound object_;
};

// The view of the window, asked of it on every call.
class View final : public host::View {
 public:
  explicit View(IDispatch* window) : window_(window) {}

  bool ShowDrawings() override { return Of().GetBool(m::kShowDrawings); }
  void SetShowDrawings(bool on) override { Of().Put(m::kShowDrawings, Variant::Bool(on)); }
  bool ShowBackground() override { return Of().GetBool(m::kShowBackground); }
  void SetShowBackground(bool on) override { Of().Put(m::kShowBackground, Variant::Bool(on)); }

 private:
  LateBound Of() { return LateBound(window_.GetObject(m::kView).get()); }

  LateBound window_;
};

// Screen rectangles come back through arguments given by reference.
class Window final : public host::Window {
 public:
  explicit Window(IDispatch* object) : object_(object), view_(object) {}

  host::View& GetView() override { return view_; }
  // Only a range handed out by this adapter carries a host object to show (Error 91 for any
  // other).
  host::ScreenRect GetPoint(host::Range& range) override {
    const auto* ours = dynamic_cast<const Range*>(&range);
    if (ours == nullptr) throw MakeError(kErrObjectNotSet);
    host::ScreenRect at;
    Variant left = LongRefVariant(&at.left), top = LongRefVariant(&at.top);
    Variant width = LongRefVariant(&at.width), height = LongRefVariant(&at.height);
    Variant shown = ObjectVariant(ours->object());
    object_.Call(m::kGetPoint, {&left, &top, &width, &height, &shown});
    return at;
  }
  host::DocumentRect ScreenToDocument(const host::ScreenRect& rect) override {
    Variant left = LongVariant(rect.left), top = LongVariant(rect.top);
    Variant width = LongVariant(rect.width), height = LongVariant(rect.height);
    host::DocumentRect at;
    Variant left_out = SingleRefVariant(&at.left), top_out = SingleRefVariant(&at.top);
    Variant width_out = SingleRefVariant(&at.width), height_out = SingleRefVariant(&at.height);
    object_.Call(m::kScreenToDocument,
                 {&left, &top, &width, &height, &left_out, &top_out, &width_out, &height_out});
    return at;
  }
  // ActivePane.Pages.Item(page).
  host::PagePoint PageOrigin(long page) override {
    const Ptr<IDispatch> pages =
        LateBound(object_.GetObject(m::kActivePane).get()).GetObject(m::kPages);
    Variant at = LongVariant(page);
    LateBound found(LateBound(pages.get()).CallObject(m::kItem, {&at}).get());
    return host::PagePoint{found.GetSingle(m::kLeft), found.GetSingle(m::kTop)};
  }

 private:
  LateBound object_;
  View view_;
};

// Open(FileName, ConfirmConversions, ReadOnly, AddToRecentFiles, PasswordDocument,
// PasswordTemplate, Revert, WritePasswordDocument, WritePasswordTemplate, Format, Encoding,
// Visible, and three more, each 0).
std::shared_ptr<host::Document> Documents::Open(std::u16string_view path, bool visible) {
  Variant file = Variant::String(path), no = Variant::Bool(false), none = Variant::String(u"");
  Variant zero = LongVariant(0), shown = Variant::Bool(visible);
  return table_.For(LateBound(List().get())
                        .CallObject(m::kOpen, {&file, &no, &no, &no, &none, &none, &no, &none,
                                               &none, &zero, &zero, &shown, &zero, &zero, &zero})
                        .get());
}

class Options final : public host::Options {
 public:
  explicit Options(IDispatch* application) : application_(application) {}

  long DrawingObjects() override {
    return LateBound(application_.GetObject(m::kOptions).get()).GetLong(m::kDrawingObjects);
  }
  void SetDrawingObjects(long value) override {
    LateBound(application_.GetObject(m::kOptions).get())
        .Put(m::kDrawingObjects, LongVariant(value));
  }

 private:
  LateBound application_;
};

class Application final : public host::Application {
 public:
  explicit Application(IDispatch* object)
      : object_(object),
        table_(&LateBoundDocument),
        documents_(object, table_),
        options_(object),
        command_bars_(LateBoundCommandBars(object)) {}

  // The host raises its own error when no document is open.
  std::shared_ptr<host::Document> ActiveDocument() override {
    return table_.For(object_.GetObject(m::kActiveDocument).get());
  }
  std::shared_ptr<host::Window> ActiveWindow() override {
    return std::make_shared<Window>(object_.GetObject(m::kActiveWindow).get());
  }
  std::shared_ptr<host::Selection> GetSelection() override {
    return std::make_shared<Selection>(object_.GetObject(m::kSelection).get());
  }
  host::Documents& GetDocuments() override { return documents_; }
  host::Options& GetOptions() override { return options_; }
  host::CommandBars& GetCommandBars() override { return *command_bars_; }

  std::u16string UserName() override { return object_.GetText(m::kUserName); }
  void SetUserName(std::u16string_view name) override {
    object_.Put(m::kUserName, Variant::String(name));
  }
  std::u16string UserInitials() override { return object_.GetText(m::kUserInitials); }
  void SetUserInitials(std::u16string_view initials) override {
    object_.Put(m::kUserInitials, Variant::String(initials));
  }
  void Run(std::u16string_view macro) override {
    Variant name = Variant::String(macro);
    object_.Call(m::kRun, {&name});
  }
  long WindowState() override { return object_.GetLong(m::kWindowState); }
  void SetWindowState(long state) override { object_.Put(m::kWindowState, LongVariant(state)); }
  bool UserControl() override { return object_.GetBool(m::kUserControl); }
  void SetUserControl(bool on) override { object_.Put(m::kUserControl, Variant::Bool(on)); }

  void Subscribe(host::ApplicationEvents* events) override;
  void Unsubscribe(host::ApplicationEvents* events) override { sinks_.erase(events); }

 private:
  LateBound object_;
  DocumentTable table_;
  Documents documents_;
  Options options_;
  std::unique_ptr<host::CommandBars> command_bars_;
  std::map<host::ApplicationEvents*, std::unique_ptr<EventSink>> sinks_;
};

// DocumentOpen(Doc) and DocumentBeforeSave(Doc, SaveAsUI, Cancel): arguments arrive last
// first; the flags go back to the host by reference.
void Application::Subscribe(host::ApplicationEvents* events) {
  Handlers handlers{{m::kDocumentOpenEvent,
                     [this, events](DISPPARAMS& args) {
                       if (args.cArgs < 1) return;
                       const auto document = table_.For(ObjectOf(args.rgvarg[0]).get());
                       events->DocumentOpen(*document);
                     }},
                    {m::kDocumentBeforeSaveEvent, [this, events](DISPPARAMS& args) {
                       if (args.cArgs < 3) return;
                       const auto document = table_.For(ObjectOf(args.rgvarg[2]).get());
                       bool save_as_ui = FlagOf(args.rgvarg[1]);
                       bool cancel = FlagOf(args.rgvarg[0]);
                       events->DocumentBeforeSave(*document, save_as_ui, cancel);
                       SetFlag(args.rgvarg[1], save_as_ui);
                       SetFlag(args.rgvarg[0], cancel);
                     }}};
  sinks_[events] = std::make_unique<EventSink>(object_.get(), std::move(handlers));
}

}  // namespace

std::shared_ptr<host::Document> LateBoundDocument(IDispatch* document) {
  return std::make_shared<Document>(document);
}

std::unique_ptr<host::Application> LateBoundApplication(IDispatch* application) {
  return std::make_unique<Application>(application);
}

}  // namespace qnmuro::com
