#include <windows.h>

#include <initguid.h>
// clang-format off: the generated header must follow initguid.h.
#include "fake_host.h"
// clang-format on

#include "sim_automation.h"

#include <functional>
#include <type_traits>

#include "base/error.h"
#include "com/button_face.h"
#include "com/late_bound.h"

namespace qnmuro::com {
namespace {

// Event DISPIDs of the test host's type library.
constexpr DISPID kDocumentOpenId = 4;
constexpr DISPID kDocumentBeforeSaveId = 8;
constexpr DISPID kCloseId = 6;
constexpr DISPID kClickId = 1;

// An argument in call order (IDispatch hands them over last first); an empty value when it
// was left out.
VARIANT Arg(const DISPPARAMS& args, UINT index) {
  VARIANT value;
  VariantInit(&value);
  if (index < args.cArgs) VariantCopyInd(&value, &args.rgvarg[args.cArgs - 1 - index]);
  if (V_VT(&value) == VT_ERROR) VariantInit(&value);
  return value;
}

// A value as the type asked for, read through a reference.
Variant As(const VARIANT& value, VARTYPE type) {
  Variant copy;
  VariantCopyInd(copy.get(), const_cast<VARIANT*>(&value));
  return Converted(*copy.get(), type);
}
long LongOf(const VARIANT& value) {
  return V_I4(As(value, VT_I4).get());
}
bool BoolOf(const VARIANT& value) {
  return V_BOOL(As(value, VT_BOOL).get()) != VARIANT_FALSE;
}
std::u16string TextOf(const VARIANT& value) {
  return As(value, VT_BSTR).Text();
}
float SingleOf(const VARIANT& value) {
  return V_R4(As(value, VT_R4).get());
}

long LongArg(const DISPPARAMS& args, UINT index) {
  return LongOf(Arg(args, index));
}
std::u16string TextArg(const DISPPARAMS& args, UINT index) {
  return TextOf(Arg(args, index));
}
float SingleArg(const DISPPARAMS& args, UINT index) {
  return SingleOf(Arg(args, index));
}
bool Given(const DISPPARAMS& args, UINT index) {
  VARIANT value = Arg(args, index);
  const bool given = V_VT(&value) != VT_EMPTY;
  VariantClear(&value);
  return given;
}

Variant ToVariant(long value) {
  return LongVariant(value);
}
Variant ToVariant(bool value) {
  return Variant::Bool(value);
}
Variant ToVariant(const std::u16string& value) {
  return Variant::String(value);
}
Variant ToVariant(HostObject* object) {
  return ObjectVariant(object);
}
Variant ToVariant(float value) {
  return SingleVariant(value);
}
Variant ToVariant(Variant&& value) {
  return std::move(value);
}

// An argument the caller passed by reference for the callee to fill.
void Fill(DISPPARAMS& args, UINT index, long value) {
  VARIANT& slot = args.rgvarg[args.cArgs - 1 - index];
  if (index >= args.cArgs || V_VT(&slot) != (VT_I4 | VT_BYREF)) throw MakeError(kErrTypeMismatch);
  *V_I4REF(&slot) = value;
}
void Fill(DISPPARAMS& args, UINT index, float value) {
  VARIANT& slot = args.rgvarg[args.cArgs - 1 - index];
  if (index >= args.cArgs || V_VT(&slot) != (VT_R4 | VT_BYREF)) throw MakeError(kErrTypeMismatch);
  *V_R4REF(&slot) = value;
}

// A member as a handler: `f` takes the arguments and returns nothing or the member's value.
template <class F>
HostObject::Method Member(F f) {
  return [f](DISPPARAMS& args, VARIANT* result) {
    if constexpr (std::is_void_v<decltype(f(args))>) {
      f(args);
    } else {
      Variant value = ToVariant(f(args));
      if (result != nullptr) {
        *result = *value.get();
        VariantInit(value.get());
      }
    }
    return S_OK;
  };
}

}  // namespace

// Carries a document's close and a button's click out through its object's connection point.
class SimAutomation::Relay final : public host::DocumentEvents, public host::ButtonEvents {
 public:
  Relay(SimAutomation& server, HostObject& object) : server_(server), object_(object) {}
  // The host lets go of the relay before the relay goes.
  ~Relay() override {
    IgnoreFailure([&] {
      if (leave_) leave_();
    });
  }

