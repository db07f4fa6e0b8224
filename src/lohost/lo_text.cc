// Positions, ranges, bookmarks and the selection over Writer's text.
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/datatransfer/XTransferableSupplier.hpp>
#include <com/sun/star/document/XDocumentInsertable.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/text/ControlCharacter.hpp>
#include <com/sun/star/text/XBookmarksSupplier.hpp>
#include <com/sun/star/text/XPageCursor.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextViewCursor.hpp>
#include <com/sun/star/text/XTextViewCursorSupplier.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>

#include <algorithm>
#include <regex>
#include <set>

#include "lohost/lo_model.h"

namespace qnmuro::lohost {

using css::text::XTextCursor;
using css::text::XTextRange;
using css::uno::Any;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

namespace {

// Writer's text of a span: paragraphs joined by LF; the core counts paragraph marks as CR.
std::u16string CoreText(const OUString& text) {
  std::u16string out = U16(text);
  std::replace(out.begin(), out.end(), u'\n', u'\r');
  return out;
}

// Moves a cursor `count` characters right (Writer's moves take a short).
bool MoveRight(const Reference<XTextCursor>& cursor, long count, bool expand) {
  while (count > 0) {
    const sal_Int16 step = static_cast<sal_Int16>(std::min<long>(count, 0x7fff));
    if (!cursor->goRight(step, expand)) return false;
    count -= step;
  }
  return true;
}

Reference<css::container::XNameAccess> BookmarkAccess(LoDocument& doc) {
  Reference<css::text::XBookmarksSupplier> supplier(doc.model(), UNO_QUERY_THROW);
  return supplier->getBookmarks();
}

Reference<css::text::XTextContent> FindBookmark(LoDocument& doc, std::u16string_view name) {
  const Reference<css::container::XNameAccess> all = BookmarkAccess(doc);
  if (!all->hasByName(Ou(name))) return {};
  return Reference<css::text::XTextContent>(all->getByName(Ou(name)), UNO_QUERY);
}

class LoBookmark final : public host::Bookmark {
 public:
  LoBookmark(std::shared_ptr<LoDocument> doc, std::u16string name)
      : doc_(std::move(doc)), name_(std::move(name)) {}

  std::u16string Name() override { return name_; }
  std::shared_ptr<host::Range> GetRange() override {
    const BookmarkSpan span = Span();
    return std::make_shared<LoRange>(doc_, doc_->CursorAt(span.start, span.end), name_);
  }
  long Start() override { return Span().start; }
  long End() override { return Span().end; }
  void SetStart(long position) override {
    const BookmarkSpan span = Span();
    doc_->MoveBookmark(name_, position, std::max(position, span.end));
  }
  void SetEnd(long position) override {
    const BookmarkSpan span = Span();
    doc_->MoveBookmark(name_, std::min(position, span.start), position);
  }
  void Select() override {
    const BookmarkSpan span = Span();
    doc_->app().GetSelection()->SetRange(span.start, span.end);
  }
  void Delete() override {
    doc_->AsOneAction([&] {
      const Reference<css::text::XTextContent> mark = Find();
      Uno([&] { doc_->Text()->removeTextContent(mark); });
    });
  }

 private:
  Reference<css::text::XTextContent> Find() {
    doc_->CheckAlive();
    Reference<css::text::XTextContent> mark = FindBookmark(*doc_, name_);
    if (!mark.is()) ThrowHost(host::kObjectDeleted, u"The bookmark has been deleted: " + name_);
    return mark;
  }
  BookmarkSpan Span() {
    return Uno([&] {
      const Reference<XTextRange> anchor = Find()->getAnchor();
      return BookmarkSpan{name_, doc_->PositionOf(anchor->getStart()),
                          doc_->PositionOf(anchor->getEnd())};
    });
  }

