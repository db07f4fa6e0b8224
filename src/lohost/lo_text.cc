// Positions, ranges, bookmarks and the selection over Writer's text.
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/datatransfer/XTransferableSupplier.hpp>
#include <com/sun/star/document/XDocumentInsertable.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/text/ControlCharacter.hpp>
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

// Moves a cursor `count` characters left.
bool MoveLeft(const Reference<XTextCursor>& cursor, long count, bool expand) {
  while (count > 0) {
    const sal_Int16 step = static_cast<sal_Int16>(std::min<long>(count, 0x7fff));
    if (!cursor->goLeft(step, expand)) return false;
    count -= step;
  }
  return true;
}

Reference<css::text::XTextContent> FindBookmark(LoDocument& doc, std::u16string_view name) {
  const Reference<css::container::XNameAccess> all = doc.BookmarkAccess();
  if (!all->hasByName(Ou(name))) return {};
  return Reference<css::text::XTextContent>(all->getByName(Ou(name)), UNO_QUERY);
}

// Whether Writer's bookmark `mark` spans exactly `range` (false when it is gone). `replaced`:
// the bookmark spanned exactly the text that `range`, not empty, replaced at the same start, so
// it now begins there; it spans the new text when it holds any.
bool Covers(LoDocument& doc, const Reference<css::text::XTextContent>& mark,
            const Reference<XTextRange>& range, bool replaced) {
  if (!mark.is()) return false;
  try {
    const Reference<XTextRange> anchor = mark->getAnchor();
    if (replaced) return anchor->getString().getLength() > 0;
    const Reference<css::text::XTextRangeCompare> compare = doc.Compare();
    return compare->compareRegionStarts(anchor, range) == 0 &&
           compare->compareRegionEnds(anchor, range) == 0;
  } catch (const css::uno::Exception&) {
    return false;
  }
}

class LoBookmark final : public host::Bookmark {
 public:
  LoBookmark(std::shared_ptr<LoDocument> doc, std::u16string name)
      : doc_(std::move(doc)), name_(std::move(name)) {}

  std::u16string Name() override { return name_; }
  std::shared_ptr<host::Range> GetRange() override {
    const BookmarkSpan span = Span();
    const Reference<XTextRange> anchor = doc_->Index().Anchor(name_);
    if (!anchor.is()) ThrowHost(host::kObjectDeleted, u"The bookmark has been deleted: " + name_);
    return std::make_shared<LoRange>(doc_, anchor, name_, span);
  }
  long Start() override { return Span().start; }
  long End() override { return Span().end; }
  void SetStart(long position) override {
    const BookmarkSpan span = Span();
    const long end = std::max(position, span.end);
    if (span.start == position && span.end == end) return;
    doc_->MoveBookmark(name_, position, end);
  }
  void SetEnd(long position) override {
    const BookmarkSpan span = Span();
    const long start = std::min(position, span.start);
    if (span.start == start && span.end == position) return;
    doc_->MoveBookmark(name_, start, position);
  }
  void Select() override {
    const BookmarkSpan span = Span();
    doc_->app().GetSelection()->SetRange(span.start, span.end);
  }
  void Delete() override {
    BookmarksBefore before;
    before.all = false;
    before.spans.push_back(Span());
    const Reference<css::text::XTextContent> mark = doc_->Index().Mark(name_);
    if (!mark.is()) ThrowHost(host::kObjectDeleted, u"The bookmark has been deleted: " + name_);
    const unsigned long generation = doc_->Index().Generation();
    doc_->AsOneAction([&] { Uno([&] { doc_->Text()->removeTextContent(mark); }); }, &before);
    doc_->Index().AdoptRemoval(generation, name_);
  }