  template <class Source>
  void Watch(const std::shared_ptr<Source>& source) {
    source->Subscribe(this);
    leave_ = [this, source] { source->Unsubscribe(this); };
  }
  void Close() override { object_.Raise(kCloseId, {}); }
  void Click(host::Control& button, bool& cancel_default) override {
    const auto found = server_.controls_.find(&button);
    if (found == server_.controls_.end()) return;
    VARIANT_BOOL cancel = cancel_default ? VARIANT_TRUE : VARIANT_FALSE;
    object_.Raise(kClickId, {ObjectArg(found->second), FlagArg(&cancel)});
    cancel_default = cancel != VARIANT_FALSE;
  }

 private:
  SimAutomation& server_;
  HostObject& object_;
  std::function<void()> leave_;
};

SimAutomation::SimAutomation(host::Application& app) : app_(app) {
  HostObject* o = application_ =
      Make("Application", DIID_IApplication, &CLSID_Application, &DIID_ApplicationEvents);
  o->On(L"ActiveDocument", Member([this](auto&) { return DocumentObject(app_.ActiveDocument()); }));
  o->On(L"Documents", Member([this](auto&) { return DocumentsObject(); }));
  o->On(L"CommandBars", Member([this](auto&) { return CommandBarsObject(); }));
  o->On(L"Options", Member([this](auto&) { return OptionsObject(); }));
  o->On(L"Selection", Member([this](auto&) { return SelectionObject(); }));
  o->On(L"ActiveWindow", Member([this](auto&) { return WindowObject(); }));
  o->On(L"UserName", Member([this](auto&) { return app_.UserName(); }));
  o->OnPut(L"UserName", [this](const VARIANT& v) { app_.SetUserName(TextOf(v)); });
  o->On(L"UserInitials", Member([this](auto&) { return app_.UserInitials(); }));
  o->OnPut(L"UserInitials", [this](const VARIANT& v) { app_.SetUserInitials(TextOf(v)); });
  o->On(L"WindowState", Member([this](auto&) { return app_.WindowState(); }));
  o->OnPut(L"WindowState", [this](const VARIANT& v) { app_.SetWindowState(LongOf(v)); });
  o->On(L"UserControl", Member([this](auto&) { return app_.UserControl(); }));
  o->OnPut(L"UserControl", [this](const VARIANT& v) { app_.SetUserControl(BoolOf(v)); });
  o->On(L"Run", Member([this](DISPPARAMS& a) { app_.Run(TextArg(a, 0)); }));
  app_.Subscribe(this);
}

SimAutomation::~SimAutomation() {
  relays_.clear();
  app_.Unsubscribe(this);
}

HostObject* SimAutomation::Make(const char* name, REFGUID members, const GUID* coclass,
                                const IID* events) {
  return &objects_.emplace_back(name, members, coclass, events, &journal_);
}

void SimAutomation::DocumentOpen(host::Document& document) {
  application_->Raise(kDocumentOpenId, {ObjectArg(DocumentObject(document))});
}

void SimAutomation::DocumentBeforeSave(host::Document& document, bool& save_as_ui, bool& cancel) {
  VARIANT_BOOL as_ui = save_as_ui ? VARIANT_TRUE : VARIANT_FALSE;
  VARIANT_BOOL stop = cancel ? VARIANT_TRUE : VARIANT_FALSE;
  application_->Raise(kDocumentBeforeSaveId,
                      {ObjectArg(DocumentObject(document)), FlagArg(&as_ui), FlagArg(&stop)});
  save_as_ui = as_ui != VARIANT_FALSE;
  cancel = stop != VARIANT_FALSE;
}

// The open document behind an event: one of the application's documents.
HostObject* SimAutomation::DocumentObject(host::Document& document) {
  const auto known = documents_.find(&document);
  if (known != documents_.end()) return known->second;
  host::Documents& open = app_.GetDocuments();
  for (long i = 1; i <= open.Count(); ++i) {
    const auto candidate = open.Item(i);
    if (candidate.get() == &document) return DocumentObject(candidate);
  }
  throw MakeError(kErrObjectNotSet);
}

HostObject* SimAutomation::DocumentObject(const std::shared_ptr<host::Document>& document) {
  if (!document) throw MakeError(kErrObjectNotSet);
  HostObject*& slot = documents_[document.get()];
  if (slot != nullptr) return slot;
  HostObject* o = slot = Make("Document", DIID_IDocument, &CLSID_Document, &DIID_DocumentEvents);
  held_.push_back(document);
  host::Document& d = *document;
  o->On(L"Name", Member([&d](auto&) { return d.Name(); }));
  o->On(L"FullName", Member([&d](auto&) { return d.FullName(); }));
  o->On(L"Saved", Member([&d](auto&) { return d.Saved(); }));
  o->OnPut(L"Saved", [&d](const VARIANT& v) { d.SetSaved(BoolOf(v)); });
  o->On(L"TrackRevisions", Member([&d](auto&) { return d.TrackRevisions(); }));
  o->OnPut(L"TrackRevisions", [&d](const VARIANT& v) { d.SetTrackRevisions(BoolOf(v)); });
  o->On(L"ShowRevisions", Member([&d](auto&) { return d.ShowRevisions(); }));
  o->OnPut(L"ShowRevisions", [&d](const VARIANT& v) { d.SetShowRevisions(BoolOf(v)); });
  o->On(L"PrintRevisions", Member([&d](auto&) { return d.PrintRevisions(); }));
  o->OnPut(L"PrintRevisions", [&d](const VARIANT& v) { d.SetPrintRevisions(BoolOf(v)); });
  o->On(L"ProtectionType", Member([&d](auto&) { return d.GetProtectionType(); }));
  o->On(L"Bookmarks", Member([this, &d](auto&) { return BookmarksObject(d); }));
  o->On(L"Shapes", Member([this, &d](auto&) { return ShapesObject(d); }));
  o->On(L"Content", Member([this, &d](auto&) { return RangeObject(d.Content()); }));
  o->On(L"Revisions", Member([this, &d](auto&) {
          HostObject* revisions = Make("Revisions", DIID_IHostCollection);
          revisions->On(L"AcceptAll", Member([&d](auto&) { d.AcceptAllRevisions(); }));
          return revisions;
        }));
  o->On(L"Range", Member([this, &d](DISPPARAMS& a) {
          return RangeObject(d.GetRange(LongArg(a, 0), LongArg(a, 1)));
        }));
  o->On(L"Activate", Member([&d](auto&) { d.Activate(); }));
  o->On(L"Save", Member([&d](auto&) { d.Save(); }));
  o->On(L"SaveAs", Member([&d](DISPPARAMS& a) { d.SaveAs(TextArg(a, 0)); }));
  o->On(L"Close", Member([&d](auto&) { d.Close(); }));
  o->On(L"Undo", Member([&d](DISPPARAMS& a) { return d.Undo(Given(a, 0) ? LongArg(a, 0) : 1); }));
  // Protect(Type, NoReset, Password) and Unprotect(Password).
  o->On(L"Protect", Member([&d](DISPPARAMS& a) {
          d.Protect(LongArg(a, 0), Given(a, 2) ? TextArg(a, 2) : u"");
        }));
  o->On(L"Unprotect",
        Member([&d](DISPPARAMS& a) { d.Unprotect(Given(a, 0) ? TextArg(a, 0) : u""); }));
  relays_.push_back(std::make_unique<Relay>(*this, *o));
  relays_.back()->Watch(document);
  return o;
}

// Open(FileName, ..., Visible as the twelfth argument).
HostObject* SimAutomation::DocumentsObject() {
  HostObject* o = Make("Documents", DIID_IHostCollection);
  host::Documents& docs = app_.GetDocuments();
  o->On(L"Count", Member([&docs](auto&) { return docs.Count(); }));
  o->On(L"Item",
        Member([this, &docs](DISPPARAMS& a) { return DocumentObject(docs.Item(LongArg(a, 0))); }));
  o->On(L"Add", Member([this, &docs](auto&) { return DocumentObject(docs.Add()); }));
  o->On(L"Open", Member([this, &docs](DISPPARAMS& a) {
          const bool visible = !Given(a, 11) || BoolOf(Arg(a, 11));
          return DocumentObject(docs.Open(TextArg(a, 0), visible));
        }));
  return o;
}

HostObject* SimAutomation::RangeObject(std::shared_ptr<host::Range> range) {
  HostObject* o = Make("Range", DIID_IHostSpan);
  held_.push_back(range);
  host::Range& r = *range;
  o->On(L"Start", Member([&r](auto&) { return r.Start(); }));
  o->On(L"End", Member([&r](auto&) { return r.End(); }));
  o->On(L"Text", Member([&r](auto&) { return r.Text(); }));
  o->OnPut(L"Text", [&r](const VARIANT& v) { r.SetText(TextOf(v)); });
  o->On(L"Copy", Member([&r](auto&) { r.Copy(); }));
  return o;
}

// Add(Name, Range) takes the span of a range object of this server.
HostObject* SimAutomation::BookmarksObject(host::Document& document) {
  HostObject* o = Make("Bookmarks", DIID_IHostCollection);
  host::Bookmarks& marks = document.GetBookmarks();
  o->On(L"Count", Member([&marks](auto&) { return marks.Count(); }));
  o->On(L"Item", Member([this, &marks](DISPPARAMS& a) {
          VARIANT at = Arg(a, 0);
          const bool by_name = V_VT(&at) == VT_BSTR;
          VariantClear(&at);
          return BookmarkObject(by_name ? marks.Item(TextArg(a, 0)) : marks.Item(LongArg(a, 0)));
        }));
  o->On(L"Exists", Member([&marks](DISPPARAMS& a) { return marks.Exists(TextArg(a, 0)); }));
  o->On(L"Add", Member([this, &marks](DISPPARAMS& a) {
          VARIANT span = Arg(a, 1);
          if (V_VT(&span) != VT_DISPATCH || V_DISPATCH(&span) == nullptr) {
            VariantClear(&span);
            throw MakeError(kErrTypeMismatch);
          }
          LateBound range(V_DISPATCH(&span));
          VariantClear(&span);
          return BookmarkObject(
              marks.Add(TextArg(a, 0), range.GetLong(L"Start"), range.GetLong(L"End")));
        }));
  return o;
}

HostObject* SimAutomation::BookmarkObject(std::shared_ptr<host::Bookmark> bookmark) {
  HostObject* o = Make("Bookmark", DIID_IHostSpan);
  held_.push_back(bookmark);
  host::Bookmark& b = *bookmark;
  o->On(L"Name", Member([&b](auto&) { return b.Name(); }));
  o->On(L"Range", Member([this, &b](auto&) { return RangeObject(b.GetRange()); }));
  o->On(L"Start", Member([&b](auto&) { return b.Start(); }));
  o->OnPut(L"Start", [&b](const VARIANT& v) { b.SetStart(LongOf(v)); });
  o->On(L"End", Member([&b](auto&) { return b.End(); }));
  o->OnPut(L"End", [&b](const VARIANT& v) { b.SetEnd(LongOf(v)); });
  o->On(L"Select", Member([&b](auto&) { b.Select(); }));
  o->On(L"Delete", Member([&b](auto&) { b.Delete(); }));
  return o;
}

// AddPicture(FileName, LinkToFile, SaveWithDocument, Left, Top, Width, Height).
HostObject* SimAutomation::ShapesObject(host::Document& document) {
  HostObject* o = Make("Shapes", DIID_IHostCollection);
  host::Shapes& shapes = document.GetShapes();
  o->On(L"Count", Member([&shapes](auto&) { return shapes.Count(); }));
  o->On(L"Item",
        Member([this, &shapes](DISPPARAMS& a) { return ShapeObject(shapes.Item(LongArg(a, 0))); }));
  o->On(L"AddPicture", Member([this, &shapes](DISPPARAMS& a) {
          return ShapeObject(shapes.AddPicture(TextArg(a, 0), BoolOf(Arg(a, 1)), BoolOf(Arg(a, 2)),
                                               SingleArg(a, 3), SingleArg(a, 4), SingleArg(a, 5),
                                               SingleArg(a, 6)));
        }));
  return o;
}

HostObject* SimAutomation::ShapeObject(std::shared_ptr<host::Shape> shape) {
  HostObject* o = Make("Shape", DIID_IHostShape);
  held_.push_back(shape);
  host::Shape& s = *shape;
  o->On(L"Name", Member([&s](auto&) { return s.Name(); }));
  o->OnPut(L"Name", [&s](const VARIANT& v) { s.SetName(TextOf(v)); });
  o->On(L"Visible", Member([&s](auto&) { return s.Visible(); }));
  o->OnPut(L"Visible", [&s](const VARIANT& v) { s.SetVisible(BoolOf(v)); });
  o->On(L"Left", Member([&s](auto&) { return s.Left(); }));
  o->On(L"Top", Member([&s](auto&) { return s.Top(); }));
  o->On(L"Width", Member([&s](auto&) { return s.Width(); }));
  o->On(L"Height", Member([&s](auto&) { return s.Height(); }));
  o->On(L"Delete", Member([&s](auto&) { s.Delete(); }));
  o->On(L"ZOrder", Member([&s](DISPPARAMS& a) { s.ZOrder(LongArg(a, 0)); }));
  return o;
}

// Information(3): the page on which the selection ends. Moves and deletes are by character.
HostObject* SimAutomation::SelectionObject() {
  HostObject* o = Make("Selection", DIID_IHostSpan);
  const auto selection = app_.GetSelection();
  held_.push_back(selection);
  host::Selection& s = *selection;
  o->On(L"Range", Member([this, &s](auto&) { return RangeObject(s.GetRange()); }));
  o->On(L"SetRange", Member([&s](DISPPARAMS& a) { s.SetRange(LongArg(a, 0), LongArg(a, 1)); }));
  o->On(L"Information", Member([&s](DISPPARAMS& a) {
          if (LongArg(a, 0) != 3) throw MakeError(host::kBadParameter);
          return s.EndPageNumber();
        }));
  o->On(L"MoveRight", Member([&s](DISPPARAMS& a) { s.MoveCharacters(LongArg(a, 1)); }));
  o->On(L"MoveLeft", Member([&s](DISPPARAMS& a) { s.MoveCharacters(-LongArg(a, 1)); }));
  o->On(L"TypeText", Member([&s](DISPPARAMS& a) { s.TypeText(TextArg(a, 0)); }));
  o->On(L"Paste", Member([&s](auto&) { s.Paste(); }));
  o->On(L"WholeStory", Member([&s](auto&) { s.WholeStory(); }));
  o->On(L"Delete", Member([&s](auto&) { s.Delete(); }));
  o->On(L"InsertFile", Member([&s](DISPPARAMS& a) { s.InsertFile(TextArg(a, 0)); }));
  return o;
}

// GetPoint(Left, Top, Width, Height, Range) and ScreenToDocument(Left, Top, Width, Height,
// DocLeft, DocTop, DocWidth, DocHeight) fill the arguments given by reference; the pages of the
// active pane give their origins.
HostObject* SimAutomation::WindowObject() {
  HostObject* o = Make("Window", DIID_IHostWindow);
  const auto window = app_.ActiveWindow();
  held_.push_back(window);
  host::Window& w = *window;
  host::View& view = w.GetView();
  HostObject* v = Make("View", DIID_IHostWindow);
  v->On(L"ShowDrawings", Member([&view](auto&) { return view.ShowDrawings(); }));
  v->OnPut(L"ShowDrawings", [&view](const VARIANT& x) { view.SetShowDrawings(BoolOf(x)); });
  v->On(L"ShowBackground", Member([&view](auto&) { return view.ShowBackground(); }));
  v->OnPut(L"ShowBackground", [&view](const VARIANT& x) { view.SetShowBackground(BoolOf(x)); });
  o->On(L"View", Member([v](auto&) { return v; }));
  o->On(L"GetPoint", Member([this, &w](DISPPARAMS& a) {
          VARIANT shown = Arg(a, 4);
          if (V_VT(&shown) != VT_DISPATCH || V_DISPATCH(&shown) == nullptr) {
            VariantClear(&shown);
            throw MakeError(kErrTypeMismatch);
          }
          LateBound range(V_DISPATCH(&shown));
          VariantClear(&shown);
          const auto span =
              app_.ActiveDocument()->GetRange(range.GetLong(L"Start"), range.GetLong(L"End"));
          const host::ScreenRect at = w.GetPoint(*span);
          Fill(a, 0, at.left), Fill(a, 1, at.top), Fill(a, 2, at.width), Fill(a, 3, at.height);
        }));
  o->On(L"ScreenToDocument", Member([&w](DISPPARAMS& a) {
          const host::DocumentRect at = w.ScreenToDocument(
              host::ScreenRect{LongArg(a, 0), LongArg(a, 1), LongArg(a, 2), LongArg(a, 3)});
          Fill(a, 4, at.left), Fill(a, 5, at.top), Fill(a, 6, at.width), Fill(a, 7, at.height);
        }));
  HostObject* pages = Make("Pages", DIID_IHostCollection);
  pages->On(L"Item", Member([this, &w](DISPPARAMS& a) {
              const host::PagePoint origin = w.PageOrigin(LongArg(a, 0));
              HostObject* page = Make("Page", DIID_IHostPage);
              page->On(L"Left", Member([origin](auto&) { return origin.left; }));
              page->On(L"Top", Member([origin](auto&) { return origin.top; }));
              return page;
            }));
  HostObject* pane = Make("Pane", DIID_IHostPane);
  pane->On(L"Pages", Member([pages](auto&) { return pages; }));
  o->On(L"ActivePane", Member([pane](auto&) { return pane; }));
  return o;
}

HostObject* SimAutomation::OptionsObject() {
  HostObject* o = Make("Options", DIID_IHostWindow);
  host::Options& options = app_.GetOptions();
  o->On(L"DrawingObjects", Member([&options](auto&) { return options.DrawingObjects(); }));
  o->OnPut(L"DrawingObjects",
           [&options](const VARIANT& v) { options.SetDrawingObjects(LongOf(v)); });
  return o;
}

// Item(Name) of a bar the host does not have is the host's error.
HostObject* SimAutomation::CommandBarsObject() {
  HostObject* o = Make("CommandBars", DIID_IHostCollection);
  host::CommandBars& bars = app_.GetCommandBars();
  o->On(L"Count", Member([&bars](auto&) { return bars.Count(); }));
  o->On(L"Item", Member([this, &bars](DISPPARAMS& a) {
          auto bar = bars.Find(TextArg(a, 0));
          if (!bar) throw MakeError(host::kNoSuchMember);
          return BarObject(std::move(bar));
        }));
  // Add(Name, Position, MenuBar, Temporary).
  o->On(L"Add", Member([this, &bars](DISPPARAMS& a) {
          return BarObject(bars.Add(TextArg(a, 0), LongArg(a, 1), BoolOf(Arg(a, 2)),
                                    Given(a, 3) && BoolOf(Arg(a, 3))));
        }));
  return o;
}

HostObject* SimAutomation::BarObject(std::shared_ptr<host::CommandBar> bar) {
  HostObject* o = Make("CommandBar", DIID_IHostBar);
  held_.push_back(bar);
  host::CommandBar& b = *bar;
  o->On(L"Name", Member([&b](auto&) { return b.Name(); }));
  o->On(L"Visible", Member([&b](auto&) { return b.Visible(); }));
  o->OnPut(L"Visible", [&b](const VARIANT& v) { b.SetVisible(BoolOf(v)); });
  o->On(L"Enabled", Member([&b](auto&) { return b.Enabled(); }));
  o->OnPut(L"Enabled", [&b](const VARIANT& v) { b.SetEnabled(BoolOf(v)); });
  o->On(L"Controls", Member([this, &b](auto&) { return ControlsObject(b.GetControls()); }));
  o->On(L"Delete", Member([&b](auto&) { b.Delete(); }));
  return o;
}

// Item by position or caption; Add(Type, Id, Parameter, Before, Temporary).
HostObject* SimAutomation::ControlsObject(host::Controls& controls) {
  HostObject* o = Make("Controls", DIID_IHostCollection);
  o->On(L"Count", Member([&controls](auto&) { return controls.Count(); }));
  o->On(L"Item", Member([this, &controls](DISPPARAMS& a) {
          VARIANT at = Arg(a, 0);
          const bool by_caption = V_VT(&at) == VT_BSTR;
          VariantClear(&at);
          return ControlObject(by_caption ? controls.Item(TextArg(a, 0))
                                          : controls.Item(LongArg(a, 0)));
        }));
  o->On(L"Add", Member([this, &controls](DISPPARAMS& a) {
          const std::optional<long> before =
              Given(a, 3) ? std::optional<long>(LongArg(a, 3)) : std::nullopt;
          return ControlObject(controls.Add(LongArg(a, 0), Given(a, 1) ? LongArg(a, 1) : 1, before,
                                            Given(a, 4) && BoolOf(Arg(a, 4))));
        }));
  return o;
}

// A button raises its click through its own connection point.
HostObject* SimAutomation::ControlObject(const std::shared_ptr<host::Control>& control) {
  HostObject*& slot = controls_[control.get()];
  if (slot != nullptr) return slot;
  const bool button = control->Type() == host::kControlButton;
  HostObject* o = slot = button ? Make("Button", DIID_IHostBar, &CLSID_Button, &DIID_ButtonEvents)
                                : Make("Popup", DIID_IHostBar);
  held_.push_back(control);
  host::Control& c = *control;
  o->On(L"Type", Member([&c](auto&) { return c.Type(); }));
  o->On(L"Caption", Member([&c](auto&) { return c.Caption(); }));
  o->OnPut(L"Caption", [&c](const VARIANT& v) { c.SetCaption(TextOf(v)); });
  o->On(L"TooltipText", Member([&c](auto&) { return c.TooltipText(); }));
  o->OnPut(L"TooltipText", [&c](const VARIANT& v) { c.SetTooltipText(TextOf(v)); });
  o->On(L"Visible", Member([&c](auto&) { return c.Visible(); }));
  o->OnPut(L"Visible", [&c](const VARIANT& v) { c.SetVisible(BoolOf(v)); });
  o->On(L"Enabled", Member([&c](auto&) { return c.Enabled(); }));
  o->OnPut(L"Enabled", [&c](const VARIANT& v) { c.SetEnabled(BoolOf(v)); });
  o->OnPut(L"Style", [&c](const VARIANT& v) { c.SetStyle(LongOf(v)); });
  // The face travels as a picture object, without the label it was made for.
  o->OnPut(L"Picture", [&c](const VARIANT& v) {
    if (V_VT(&v) != VT_DISPATCH || V_DISPATCH(&v) == nullptr) throw MakeError(kErrTypeMismatch);
    c.SetFace(host::Picture{u"", BmpOfPicture(V_DISPATCH(&v))});
  });
  o->On(L"Picture", Member([&c](auto&) {
          const Ptr<IPictureDisp> picture = PictureOfBmp(c.Face().bmp);
          return ObjectVariant(picture.get());
        }));
  o->On(L"Execute", Member([&c](auto&) { c.Execute(); }));
  o->On(L"Controls", Member([this, &c](auto&) { return ControlsObject(c.GetControls()); }));
  if (button) {
    relays_.push_back(std::make_unique<Relay>(*this, *o));
    relays_.back()->Watch(control);
  }
  return o;
}

}  // namespace qnmuro::com