  std::shared_ptr<LoDocument> doc_;
  std::u16string name_;
};

}  // namespace

// ---- positions

Reference<XTextCursor> LoDocument::CursorAt(long start, long end) {
  CheckAlive();
  return Uno([&] {
    if (start < 0 || end < start) ThrowHost(host::kBadParameter, u"The value is out of range.");
    const Reference<XTextCursor> cursor = Text()->createTextCursor();
    cursor->gotoStart(false);
    if (!MoveRight(cursor, start, false) || !MoveRight(cursor, end - start, true)) {
      ThrowHost(host::kBadParameter, u"The value is out of range.");
    }
    return cursor;
  });
}

long LoDocument::PositionOf(const Reference<XTextRange>& point) {
  return Uno([&] {
    const Reference<css::text::XText> text = Text();
    const Reference<XTextCursor> cursor = text->createTextCursorByRange(text->getStart());
    cursor->gotoRange(point, true);
    return static_cast<long>(cursor->getString().getLength());
  });
}

long LoDocument::Length() {
  CheckAlive();
  return Uno([&] { return static_cast<long>(Text()->getString().getLength()); });
}

std::vector<BookmarkSpan> LoDocument::BookmarkSpans() {
  CheckAlive();
  std::vector<BookmarkSpan> spans = Uno([&] {
    std::vector<BookmarkSpan> out;
    const Reference<css::container::XNameAccess> all = BookmarkAccess(*this);
    for (const OUString& name : all->getElementNames()) {
      Reference<css::text::XTextContent> mark(all->getByName(name), UNO_QUERY);
      if (!mark.is()) continue;
      const Reference<XTextRange> anchor = mark->getAnchor();
      out.push_back({U16(name), PositionOf(anchor->getStart()), PositionOf(anchor->getEnd())});
    }
    return out;
  });
  std::sort(spans.begin(), spans.end(), [](const BookmarkSpan& a, const BookmarkSpan& b) {
    return a.start != b.start ? a.start < b.start : a.name < b.name;
  });
  return spans;
}

void LoDocument::PutBookmark(std::u16string_view name, long start, long end) {
  AsOneAction([&] { PlaceBookmark(name, start, end); });
}

void LoDocument::MoveBookmark(std::u16string_view name, long start, long end) {
  // Moving a bookmark is no action of the undo history (Writer would make two of it); undoing
  // the action before puts the bookmarks back as they were before that one.
  OutsideUndo([&] { PlaceBookmark(name, start, end); });
}

void LoDocument::PlaceBookmark(std::u16string_view name, long start, long end) {
  const Reference<XTextCursor> cursor = CursorAt(start, end);
  Uno([&] {
    const Reference<css::text::XText> text = Text();
    if (const Reference<css::text::XTextContent> old = FindBookmark(*this, name); old.is()) {
      text->removeTextContent(old);
    }
    Reference<css::lang::XMultiServiceFactory> factory(model_, UNO_QUERY_THROW);
    Reference<css::text::XTextContent> mark(
        factory->createInstance(Ascii("com.sun.star.text.Bookmark")), UNO_QUERY_THROW);
    Reference<css::container::XNamed>(mark, UNO_QUERY_THROW)->setName(Ou(name));
    text->insertTextContent(cursor.get(), mark, !cursor->isCollapsed());
  });
}

void LoDocument::ReplaceText(const Reference<XTextCursor>& cursor, std::u16string_view text) {
  CheckEditable();
  // Writer makes a step of each string and paragraph break.
  AsOneAction([&] {
    if (!TrackRevisions()) {
      Uno([&] { cursor->setString(OUString()); });
      InsertParagraphs(cursor, text);
      return;
    }
    // A recorded deletion stays in the text, and Writer would put what follows after it or
    // among its paragraphs: the new text goes in before the old, which is then deleted, so the
    // new text starts where the old did, in its own order.
    const long start = PositionOf(Uno([&] { return cursor->getStart(); }));
    const long end = PositionOf(Uno([&] { return cursor->getEnd(); }));
    InsertParagraphs(CursorAt(start, start), text);
    const long from = start + static_cast<long>(text.size());
    long to = end + static_cast<long>(text.size());
    if (to == from) return;
    // Writer's Word 97 export drops the recorded deletion of a paragraph break that came from
    // a Word 97 file, so accepting would leave an empty paragraph for each: the old text's
    // breaks go unrecorded (its paragraphs join), and only its text is recorded as deleted.
    const std::u16string old = CoreText(Uno([&] { return CursorAt(from, to)->getString(); }));
    if (old.find(u'\r') != std::u16string::npos && Recording(false)) {
      for (long at = to - 1; at >= from; --at) {
        if (old[at - from] != u'\r') continue;
        const Reference<XTextCursor> mark = CursorAt(at, at + 1);
        Uno([&] { mark->setString(OUString()); });
        --to;
      }
      Recording(true);
    }
    const Reference<XTextCursor> rest = CursorAt(from, to);
    Uno([&] { rest->setString(OUString()); });
  });
}

void LoDocument::InsertParagraphs(const Reference<XTextCursor>& cursor, std::u16string_view text) {
  Uno([&] {
    const Reference<css::text::XText> body = Text();
    size_t from = 0;
    for (;;) {
      const size_t cr = text.find(u'\r', from);
      const std::u16string_view part =
          text.substr(from, cr == std::u16string_view::npos ? cr : cr - from);
      if (!part.empty()) {
        body->insertString(cursor.get(), Ou(part), true);
        cursor->collapseToEnd();
      }
      if (cr == std::u16string_view::npos) break;
      body->insertControlCharacter(cursor.get(), css::text::ControlCharacter::PARAGRAPH_BREAK,
                                   true);
      cursor->collapseToEnd();
      from = cr + 1;
    }
  });
}

void LoDocument::RestoreBookmarks(const std::vector<BookmarkSpan>& before) {
  auto same = [](const BookmarkSpan& x, const BookmarkSpan& y) {
    return x.name == y.name && x.start == y.start && x.end == y.end;
  };
  const std::vector<BookmarkSpan> now = BookmarkSpans();
  for (const BookmarkSpan& b : now) {
    if (std::none_of(before.begin(), before.end(), [&](const auto& o) { return same(b, o); })) {
      Uno([&] { Text()->removeTextContent(FindBookmark(*this, b.name)); });
    }
  }
  for (const BookmarkSpan& b : before) {
    if (std::none_of(now.begin(), now.end(), [&](const auto& o) { return same(b, o); })) {
      PlaceBookmark(b.name, b.start, b.end);
    }
  }
}

// ---- ranges

LoRange::LoRange(std::shared_ptr<LoDocument> doc, Reference<XTextCursor> cursor,
                 std::u16string bookmark)
    : doc_(std::move(doc)), cursor_(std::move(cursor)), bookmark_(std::move(bookmark)) {}

long LoRange::Start() {
  doc_->CheckAlive();
  return doc_->PositionOf(Uno([&] { return cursor_->getStart(); }));
}

long LoRange::End() {
  doc_->CheckAlive();
  return doc_->PositionOf(Uno([&] { return cursor_->getEnd(); }));
}

std::u16string LoRange::Text() {
  doc_->CheckAlive();
  return CoreText(Uno([&] { return cursor_->getString(); }));
}

void LoRange::SetText(std::u16string_view text) {
  doc_->CheckEditable();
  const long start = Start(), end = End();
  // The bookmarks around the span, and the range's own, stay around the new text: Writer
  // would drop or collapse those whose whole text is replaced.
  std::vector<BookmarkSpan> keep;
  for (BookmarkSpan& b : doc_->BookmarkSpans()) {
    if ((b.start <= start && end <= b.end) || b.name == bookmark_) keep.push_back(b);
  }
  const Reference<XTextCursor> at = doc_->CursorAt(start, end);
  doc_->AsOneAction([&] {
    // A recorded deletion stays in the text: the text grows by what is really there after.
    const long before = doc_->Length();
    doc_->ReplaceText(at, text);
    const long grown = doc_->Length() - before;
    for (const BookmarkSpan& b : keep) {
      const long new_start = b.name == bookmark_ ? start : b.start;
      const long new_end =
          b.name == bookmark_ ? start + static_cast<long>(text.size()) : b.end + grown;
      doc_->PutBookmark(b.name, new_start, new_end);
    }
  });
  cursor_ = doc_->CursorAt(start, start + static_cast<long>(text.size()));
}

void LoRange::Copy() {
  doc_->CheckAlive();
  Uno([&] {
    // Writer copies the selection: the user's selection is put back afterwards.
    Reference<css::view::XSelectionSupplier> select(doc_->Controller(), UNO_QUERY_THROW);
    const Any selected = select->getSelection();
    select->select(Any(Reference<XTextRange>(cursor_, UNO_QUERY_THROW)));
    Reference<css::datatransfer::XTransferableSupplier> transfer(doc_->Controller(),
                                                                 UNO_QUERY_THROW);
    doc_->app().Clipboard() <<= transfer->getTransferable();
    select->select(selected);
  });
}

// ---- bookmarks

long LoBookmarks::Count() {
  return static_cast<long>(doc_->BookmarkSpans().size());
}

std::shared_ptr<host::Bookmark> LoBookmarks::Item(long index) {
  const std::vector<BookmarkSpan> spans = doc_->BookmarkSpans();
  if (index < 1 || index > static_cast<long>(spans.size())) {
    ThrowHost(host::kNoSuchMember, u"The requested member of the collection does not exist.");
  }
  return std::make_shared<LoBookmark>(doc_->shared_from_this(), spans[index - 1].name);
}

std::shared_ptr<host::Bookmark> LoBookmarks::Item(std::u16string_view name) {
  doc_->CheckAlive();
  if (!Exists(name)) {
    ThrowHost(host::kNoSuchMember, u"The requested member of the collection does not exist.");
  }
  return std::make_shared<LoBookmark>(doc_->shared_from_this(), std::u16string(name));
}

bool LoBookmarks::Exists(std::u16string_view name) {
  try {
    doc_->CheckAlive();
    return FindBookmark(*doc_, name).is();
  } catch (...) {
    return false;
  }
}

std::shared_ptr<host::Bookmark> LoBookmarks::Add(std::u16string_view name, long start, long end) {
  if (name.empty()) ThrowHost(host::kBadParameter, u"A bookmark needs a name.");
  doc_->PutBookmark(name, start, end);
  return std::make_shared<LoBookmark>(doc_->shared_from_this(), std::u16string(name));
}

// ---- insertions of content (paste, insert file)

// Writer inserts a file as whole paragraphs and gives pasted bookmarks whose names are taken a
// "<name> Copy N" name, and moves the bookmarks at the insertion point its own way. The add-in
// relies on the host's rules instead: the first and last inserted paragraphs join the paragraph at
// the insertion point, an inserted bookmark replaces the one of its name, and the bookmarks around
// the insertion point move as they do when text is typed there.
class Inserting {
 public:
  // The span [start, end] is replaced by what is inserted.
  Inserting(LoDocument& doc, long start, long end)
      : doc_(doc),
        start_(start),
        end_(end),
        before_(doc.Content()->Text()),
        spans_(doc.BookmarkSpans()) {}

