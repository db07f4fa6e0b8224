// Pictures, the window and the view in Writer.
//
// A picture the add-in adds is a Writer graphic object anchored to its page, placed from the
// page's top-left corner and lying behind the text (not opaque, text running through). Its
// graphic is read by Writer's graphic provider and embedded, so it travels with the document.
//
// Document coordinates are Writer's own layout: pages stacked top to bottom, a fixed gap
// between them, measured from the top-left corner of the first page. The window has no screen
// of its own when Writer runs headless, so "screen" pixels are that layout at 96 pixels per
// inch from a fixed window corner, as in the simulated host.
#include <com/sun/star/awt/Point.hpp>
#include <com/sun/star/beans/NamedValue.hpp>
#include <com/sun/star/beans/PropertyAttribute.hpp>
#include <com/sun/star/beans/XPropertyContainer.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/beans/XPropertySetInfo.hpp>
#include <com/sun/star/configuration/theDefaultProvider.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/XDocumentPropertiesSupplier.hpp>
#include <com/sun/star/drawing/XDrawPageSupplier.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/graphic/GraphicProvider.hpp>
#include <com/sun/star/graphic/XGraphic.hpp>
#include <com/sun/star/io/SequenceInputStream.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/text/HoriOrientation.hpp>
#include <com/sun/star/text/RelOrientation.hpp>
#include <com/sun/star/text/TextContentAnchorType.hpp>
#include <com/sun/star/text/VertOrientation.hpp>
#include <com/sun/star/text/WrapTextMode.hpp>
#include <com/sun/star/text/XPageCursor.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextGraphicObjectsSupplier.hpp>
#include <com/sun/star/text/XTextViewCursor.hpp>
#include <com/sun/star/text/XTextViewCursorSupplier.hpp>
#include <com/sun/star/util/XChangesBatch.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XModifiable.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>
#include <com/sun/star/view/XViewSettingsSupplier.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <sstream>
#include <string>

#include "base/text.h"
#include "hostkit/screen_map.h"
#include "lohost/lo_model.h"
#include "platform/file_io.h"

namespace qnmuro::lohost {

using css::beans::XPropertySet;
using css::container::XNameAccess;
using css::text::XTextCursor;
using css::text::XTextRange;
using css::text::XTextViewCursor;
using css::uno::Any;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

namespace {

constexpr double kHmmPerPoint = 2540.0 / 72.0;
// Writer's gap between two pages of its layout (283 twips), in 1/100 mm.
constexpr double kPageGapHmm = 283 * 2540.0 / 1440;

sal_Int32 ToHmm(float points) {
  return static_cast<sal_Int32>(std::lround(points * kHmmPerPoint));
}
// To the hundredth of a point: finer is only the noise of Writer's 1/100 mm.
float ToPoints(double hmm) {
  return static_cast<float>(std::round(hmm / kHmmPerPoint * 100) / 100);
}

template <class T>
T Get(const Reference<XPropertySet>& props, const char* name) {
  T value{};
  props->getPropertyValue(Ascii(name)) >>= value;
  return value;
}

Reference<XNameAccess> Pictures(LoDocument& doc) {
  doc.CheckAlive();
  Reference<css::text::XTextGraphicObjectsSupplier> supplier(doc.model(), UNO_QUERY_THROW);
  return supplier->getGraphicObjects();
}

Reference<XTextViewCursor> ViewCursor(LoDocument& doc) {
  Reference<css::text::XTextViewCursorSupplier> views(doc.Controller(), UNO_QUERY_THROW);
  return views->getViewCursor();
}

// Measuring the layout moves Writer's view cursor, which is the user's selection: this puts
// the selection back where it was.
class SelectionKeeper {
 public:
  explicit SelectionKeeper(LoDocument& doc) : doc_(doc) {
    const Reference<XTextViewCursor> view = ViewCursor(doc);
    keep_ = view->getText()->createTextCursorByRange(view.get());
  }
  ~SelectionKeeper() {
    try {
      Reference<css::view::XSelectionSupplier>(doc_.Controller(), UNO_QUERY_THROW)
          ->select(Any(Reference<XTextRange>(keep_, UNO_QUERY_THROW)));
    } catch (...) {
      // The document went away meanwhile: there is no selection left to restore.
    }
  }
  SelectionKeeper(const SelectionKeeper&) = delete;
  SelectionKeeper& operator=(const SelectionKeeper&) = delete;