 private:
  BookmarkSpan Span() {
    doc_->CheckAlive();
    const std::optional<BookmarkSpan> span = doc_->Index().Find(name_);
    if (!span) ThrowHost(host::kObjectDeleted, u"The bookmark has been deleted: " + name_);
    return *span;
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
  return index_.PositionOf(point);
}

long LoDocument::Length() {
  CheckAlive();
  return Uno([&] { return static_cast<long>(Text()->getString().getLength()); });
}

std::vector<BookmarkSpan> LoDocument::BookmarkSpans() {
  return index_.All();
}

void LoDocument::PutBookmark(std::u16string_view name, long start, long end) {
  BookmarksBefore before;
  before.all = false;
  if (const std::optional<BookmarkSpan> old = index_.Find(name)) {
    before.spans.push_back(*old);
  } else {
    before.absent.emplace_back(name);
  }
  AsOneAction([&] { PlaceBookmark(name, start, end); }, &before);
}

void LoDocument::MoveBookmark(std::u16string_view name, long start, long end) {
  // Moving a bookmark is no action of the undo history (Writer would make two of it); undoing
  // the action before puts the bookmarks back as they were before that one.
  OutsideUndo([&] { PlaceBookmark(name, start, end); });
}

void LoDocument::PlaceBookmark(std::u16string_view name, long start, long end) {
  PlaceBookmarkOver(name, RangeOf(CursorAt(start, end)), start == end);
}

void LoDocument::PlaceBookmarkOver(std::u16string_view name, const Reference<XTextRange>& span,
                                   bool collapsed) {
  Uno([&] {
    const Reference<css::text::XText> text = Text();
    if (const Reference<css::text::XTextContent> old = FindBookmark(*this, name); old.is()) {
      text->removeTextContent(old);
    }
    Reference<css::lang::XMultiServiceFactory> factory(model_, UNO_QUERY_THROW);
    Reference<css::text::XTextContent> mark(
        factory->createInstance(Ascii("com.sun.star.text.Bookmark")), UNO_QUERY_THROW);
    Reference<css::container::XNamed>(mark, UNO_QUERY_THROW)->setName(Ou(name));
    text->insertTextContent(span, mark, !collapsed);
  });
}

LoDocument::Replacement LoDocument::ReplaceText(const Reference<XTextRange>& span,
                                                std::u16string_view text, long old_length,
                                                bool want_text) {
  CheckEditable();
  const long size = static_cast<long>(text.size());
  Replacement done;
  // A cursor at the end of the new text, over it.
  auto over_new_text = [&](const Reference<XTextCursor>& after) {
    return Uno([&] {
      const Reference<XTextCursor> over = Text()->createTextCursorByRange(RangeOf(after));
      MoveLeft(over, size, true);
      return RangeOf(over);
    });
  };
  // Writer makes a step of each string and paragraph break.
  AsOneAction([&] {
    if (!TrackRevisions()) {
      if (old_length < 0) old_length = Uno([&] { return span->getString().getLength(); });
      done.grown = size - old_length;
      if (text.find(u'\r') == std::u16string_view::npos) {
        // Writer deletes the span and inserts the text in one, the span then over the text.
        Uno([&] { span->setString(Ou(text)); });
        done.text = span;
        done.in_one = true;
        return;
      }
      Reference<XTextCursor> cursor(span, UNO_QUERY);
      if (!cursor.is()) cursor = Uno([&] { return Text()->createTextCursorByRange(span); });
      Uno([&] { cursor->setString(OUString()); });
      InsertParagraphs(cursor, text);
      if (want_text) done.text = over_new_text(cursor);
      return;
    }
    // A recorded deletion stays in the text, and Writer would put what follows after it or
    // among its paragraphs: the new text goes in before the old, which is then deleted, so the
    // new text starts where the old did, in its own order. The text grows by what is really
    // there after.
    const long before = Length();
    const long start = PositionOf(Uno([&] { return span->getStart(); }));
    const long end = PositionOf(Uno([&] { return span->getEnd(); }));
    const Reference<XTextCursor> at = CursorAt(start, start);
    InsertParagraphs(at, text);
    if (want_text) done.text = over_new_text(at);
    const long from = start + size;
    long to = end + size;
    if (to != from) {
      // Writer's Word 97 export drops the recorded deletion of a paragraph break that came from
      // a Word 97 file, so accepting would leave an empty paragraph for each: the old text's
      // breaks go unrecorded (its paragraphs join), and only its text is recorded as deleted.
      const std::u16string old = CoreText(Uno([&] { return CursorAt(from, to)->getString(); }));
      if (old.find(u'\r') != std::u16string::npos && Recording(false)) {
        for (long at_break = to - 1; at_break >= from; --at_break) {
          if (old[at_break - from] != u'\r') continue;
          const Reference<XTextCursor> mark = CursorAt(at_break, at_break + 1);
          Uno([&] { mark->setString(OUString()); });
          --to;
        }
        Recording(true);
      }
      const Reference<XTextCursor> rest = CursorAt(from, to);
      Uno([&] { rest->setString(OUString()); });
    }
    done.grown = Length() - before;
  });
  return done;
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

void LoDocument::RestoreBookmarks(const BookmarksBefore& before) {
  auto same = [](const BookmarkSpan& x, const BookmarkSpan& y) {
    return x.name == y.name && x.start == y.start && x.end == y.end;
  };
  if (!before.all) {
    for (const std::u16string& name : before.absent) {
      if (const Reference<css::text::XTextContent> mark = FindBookmark(*this, name); mark.is()) {
        Uno([&] { Text()->removeTextContent(mark); });
      }
    }
    for (const BookmarkSpan& b : before.spans) {
      const std::optional<BookmarkSpan> now = index_.Find(b.name);
      if (!now || !same(*now, b)) PlaceBookmark(b.name, b.start, b.end);
    }
    return;
  }
  const std::vector<BookmarkSpan> now = BookmarkSpans();
  for (const BookmarkSpan& b : now) {
    if (std::none_of(before.spans.begin(), before.spans.end(),
                     [&](const auto& o) { return same(b, o); })) {
      Uno([&] { Text()->removeTextContent(FindBookmark(*this, b.name)); });
    }
  }
  for (const BookmarkSpan& b : before.spans) {
    if (std::none_of(now.begin(), now.end(), [&](const auto& o) { return same(b, o); })) {
      PlaceBookmark(b.name, b.start, b.end);
    }
  }
}

// ---- ranges

LoRange::LoRange(std::shared_ptr<LoDocument> doc, Reference<XTextCursor> cursor,
                 std::u16string bookmark, std::optional<BookmarkSpan> known)
    : doc_(std::move(doc)),
      range_(RangeOf(cursor)),
      cursor_(std::move(cursor)),
      bookmark_(std::move(bookmark)) {
  if (known) Know(known->start, known->end);
}

LoRange::LoRange(std::shared_ptr<LoDocument> doc, Reference<XTextRange> range,
                 std::u16string bookmark, std::optional<BookmarkSpan> known)
    : doc_(std::move(doc)), range_(std::move(range)), bookmark_(std::move(bookmark)) {
  if (known) Know(known->start, known->end);
}

void LoRange::Know(long start, long end) {
  known_start_ = start;
  known_end_ = end;
  known_at_ = doc_->Changes();
}

bool LoRange::Known() const {
  return known_start_ >= 0 && doc_->Counting() && doc_->Changes() == known_at_;
}

const Reference<XTextCursor>& LoRange::cursor() {
  if (!cursor_.is()) {
    cursor_ = Uno([&] { return doc_->Text()->createTextCursorByRange(range_); });
    range_ = RangeOf(cursor_);
  }
  return cursor_;
}

long LoRange::Start() {
  doc_->CheckAlive();
  if (Known()) return known_start_;
  return doc_->PositionOf(Uno([&] { return range_->getStart(); }));
}

long LoRange::End() {
  doc_->CheckAlive();
  if (Known()) return known_end_;
  return doc_->PositionOf(Uno([&] { return range_->getEnd(); }));
}

std::u16string LoRange::Text() {
  doc_->CheckAlive();
  return CoreText(Uno([&] { return range_->getString(); }));
}

void LoRange::SetText(std::u16string_view text) {
  doc_->CheckEditable();
  const long start = Start(), end = End();
  const long size = static_cast<long>(text.size());
  BookmarkIndex& index = doc_->Index();
  // Writer keeps a bookmark that reaches past both ends of the span around the new text, and
  // moves what lies after it along. A bookmark with an end at or within the span is where Writer
  // may drop or collapse it: of those, the ones around the span, and the range's own, are set
  // again around the new text.
  BookmarksBefore before;
  before.all = false;
  before.spans = index.Touching(start, end);
  if (!bookmark_.empty() && std::none_of(before.spans.begin(), before.spans.end(),
                                         [&](const auto& b) { return b.name == bookmark_; })) {
    if (const std::optional<BookmarkSpan> own = index.Find(bookmark_)) before.spans.push_back(*own);
  }
  std::vector<BookmarkSpan> keep;
  for (const BookmarkSpan& b : before.spans) {
    if ((b.start <= start && end <= b.end) || b.name == bookmark_) keep.push_back(b);
  }
  std::sort(keep.begin(), keep.end(), [](const BookmarkSpan& a, const BookmarkSpan& b) {
    return a.start != b.start ? a.start < b.start : a.name < b.name;
  });
  const Reference<css::text::XTextContent> own_mark =
      bookmark_.empty() ? Reference<css::text::XTextContent>() : index.Mark(bookmark_);
  const unsigned long generation = index.Generation();
  LoDocument::Replacement done;
  std::vector<BookmarkSpan> placed;
  doc_->AsOneAction(
      [&] {
        done = doc_->ReplaceText(range_, text, end - start, true);
        for (const BookmarkSpan& b : keep) {
          if (b.name != bookmark_) {
            placed.push_back({b.name, b.start, b.end + done.grown});
            doc_->PlaceBookmark(b.name, b.start, b.end + done.grown);
            continue;
          }
          placed.push_back({b.name, start, start + size});
          // Writer leaves a bookmark whose text was replaced in one step over the new text (an
          // empty one stays collapsed where it was); a collapsed one is set again as a point.
          const bool replaced = done.in_one && b.start == start && b.end == end && start < end;
          if (size == 0 || !Covers(*doc_, own_mark, done.text, replaced)) {
            doc_->PlaceBookmarkOver(b.name, done.text, size == 0);
          }
        }
      },
      &before);
  index.AdoptReplacement(generation, start, end, done.grown, placed, done.text);
  range_ = done.text;
  cursor_.clear();
  Know(start, start + size);
}

void LoRange::Copy() {
  doc_->CheckAlive();
  Uno([&] {
    // Writer copies the selection: the user's selection is put back afterwards.
    Reference<css::view::XSelectionSupplier> select(doc_->Controller(), UNO_QUERY_THROW);
    const Any selected = select->getSelection();
    select->select(Any(range_));
    Reference<css::datatransfer::XTransferableSupplier> transfer(doc_->Controller(),
                                                                 UNO_QUERY_THROW);
    doc_->app().Clipboard() <<= transfer->getTransferable();
    select->select(selected);
  });
}

// ---- bookmarks

long LoBookmarks::Count() {
  return doc_->Index().Count();
}

std::shared_ptr<host::Bookmark> LoBookmarks::Item(long index) {
  const std::u16string name = doc_->Index().NameAt(index);
  return std::make_shared<LoBookmark>(doc_->shared_from_this(), name);
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
    return doc_->Index().Contains(name);
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
    if (text_after) doc_.ReplaceText(RangeOf(doc_.CursorAt(p + added - 1, p + added)), u"");
    doc_.ReplaceText(RangeOf(doc_.CursorAt(p, p + 1)), u"");
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
  doc.ReplaceText(RangeOf(static_cast<LoRange&>(*range).cursor()), text);
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
  doc.ReplaceText(RangeOf(doc.CursorAt(start, end)), u"");
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
    if (start != end) doc.ReplaceText(RangeOf(static_cast<LoRange&>(*range).cursor()), u"");
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