  // Puts things as the host's rules have them; returns the position after the inserted content.
  long Done(bool whole_paragraphs) {
    const std::u16string after = doc_.Content()->Text();
    long added =
        static_cast<long>(after.size()) - static_cast<long>(before_.size()) + (end_ - start_);
    if (whole_paragraphs) added -= JoinParagraphs(after, added);
    AdoptCopies();
    for (const BookmarkSpan& b : spans_) {
      if (replaced_.count(b.name) != 0 || !doc_.GetBookmarks().Exists(b.name)) continue;
      BookmarkSpan want = b;
      if (b.start >= end_) {
        want.start += added - (end_ - start_);
        want.end += added - (end_ - start_);
      } else if (b.end > start_) {
        want.end = std::max(start_ + added, b.end + added - (end_ - start_));
      }
      const std::shared_ptr<host::Bookmark> now = doc_.GetBookmarks().Item(b.name);
      if (now->Start() != want.start || now->End() != want.end) {
        doc_.PutBookmark(b.name, want.start, want.end);
      }
    }
    return start_ + added;
  }

 private:
  // Removes the paragraph breaks Writer put around an inserted file; returns how many.
  long JoinParagraphs(const std::u16string& after, long added) {
    const long p = start_;
    const bool text_after = p < static_cast<long>(before_.size()) && before_[p] != u'\r';
    const long breaks = text_after ? 2 : 1;
    if (added < breaks || after[p] != u'\r' || (text_after && after[p + added - 1] != u'\r'))
      return 0;
    if (text_after) doc_.ReplaceText(doc_.CursorAt(p + added - 1, p + added), u"");
    doc_.ReplaceText(doc_.CursorAt(p, p + 1), u"");
    return breaks;
  }