 private:
  LoDocument& doc_;
  Reference<XTextCursor> keep_;
};

// A page style's size and its left and top margins, in 1/100 mm.
struct PageBox {
  double width = 21000, height = 29700, left = 2000, top = 2000;
};

PageBox BoxOf(LoDocument& doc, const Reference<XTextViewCursor>& view) {
  OUString style;
  Reference<XPropertySet>(view, UNO_QUERY_THROW)->getPropertyValue(Ascii("PageStyleName")) >>=
      style;
  Reference<css::style::XStyleFamiliesSupplier> families(doc.model(), UNO_QUERY_THROW);
  Reference<XNameAccess> pages(families->getStyleFamilies()->getByName(Ascii("PageStyles")),
                               UNO_QUERY_THROW);
  PageBox box;
  if (style.isEmpty() || !pages->hasByName(style)) return box;
  Reference<XPropertySet> props(pages->getByName(style), UNO_QUERY_THROW);
  box.width = Get<sal_Int32>(props, "Width");
  box.height = Get<sal_Int32>(props, "Height");
  box.left = Get<sal_Int32>(props, "LeftMargin");
  box.top = Get<sal_Int32>(props, "TopMargin");
  return box;
}

// The top of page `page` in the layout (1/100 mm): the pages above it and their gaps. Moves
// the view cursor.
double PageTop(LoDocument& doc, const Reference<XTextViewCursor>& view, long page) {
  Reference<css::text::XPageCursor> pages(view, UNO_QUERY_THROW);
  pages->jumpToLastPage();
  const long last = pages->getPage();
  double top = 0;
  PageBox box;
  for (long k = 1; k < page; ++k) {
    if (k <= last) {
      pages->jumpToPage(static_cast<sal_Int16>(k));
      box = BoxOf(doc, view);
    }
    top += box.height + kPageGapHmm;
  }
  return top;
}

// Where Writer lays out a text position: its page and its place in the layout, 1/100 mm.
struct LayoutPlace {
  long page = 1;
  double x = 0, y = 0;
  double page_top = 0;  // the top of its page in the layout
};

LayoutPlace PlaceOf(LoDocument& doc, const Reference<XTextRange>& at) {
  SelectionKeeper keep(doc);
  const Reference<XTextViewCursor> view = ViewCursor(doc);
  view->gotoRange(at, false);
  // The view cursor's position leaves out the margins of its page's style.
  const css::awt::Point p = view->getPosition();
  const PageBox box = BoxOf(doc, view);
  LayoutPlace place;
  place.page = Reference<css::text::XPageCursor>(view, UNO_QUERY_THROW)->getPage();
  place.x = p.X + box.left;
  place.y = p.Y + box.top;
  place.page_top = PageTop(doc, view, place.page);
  return place;
}

// The page and page-relative place (points) of the start of the selection.
struct PagePlace {
  long page = 1;
  float left = 0, top = 0;
};

PagePlace SelectionPagePlace(LoDocument& doc) {
  const Reference<XTextRange> start = ViewCursor(doc)->getStart();
  const LayoutPlace place = PlaceOf(doc, start);
  return {place.page, ToPoints(place.x), ToPoints(place.y - place.page_top)};
}

// Reads a picture file the way Writer shows it: kFileError when it cannot be read,
// kBadPicture when Writer's graphic provider does not take it as a picture.
Reference<css::graphic::XGraphic> ReadGraphic(LoApplication& app, const std::u16string& path) {
  std::string data;
  int err = 0;
  switch (ReadRegularFile(ToPath(path), hostkit::kMaxPictureBytes, &data, &err)) {
    case FileReadStatus::kOk:
      break;
    case FileReadStatus::kTooLarge:
      ThrowHost(host::kBadPicture, u"The picture is too large: " + path);
    case FileReadStatus::kFailed:
      ThrowHost(host::kFileError, u"The file could not be read: " + path);
    case FileReadStatus::kMissing:
    case FileReadStatus::kNotRegular:
      ThrowHost(host::kFileError, u"The file could not be found: " + path);
  }
  Reference<css::graphic::XGraphic> graphic;
  try {
    const css::uno::Sequence<sal_Int8> bytes(reinterpret_cast<const sal_Int8*>(data.data()),
                                             static_cast<sal_Int32>(data.size()));
    const auto stream =
        css::io::SequenceInputStream::createStreamFromSequence(app.context(), bytes);
    const auto provider = css::graphic::GraphicProvider::create(app.context());
    graphic = provider->queryGraphic(Props({{"InputStream", Any(stream)}}));
  } catch (const css::uno::Exception&) {
    graphic.clear();
  }
  if (!graphic.is())
    ThrowHost(host::kBadPicture, u"The file is not a picture the host can read: " + path);
  return graphic;
}

std::u16string FreshName(const Reference<XNameAccess>& pictures) {
  for (long n = pictures->getElementNames().getLength() + 1;; ++n) {
    const std::u16string name = u"Picture " + ToText(static_cast<long long>(n));
    if (!pictures->hasByName(Ou(name))) return name;
  }
}

// Every picture, frame and drawing of the document stacked on its one draw page. The single
// draw page is marked old in the API, but it is the one a text document has.
long DrawPageCount(LoDocument& doc) {
  Reference<css::drawing::XDrawPageSupplier> supplier(doc.model(), UNO_QUERY_THROW);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  return supplier->getDrawPage()->getCount();
#pragma GCC diagnostic pop
}

class LoShape final : public host::Shape {
 public:
  // The handle holds the picture itself: it follows the picture through renames, and another
  // picture taking its old name does not take the handle with it.
  LoShape(std::shared_ptr<LoDocument> doc, std::u16string name)
      : doc_(std::move(doc)), name_(std::move(name)), object_(PictureProps(name_)) {}

  std::u16string Name() override {
    Props();
    return name_;
  }
  void SetName(std::u16string_view name) override {
    if (name.empty()) ThrowHost(host::kBadParameter, u"The name is not valid.");
    const Reference<XPropertySet> props = Props();
    Uno([&] {
      // Writer refuses a name another picture has; the host allows it (two seals stamped in
      // the same second): the other picture gives way under a name of its own.
      const Reference<XNameAccess> all = Pictures(*doc_);
      if (U16(Reference<css::container::XNamed>(props, UNO_QUERY_THROW)->getName()) != name &&
          all->hasByName(Ou(name))) {
        std::u16string free_name;
        for (int n = 2; free_name.empty() || all->hasByName(Ou(free_name)); ++n) {
          free_name = std::u16string(name) + u" (" + ToText(static_cast<long long>(n)) + u")";
        }
        Reference<css::container::XNamed>(all->getByName(Ou(name)), UNO_QUERY_THROW)
            ->setName(Ou(free_name));
      }
      Reference<css::container::XNamed>(props, UNO_QUERY_THROW)->setName(Ou(name));
    });
    name_ = name;
  }
  void Delete() override {
    const Reference<XPropertySet> props = Props();
    doc_->CheckEditable();
    Uno([&] { Reference<css::lang::XComponent>(props, UNO_QUERY_THROW)->dispose(); });
  }
  void ZOrder(long command) override;
  bool Visible() override;
  void Raise(bool to_front);
  void Lower(bool to_back);
  void SetVisible(bool visible) override;
  float Left() override { return Points("HoriOrientPosition"); }
  float Top() override { return Points("VertOrientPosition"); }
  float Width() override { return Points("Width"); }
  float Height() override { return Points("Height"); }

 private:
  Reference<XPropertySet> Props() {
    doc_->CheckAlive();
    return Uno([&] {
      const Reference<css::container::XIndexAccess> all(Pictures(*doc_), UNO_QUERY_THROW);
      const Reference<css::uno::XInterface> self(object_, UNO_QUERY);
      for (sal_Int32 i = 0; i < all->getCount(); ++i) {
        if (Reference<css::uno::XInterface>(all->getByIndex(i), UNO_QUERY) == self) {
          name_ = U16(Reference<css::container::XNamed>(object_, UNO_QUERY_THROW)->getName());
          return object_;
        }
      }
      ThrowHost(host::kObjectDeleted, u"The shape has been deleted.");
    });
  }
  Reference<XPropertySet> PictureProps(const std::u16string& name) {
    doc_->CheckAlive();
    return Uno([&] {
      const Reference<XNameAccess> all = Pictures(*doc_);
      if (!all->hasByName(Ou(name)))
        ThrowHost(host::kObjectDeleted, u"The shape has been deleted.");
      return Reference<XPropertySet>(all->getByName(Ou(name)), UNO_QUERY_THROW);
    });
  }
  float Points(const char* property) {
    const Reference<XPropertySet> props = Props();
    return Uno([&] { return ToPoints(Get<sal_Int32>(props, property)); });
  }