  // An inserted bookmark that Writer renamed "<name> Copy N" (in Word files "<name>_Copy_N")
  // replaces <name>.
  void AdoptCopies() {
    static const std::wregex kCopy(L"^(.+)[ _]Copy[ _][0-9]+$");
    for (const BookmarkSpan& b : doc_.BookmarkSpans()) {
      const std::wstring name(b.name.begin(), b.name.end());
      std::wsmatch m;
      if (!std::regex_match(name, m, kCopy)) continue;
      const std::wstring base_w = m[1].str();
      const std::u16string base(base_w.begin(), base_w.end());
      if (std::none_of(spans_.begin(), spans_.end(),
                       [&](const BookmarkSpan& s) { return s.name == base; })) {
        continue;
      }
      doc_.GetBookmarks().Item(base)->Delete();
      Uno([&] {
        Reference<css::container::XNamed>(FindBookmark(doc_, b.name), UNO_QUERY_THROW)
            ->setName(Ou(base));
      });
      replaced_.insert(base);
    }
  }

  LoDocument& doc_;
  long start_, end_;
  std::u16string before_;
  std::vector<BookmarkSpan> spans_;
  std::set<std::u16string> replaced_;
};

// ---- the selection

LoDocument& LoSelection::Doc() {
  std::shared_ptr<LoDocument> doc = app_->Active();
  if (doc == nullptr) ThrowHost(host::kNoDocument, u"No document is open.");
  return *doc;
}

std::shared_ptr<host::Range> LoSelection::GetRange() {
  LoDocument& doc = Doc();
  return Uno([&] {
    Reference<css::text::XTextViewCursorSupplier> views(doc.Controller(), UNO_QUERY_THROW);
    const Reference<css::text::XTextViewCursor> view = views->getViewCursor();
    const long start = doc.PositionOf(view->getStart()), end = doc.PositionOf(view->getEnd());
    return std::make_shared<LoRange>(doc.shared_from_this(),
                                     doc.CursorAt(std::min(start, end), std::max(start, end)));
  });
}

void LoSelection::SetRange(long start, long end) {
  LoDocument& doc = Doc();
  const long length = doc.Length();
  start = std::clamp(start, 0L, length);
  end = std::clamp(end, start, length);
  const Reference<XTextCursor> cursor = doc.CursorAt(start, end);
  Uno([&] {
    Reference<css::view::XSelectionSupplier> select(doc.Controller(), UNO_QUERY_THROW);
    select->select(Any(Reference<XTextRange>(cursor, UNO_QUERY_THROW)));
  });
}

long LoSelection::EndPageNumber() {
  LoDocument& doc = Doc();
  return Uno([&] {
    Reference<css::text::XTextViewCursorSupplier> views(doc.Controller(), UNO_QUERY_THROW);
    const Reference<css::text::XTextViewCursor> view = views->getViewCursor();
    const Reference<XTextRange> end = view->getEnd();
    const Reference<css::text::XTextViewCursor> probe = views->getViewCursor();
    Reference<css::text::XPageCursor> page(probe, UNO_QUERY_THROW);
    // The view cursor is the selection: read the page at its end, then put the selection back.
    const Reference<XTextCursor> keep = doc.Text()->createTextCursorByRange(view.get());
    probe->gotoRange(end, false);
    const long number = page->getPage();
    Reference<css::view::XSelectionSupplier>(doc.Controller(), UNO_QUERY_THROW)
        ->select(Any(Reference<XTextRange>(keep, UNO_QUERY_THROW)));
    return number;
  });
}

void LoSelection::MoveCharacters(long count) {
  const std::shared_ptr<host::Range> range = GetRange();
  const long start = range->Start(), end = range->End();
  long at = 0;
  if (count > 0) at = (start == end ? end : end - 1) + count;
  if (count < 0) at = (start == end ? start : start + 1) + count;
  if (count == 0) at = start;
  SetRange(std::max(0L, at), std::max(0L, at));
}

void LoSelection::TypeText(std::u16string_view text) {
  const std::shared_ptr<host::Range> range = GetRange();
  const long start = range->Start();
  LoDocument& doc = Doc();
  doc.ReplaceText(static_cast<LoRange&>(*range).cursor(), text);
  const long after = start + static_cast<long>(text.size());
  SetRange(after, after);
}

void LoSelection::Paste() {
  LoDocument& doc = Doc();
  doc.CheckEditable();
  const std::shared_ptr<host::Range> range = GetRange();
  const long start = range->Start(), end = range->End();
  long after = start;
  // The paste and the host's corrections of it are one action of the undo history.
  doc.AsOneAction([&] {
    Inserting inserting(doc, start, end);
    Uno([&] {
      Reference<css::datatransfer::XTransferable> content;
      if (!(app_->Clipboard() >>= content) || !content.is()) {
        ThrowHost(host::kNotAvailable, u"The clipboard is empty.");
      }
      Reference<css::datatransfer::XTransferableSupplier> transfer(doc.Controller(),
                                                                   UNO_QUERY_THROW);
      transfer->insertTransferable(content);
    });
    after = inserting.Done(false);
  });
  SetRange(after, after);
}

void LoSelection::WholeStory() {
  LoDocument& doc = Doc();
  SetRange(0, doc.Length());
}

void LoSelection::Delete() {
  const std::shared_ptr<host::Range> range = GetRange();
  long start = range->Start(), end = range->End();
  LoDocument& doc = Doc();
  if (start == end) end = std::min(end + 1, doc.Length());
  doc.ReplaceText(doc.CursorAt(start, end), u"");
  SetRange(start, start);
}

void LoSelection::InsertFile(std::u16string_view path) {
  LoDocument& doc = Doc();
  doc.CheckEditable();
  const std::u16string full = app_->ResolvePath(path);
  const std::shared_ptr<host::Range> range = GetRange();
  const long start = range->Start(), end = range->End();
  long after = start;
  doc.AsOneAction([&] {
    if (start != end) doc.ReplaceText(static_cast<LoRange&>(*range).cursor(), u"");
    Inserting inserting(doc, start, start);
    Uno([&] {
      Reference<css::document::XDocumentInsertable> insert(doc.CursorAt(start, start),
                                                           UNO_QUERY_THROW);
      insert->insertDocumentFromURL(FileUrl(full), {});
    });
    after = inserting.Done(true);
    IgnoreFailure([&] { doc.RestorePictureNamesFrom(full); });
  });
  SetRange(after, after);
}

}  // namespace qnmuro::lohost