  std::shared_ptr<LoDocument> doc_;
  std::u16string name_;
  Reference<XPropertySet> object_;
};

// The other pictures and their stacking places, as Writer reads them.
std::vector<std::pair<sal_Int32, std::u16string>> Others(LoDocument& doc,
                                                         const std::u16string& name) {
  std::vector<std::pair<sal_Int32, std::u16string>> out;
  const Reference<XNameAccess> all = Pictures(doc);
  for (const OUString& other : all->getElementNames()) {
    if (U16(other) == name) continue;
    Reference<XPropertySet> props(all->getByName(other), UNO_QUERY_THROW);
    out.emplace_back(Get<sal_Int32>(props, "ZOrder"), U16(other));
  }
  return out;
}

// The nearest other picture above (or below) a stacking place.
std::optional<std::pair<sal_Int32, std::u16string>> Nearest(LoDocument& doc,
                                                            const std::u16string& name, sal_Int32 z,
                                                            bool above) {
  std::optional<std::pair<sal_Int32, std::u16string>> found;
  for (auto& other : Others(doc, name)) {
    if (above ? other.first <= z : other.first >= z) continue;
    if (!found || (above ? other.first < found->first : other.first > found->first))
      found = std::move(other);
  }
  return found;
}

// Writer takes a new stacking place in the numbering of its frames' master objects but reads
// it back in that of their views, which need not agree, and it lowers a picture no further
// than its view allows: a picture rises by trying each place above, nearest first, until it
// reads back above the one it passes; lowering one is raising the one below it.
void LoShape::Raise(bool to_front) {
  const Reference<XPropertySet> props = Props();
  const sal_Int32 count = static_cast<sal_Int32>(DrawPageCount(*doc_));
  for (long passes = 0; passes < count; ++passes) {
    const sal_Int32 z = Get<sal_Int32>(props, "ZOrder");
    const auto pass = Nearest(*doc_, name_, z, true);
    if (!pass) return;
    for (sal_Int32 step = 1; step <= count; ++step) {
      props->setPropertyValue(Ascii("ZOrder"), Any(std::min(z + step, count - 1)));
      if (Get<sal_Int32>(props, "ZOrder") > Get<sal_Int32>(PictureProps(pass->second), "ZOrder"))
        break;
    }
    if (!to_front) return;
  }
}

void LoShape::Lower(bool to_back) {
  const Reference<XPropertySet> props = Props();
  const long count = DrawPageCount(*doc_);
  for (long passes = 0; passes < count; ++passes) {
    const auto below = Nearest(*doc_, name_, Get<sal_Int32>(props, "ZOrder"), false);
    if (!below) return;
    LoShape(doc_, below->second).Raise(false);
    if (!to_back) return;
  }
}

void LoShape::ZOrder(long command) {
  const Reference<XPropertySet> props = Props();
  Uno([&] {
    switch (command) {
      case host::kBringToFront:
      case host::kSendToBack:
      case host::kBringForward:
      case host::kSendBackward:
        return command == host::kBringToFront || command == host::kBringForward
                   ? Raise(command == host::kBringToFront)
                   : Lower(command == host::kSendToBack);
      case host::kBringInFrontOfText:
        return props->setPropertyValue(Ascii("Opaque"), Any(true));
      case host::kSendBehindText:
        return props->setPropertyValue(Ascii("Opaque"), Any(false));
      default:
        ThrowHost(host::kBadParameter, u"The z-order command is not valid.");
    }
  });
}

// Writer's graphic objects have no visibility of their own (only its drawings do): a hidden
// picture is one made fully transparent, which hides it on screen and in print and is kept in
// every format Writer saves.
bool LoShape::Visible() {
  const Reference<XPropertySet> props = Props();
  return Uno([&] {
    if (props->getPropertySetInfo()->hasPropertyByName(Ascii("Visible")))
      return Get<bool>(props, "Visible");
    return Get<sal_Int16>(props, "Transparency") < 100;
  });
}

void LoShape::SetVisible(bool visible) {
  const Reference<XPropertySet> props = Props();
  Uno([&] {
    if (props->getPropertySetInfo()->hasPropertyByName(Ascii("Visible"))) {
      props->setPropertyValue(Ascii("Visible"), Any(visible));
    } else {
      props->setPropertyValue(Ascii("Transparency"),
                              Any(static_cast<sal_Int16>(visible ? 0 : 100)));
    }
  });
}

}  // namespace

// ---- the pictures

long LoShapes::Count() {
  doc_->CheckAlive();
  return Uno([&] {
    Reference<css::container::XIndexAccess> all(Pictures(*doc_), UNO_QUERY_THROW);
    return static_cast<long>(all->getCount());
  });
}

std::shared_ptr<host::Shape> LoShapes::Item(long index) {
  doc_->CheckAlive();
  return Uno([&]() -> std::shared_ptr<host::Shape> {
    Reference<css::container::XIndexAccess> all(Pictures(*doc_), UNO_QUERY_THROW);
    if (index < 1 || index > all->getCount())
      ThrowHost(host::kNoSuchMember, u"The requested member of the collection does not exist.");
    Reference<css::container::XNamed> named(all->getByIndex(static_cast<sal_Int32>(index - 1)),
                                            UNO_QUERY_THROW);
    return std::make_shared<LoShape>(doc_->shared_from_this(), U16(named->getName()));
  });
}

// Pictures are always embedded: `link_to_file` and `save_with_document` are accepted and
// ignored, as in the simulated host. A width or height of 0 or less keeps the picture's own.
std::shared_ptr<host::Shape> LoShapes::AddPicture(std::u16string_view file, bool, bool, float left,
                                                  float top, float width, float height) {
  doc_->CheckEditable();
  const std::u16string path = doc_->app().ResolvePath(file);
  const Reference<css::graphic::XGraphic> graphic = ReadGraphic(doc_->app(), path);
  return Uno([&] {
    const long page = SelectionPagePlace(*doc_).page;
    Reference<css::lang::XMultiServiceFactory> factory(doc_->model(), UNO_QUERY_THROW);
    Reference<XPropertySet> props(
        factory->createInstance(Ascii("com.sun.star.text.TextGraphicObject")), UNO_QUERY_THROW);
    namespace text = css::text;
    props->setPropertyValue(Ascii("AnchorType"), Any(text::TextContentAnchorType_AT_PAGE));
    props->setPropertyValue(Ascii("AnchorPageNo"), Any(static_cast<sal_Int16>(page)));
    props->setPropertyValue(Ascii("Graphic"), Any(graphic));
    props->setPropertyValue(Ascii("HoriOrient"), Any(text::HoriOrientation::NONE));
    props->setPropertyValue(Ascii("HoriOrientRelation"), Any(text::RelOrientation::PAGE_FRAME));
    props->setPropertyValue(Ascii("HoriOrientPosition"), Any(ToHmm(left)));
    props->setPropertyValue(Ascii("VertOrient"), Any(text::VertOrientation::NONE));
    props->setPropertyValue(Ascii("VertOrientRelation"), Any(text::RelOrientation::PAGE_FRAME));
    props->setPropertyValue(Ascii("VertOrientPosition"), Any(ToHmm(top)));
    if (width > 0) props->setPropertyValue(Ascii("Width"), Any(ToHmm(width)));
    if (height > 0) props->setPropertyValue(Ascii("Height"), Any(ToHmm(height)));
    props->setPropertyValue(Ascii("Surround"), Any(text::WrapTextMode_THROUGH));
    props->setPropertyValue(Ascii("Opaque"), Any(false));
    const std::u16string name = FreshName(Pictures(*doc_));
    Reference<css::container::XNamed>(props, UNO_QUERY_THROW)->setName(Ou(name));
    const Reference<XTextRange> at = doc_->Text()->getStart();
    doc_->Text()->insertTextContent(at, Reference<text::XTextContent>(props, UNO_QUERY_THROW),
                                    false);
    return std::make_shared<LoShape>(doc_->shared_from_this(), name);
  });
}

std::vector<hostkit::ShapeInfo> LoApplication::ShapeInfos(host::Document& document) {
  auto* doc = dynamic_cast<LoDocument*>(&document);
  if (doc == nullptr) ThrowHost(host::kNotAvailable, u"The document is not one of Writer's.");
  std::vector<hostkit::ShapeInfo> out;
  host::Shapes& shapes = doc->GetShapes();
  const long count = shapes.Count();
  for (long i = 1; i <= count; ++i) {
    const std::shared_ptr<host::Shape> shape = shapes.Item(i);
    hostkit::ShapeInfo info;
    info.name = shape->Name();
    info.left = shape->Left();
    info.top = shape->Top();
    info.width = shape->Width();
    info.height = shape->Height();
    info.visible = shape->Visible();
    Uno([&] {
      Reference<XPropertySet> props(Pictures(*doc)->getByName(Ou(info.name)), UNO_QUERY_THROW);
      info.behind_text = !Get<bool>(props, "Opaque");
      info.z_order = Get<sal_Int32>(props, "ZOrder");
      css::text::TextContentAnchorType anchor{};
      props->getPropertyValue(Ascii("AnchorType")) >>= anchor;
      if (anchor == css::text::TextContentAnchorType_AT_PAGE) {
        info.page = Get<sal_Int16>(props, "AnchorPageNo");
      } else {
        const Reference<XTextRange> at =
            Reference<css::text::XTextContent>(props, UNO_QUERY_THROW)->getAnchor();
        info.page = PlaceOf(*doc, at).page;
      }
    });
    out.push_back(std::move(info));
  }
  return out;
}

std::shared_ptr<host::Shape> LoApplication::AddPictureAtSelection(std::u16string_view file,
                                                                  std::u16string_view name,
                                                                  float width, float height) {
  const std::shared_ptr<LoDocument> doc = Active();
  if (doc == nullptr) ThrowHost(host::kNoDocument, u"No document is open.");
  const PagePlace at = Uno([&] { return SelectionPagePlace(*doc); });
  auto shape = doc->GetShapes().AddPicture(file, false, true, at.left, at.top, width, height);
  if (!name.empty()) shape->SetName(name);
  return shape;
}

// ---- the window

host::ScreenRect LoWindow::GetPoint(host::Range& range) {
  doc_->CheckAlive();
  auto* r = dynamic_cast<LoRange*>(&range);
  if (r == nullptr || &r->doc() != doc_.get())
    ThrowHost(host::kBadParameter, u"The range is not of this window's document.");
  return Uno([&] {
    const LayoutPlace start = PlaceOf(*doc_, r->cursor()->getStart());
    const LayoutPlace end = PlaceOf(*doc_, r->cursor()->getEnd());
    float line = 12;
    Reference<XPropertySet>(r->cursor(), UNO_QUERY_THROW)->getPropertyValue(Ascii("CharHeight")) >>=
        line;
    host::DocumentRect rect;
    rect.left = ToPoints(start.x);
    rect.top = ToPoints(start.y);
    rect.width = std::abs(end.y - start.y) < 1 ? ToPoints(std::max(0.0, end.x - start.x)) : 0;
    rect.height = line;
    return hostkit::ToScreen(rect);
  });
}

host::DocumentRect LoWindow::ScreenToDocument(const host::ScreenRect& rect) {
  doc_->CheckAlive();
  return hostkit::FromScreen(rect);
}

host::PagePoint LoWindow::PageOrigin(long page) {
  doc_->CheckAlive();
  if (page < 1) ThrowHost(host::kBadParameter, u"The page number is out of range.");
  return Uno([&] {
    SelectionKeeper keep(*doc_);
    return host::PagePoint{0, ToPoints(PageTop(*doc_, ViewCursor(*doc_), page))};
  });
}

// ---- the view: drawings are Writer's view setting ShowDrawings. Pictures stay shown: Writer's
// ShowGraphics would draw a grey frame in each picture's place (the hidden red head's rule
// among them); a picture the add-in hides is made transparent instead.

namespace {
Reference<XPropertySet> ViewSettings(LoApplication& app) {
  const std::shared_ptr<LoDocument> doc = app.Active();
  if (doc == nullptr) ThrowHost(host::kNoDocument, u"No document is open.");
  Reference<css::view::XViewSettingsSupplier> views(doc->Controller(), UNO_QUERY_THROW);
  return views->getViewSettings();
}
}  // namespace

bool LoView::ShowDrawings() {
  // With no document open, the switch the last window had.
  if (app_->Active() == nullptr) return app_->show_drawings();
  return Uno([&] { return Get<bool>(ViewSettings(*app_), "ShowDrawings"); });
}

void LoView::SetShowDrawings(bool on) {
  app_->set_show_drawings(on);
  Uno([&] {
    const Reference<XPropertySet> settings = ViewSettings(*app_);
    settings->setPropertyValue(Ascii("ShowGraphics"), Any(true));
    settings->setPropertyValue(Ascii("ShowDrawings"), Any(on));
  });
}

// ---- the options

namespace {
Reference<XPropertySet> PrintContent(LoApplication& app) {
  const Reference<css::lang::XMultiServiceFactory> provider =
      css::configuration::theDefaultProvider::get(app.context());
  const Any args(css::beans::NamedValue(Ascii("nodepath"),
                                        Any(Ascii("/org.openoffice.Office.Writer/Print/Content"))));
  return Reference<XPropertySet>(provider->createInstanceWithArguments(
                                     Ascii("com.sun.star.configuration.ConfigurationUpdateAccess"),
                                     css::uno::Sequence<Any>(&args, 1)),
                                 UNO_QUERY_THROW);
}
}  // namespace

long LoOptions::DrawingObjects() {
  return Uno([&] {
    const Reference<XPropertySet> content = PrintContent(*app_);
    return Get<bool>(content, "Graphic") && Get<bool>(content, "Drawing") ? 1L : 0L;
  });
}

void LoOptions::SetDrawingObjects(long value) {
  Uno([&] {
    const Reference<XPropertySet> content = PrintContent(*app_);
    content->setPropertyValue(Ascii("Graphic"), Any(value != 0));
    content->setPropertyValue(Ascii("Drawing"), Any(value != 0));
    Reference<css::util::XChangesBatch>(content, UNO_QUERY_THROW)->commitChanges();
  });
}

// Writer has no view setting for the page background: the switch is kept by the application.
bool LoView::ShowBackground() {
  return app_->show_background();
}

void LoView::SetShowBackground(bool on) {
  app_->set_show_background(on);
}

// ---- picture names kept across Word 97 files

namespace {

constexpr char kPictureNames[] = "QNMuroPictureNames";

// Where a picture lies: its page, left, top, width and height (1/100 mm).
std::array<long, 5> Place(const Reference<XPropertySet>& p) {
  return {Get<sal_Int16>(p, "AnchorPageNo"), Get<sal_Int32>(p, "HoriOrientPosition"),
          Get<sal_Int32>(p, "VertOrientPosition"), Get<sal_Int32>(p, "Width"),
          Get<sal_Int32>(p, "Height")};
}

Reference<XPropertySet> UserProperties(LoDocument& doc) {
  Reference<css::document::XDocumentPropertiesSupplier> supplier(doc.model(), UNO_QUERY_THROW);
  return Reference<XPropertySet>(supplier->getDocumentProperties()->getUserDefinedProperties(),
                                 UNO_QUERY_THROW);
}

}  // namespace

void LoDocument::KeepPictureNames() {
  Uno([&] {
    const Reference<css::container::XIndexAccess> all(Pictures(*this), UNO_QUERY_THROW);
    const Reference<XPropertySet> user = UserProperties(*this);
    const bool kept = user->getPropertySetInfo()->hasPropertyByName(Ascii(kPictureNames));
    if (all->getCount() == 0 && !kept) return;
    std::string entries;  // "page left top width height name" a line
    for (sal_Int32 i = 0; i < all->getCount(); ++i) {
      const Reference<XPropertySet> p(all->getByIndex(i), UNO_QUERY_THROW);
      for (long v : Place(p)) entries += std::to_string(v) + " ";
      entries += U8(U16(Reference<css::container::XNamed>(p, UNO_QUERY_THROW)->getName())) + "\n";
    }
    const Any value(OUString::fromUtf8(entries.c_str()));
    if (kept) {
      user->setPropertyValue(Ascii(kPictureNames), value);
    } else {
      Reference<css::beans::XPropertyContainer>(user, UNO_QUERY_THROW)
          ->addProperty(Ascii(kPictureNames), css::beans::PropertyAttribute::REMOVABLE, value);
    }
  });
}

void LoDocument::RestorePictureNames() {
  Uno([&] { RestorePictureNames(UserProperties(*this)); });
}

void LoDocument::RestorePictureNamesFrom(const std::u16string& file) {
  // Writer reads a Word 97 file's properties only by loading it: hidden, and closed again,
  // with no document-open for the add-in.
  struct Aside {
    int& n;
    explicit Aside(int& count) : n(++count) {}
    ~Aside() { --n; }
  } aside(app_->loading());
  Uno([&] {
    const Reference<css::lang::XComponent> other =
        css::frame::Desktop::create(app_->context())
            ->loadComponentFromURL(
                FileUrl(file), Ascii("_blank"), 0,
                Props({{"Hidden", Any(true)},
                       {"ReadOnly", Any(true)},
                       {"MacroExecutionMode", Any(css::document::MacroExecMode::NEVER_EXECUTE)}}));
    Reference<css::document::XDocumentPropertiesSupplier> supplier(other, UNO_QUERY);
    try {
      if (supplier.is()) {
        RestorePictureNames(Reference<XPropertySet>(
            supplier->getDocumentProperties()->getUserDefinedProperties(), UNO_QUERY_THROW));
      }
    } catch (...) {
      Reference<css::util::XCloseable>(other, UNO_QUERY_THROW)->close(true);
      throw;
    }
    if (other.is()) Reference<css::util::XCloseable>(other, UNO_QUERY_THROW)->close(true);
  });
}

void LoDocument::RestorePictureNames(const Reference<XPropertySet>& user) {
  Uno([&] {
    if (!user->getPropertySetInfo()->hasPropertyByName(Ascii(kPictureNames))) return;
    OUString value;
    user->getPropertyValue(Ascii(kPictureNames)) >>= value;
    std::vector<std::pair<std::array<long, 5>, std::u16string>> kept;
    std::istringstream in(OUStringToOString(value, RTL_TEXTENCODING_UTF8).getStr());
    for (std::string line; std::getline(in, line);) {
      std::istringstream fields(line);
      std::array<long, 5> place{};
      for (long& v : place) fields >> v;
      std::string name;
      std::getline(fields >> std::ws, name);
      if (fields.fail() && name.empty()) continue;
      kept.emplace_back(place, Utf8ToUtf16(name));
    }
    const Reference<css::util::XModifiable> modified(model_, UNO_QUERY_THROW);
    const bool was_modified = modified->isModified();
    const Reference<XNameAccess> names = Pictures(*this);
    const Reference<css::container::XIndexAccess> all(names, UNO_QUERY_THROW);
    for (sal_Int32 i = 0; i < all->getCount(); ++i) {
      const Reference<XPropertySet> p(all->getByIndex(i), UNO_QUERY_THROW);
      const std::array<long, 5> place = Place(p);
      // The nearest kept place within a millimetre or so: the file stores twips.
      const std::u16string* best = nullptr;
      long best_distance = 200;
      for (const auto& [at, name] : kept) {
        // A Word 97 file anchors pictures to paragraphs: no page number to compare then.
        long distance = at[0] == place[0] || at[0] == 0 || place[0] == 0 ? 0 : 1000000;
        for (size_t k = 1; k < 5; ++k) distance += std::labs(at[k] - place[k]);
        if (distance < best_distance) best_distance = distance, best = &name;
      }
      const Reference<css::container::XNamed> named(p, UNO_QUERY_THROW);
      if (best != nullptr && U16(named->getName()) != *best && !names->hasByName(Ou(*best))) {
        named->setName(Ou(*best));
      }
    }
    modified->setModified(was_modified);
  });
}

}  // namespace qnmuro::lohost
