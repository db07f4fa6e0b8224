// The document's bookmarks as far as measured (BookmarkIndex), and the count of Writer's
// changes of a document that says how long what was measured holds.
#include <cppuhelper/implbase1.hxx>

#include <algorithm>
#include <utility>

#include "lohost/lo_model.h"

namespace qnmuro::lohost {

using css::text::XTextCursor;
using css::text::XTextRange;

namespace {

// How far the cursor that bookmarks are measured from may fall behind before it is moved up:
// each measurement reads the text from it to the bookmark's end.
constexpr long kMoveUpDistance = 2048;

class ChangeCounter final : public cppu::WeakImplHelper1<css::util::XModifyListener> {
 public:
  explicit ChangeCounter(std::shared_ptr<std::atomic<unsigned long>> count)
      : count_(std::move(count)) {}
  void SAL_CALL modified(const css::lang::EventObject&) override { ++*count_; }
  void SAL_CALL disposing(const css::lang::EventObject&) override {}

 private:
  std::shared_ptr<std::atomic<unsigned long>> count_;
};

long LengthOf(const OUString& text) {
  return static_cast<long>(text.getLength());
}

}  // namespace

Reference<css::util::XModifyListener> NewChangeCounter(
    std::shared_ptr<std::atomic<unsigned long>> count) {
  return new ChangeCounter(std::move(count));
}

void BookmarkIndex::StartOver() {
  loaded_ = false;
  order_.clear();
  entries_.clear();
  walked_ = 0;
  ref_.clear();
  from_ = reach_ = 0;
}

void BookmarkIndex::Sync() {
  doc_->CheckAlive();
  const unsigned long now = doc_->Changes();
  if (loaded_ && doc_->Counting() && now == generation_) return;
  StartOver();
  generation_ = now;
}

void BookmarkIndex::Load() {
  if (loaded_) return;
  const css::uno::Sequence<OUString> names =
      Uno([&] { return doc_->BookmarkAccess()->getElementNames(); });
  order_.reserve(static_cast<size_t>(names.getLength()));
  for (const OUString& name : names) {
    order_.push_back(U16(name));
    entries_.emplace(order_.back(), Entry{});
  }
  loaded_ = true;
}

unsigned long BookmarkIndex::Generation() {
  Sync();
  return generation_;
}

void BookmarkIndex::Walk() {
  const std::u16string& name = order_[walked_];
  Entry& entry = entries_.at(name);
  if (!entry.measured) {
    Uno([&] {
      if (!entry.mark.is()) doc_->BookmarkAccess()->getByName(Ou(name)) >>= entry.mark;
      if (!entry.mark.is()) ThrowHost(host::kNotAvailable, u"Not a bookmark: " + name);
      const Reference<XTextRange> anchor = entry.mark->getAnchor();
      if (!ref_.is()) {
        ref_ = doc_->Text()->createTextCursor();
        ref_->gotoStart(false);
        from_ = reach_ = 0;
      }
      // Writer's order puts this bookmark's start at or after from_: the cursor, widened to
      // take it in, reaches to its end unless an earlier one reached as far.
      ref_->gotoRange(anchor, true);
      long end = from_ + LengthOf(ref_->getString());
      if (end <= reach_) {
        ref_->collapseToStart();
        ref_->gotoRange(anchor, true);
        end = from_ + LengthOf(ref_->getString());
      }
      reach_ = end;
      entry.end = end;
      entry.start = end - LengthOf(anchor->getString());
      entry.anchor = anchor;
      entry.measured = true;
      // Every range kept is one more mark for Writer to move at each edit: only the latest
      // ones keep theirs, for the range the caller is about to take.
      if (walked_ >= 2) entries_.at(order_[walked_ - 2]).anchor.clear();
      if (entry.start - from_ > kMoveUpDistance) {
        ref_ = doc_->Text()->createTextCursorByRange(anchor);
        ref_->collapseToStart();
        from_ = reach_ = entry.start;
      }
    });
  }
  ++walked_;
}

void BookmarkIndex::MeasureAlone(const std::u16string& name, Entry& entry) {
  Uno([&] {
    if (!entry.mark.is()) doc_->BookmarkAccess()->getByName(Ou(name)) >>= entry.mark;
    if (!entry.mark.is()) ThrowHost(host::kNotAvailable, u"Not a bookmark: " + name);
    const Reference<XTextRange> anchor = entry.mark->getAnchor();
    entry.start = Measure(anchor->getStart());
    entry.end = entry.start + LengthOf(anchor->getString());
    entry.anchor = anchor;
    entry.measured = true;
  });
}

long BookmarkIndex::Count() {
  Sync();
  Load();
  return static_cast<long>(order_.size());
}

std::u16string BookmarkIndex::NameAt(long index) {
  Sync();
  Load();
  if (index < 1 || index > static_cast<long>(order_.size())) {
    ThrowHost(host::kNoSuchMember, u"The requested member of the collection does not exist.");
  }
  const size_t k = static_cast<size_t>(index - 1);
  while (walked_ <= k) Walk();
  // Every bookmark starting where this one does is measured once one starting later is.
  const long start = StartAt(k);
  while (walked_ < order_.size() && StartAt(walked_ - 1) <= start) Walk();
  size_t first = k, last = k + 1;
  while (first > 0 && StartAt(first - 1) == start) --first;
  while (last < walked_ && StartAt(last) == start) ++last;
  if (last - first == 1) return order_[k];
  std::vector<std::u16string> tied(order_.begin() + static_cast<long>(first),
                                   order_.begin() + static_cast<long>(last));
  std::sort(tied.begin(), tied.end());
  return tied[k - first];
}

bool BookmarkIndex::Contains(std::u16string_view name) {
  Sync();
  Load();
  return entries_.count(std::u16string(name)) != 0;
}

std::optional<BookmarkSpan> BookmarkIndex::Find(std::u16string_view name) {
  Sync();
  Load();
  const auto it = entries_.find(std::u16string(name));
  if (it == entries_.end()) return std::nullopt;
  if (!it->second.measured) MeasureAlone(it->first, it->second);
  return BookmarkSpan{it->first, it->second.start, it->second.end};
}

Reference<css::text::XTextContent> BookmarkIndex::Mark(std::u16string_view name) {
  Sync();
  Load();
  const auto it = entries_.find(std::u16string(name));
  if (it == entries_.end()) return {};
  Entry& entry = it->second;
  if (!entry.mark.is()) {
    Uno([&] { doc_->BookmarkAccess()->getByName(Ou(name)) >>= entry.mark; });
  }
  return entry.mark;
}

Reference<XTextRange> BookmarkIndex::Anchor(std::u16string_view name) {
  const Reference<css::text::XTextContent> mark = Mark(name);
  if (!mark.is()) return {};
  Entry& entry = entries_.at(std::u16string(name));
  if (entry.anchor.is()) return std::exchange(entry.anchor, {});
  return Uno([&] { return mark->getAnchor(); });
}

std::vector<BookmarkSpan> BookmarkIndex::All() {
  Sync();
  Load();
  while (walked_ < order_.size()) Walk();
  std::vector<BookmarkSpan> spans;
  spans.reserve(order_.size());
  for (const std::u16string& name : order_) {
    const Entry& entry = entries_.at(name);
    spans.push_back({name, entry.start, entry.end});
  }
  std::stable_sort(spans.begin(), spans.end(), [](const BookmarkSpan& a, const BookmarkSpan& b) {
    return a.start != b.start ? a.start < b.start : a.name < b.name;
  });
  return spans;
}

std::vector<BookmarkSpan> BookmarkIndex::Touching(long start, long end) {
  Sync();
  Load();
  // Every bookmark that starts at or before `end` is measured once one that starts after is.
  while (walked_ < order_.size() && (walked_ == 0 || StartAt(walked_ - 1) <= end)) Walk();
  std::vector<BookmarkSpan> out;
  for (size_t k = 0; k < walked_; ++k) {
    const Entry& entry = entries_.at(order_[k]);
    const bool starts = start <= entry.start && entry.start <= end;
    const bool ends = start <= entry.end && entry.end <= end;
    if (starts || ends) out.push_back({order_[k], entry.start, entry.end});
  }
  return out;
}

long BookmarkIndex::PositionOf(const Reference<XTextRange>& point) {
  Sync();
  return Measure(point);
}

long BookmarkIndex::Measure(const Reference<XTextRange>& point) {
  return Uno([&] {
    if (ref_.is()) {
      const sal_Int16 order = doc_->Compare()->compareRegionStarts(ref_.get(), point);
      if (order == 0) return from_;
      if (order > 0) {  // the point lies after from_
        const Reference<XTextCursor> cursor = doc_->Text()->createTextCursorByRange(ref_.get());
        cursor->collapseToStart();
        cursor->gotoRange(point, true);
        return from_ + LengthOf(cursor->getString());
      }
      const Reference<XTextCursor> cursor = doc_->Text()->createTextCursorByRange(point);
      cursor->gotoRange(ref_.get(), true);  // from the point to reach_
      return reach_ - LengthOf(cursor->getString());
    }
    const Reference<css::text::XText> text = doc_->Text();
    const Reference<XTextCursor> cursor = text->createTextCursorByRange(text->getStart());
    cursor->gotoRange(point, true);
    return LengthOf(cursor->getString());
  });
}

void BookmarkIndex::Remove(const std::u16string& name) {
  const auto at = std::find(order_.begin(), order_.end(), name);
  if (at == order_.end()) return;
  if (static_cast<size_t>(at - order_.begin()) < walked_) --walked_;
  order_.erase(at);
  entries_.erase(name);
}

void BookmarkIndex::AdoptReplacement(unsigned long generation, long start, long end, long grown,
                                     const std::vector<BookmarkSpan>& placed,
                                     const Reference<XTextRange>& inserted) {
  if (!loaded_ || generation != generation_ || !doc_->Counting()) return;
  // Writer moves what lies after the span along with the text, and the end of what reaches
  // past both of its ends; what had an end within it is where Writer put it.
  std::vector<std::pair<std::u16string, long>> moved;  // with the start before
  for (auto& [name, entry] : entries_) {
    if (!entry.measured) continue;
    const auto again = std::find_if(placed.begin(), placed.end(),
                                    [&](const BookmarkSpan& p) { return p.name == name; });
    if (again != placed.end()) {
      moved.emplace_back(name, entry.start);
      entry.start = again->start;
      entry.end = again->end;
      entry.mark.clear();
      entry.anchor.clear();
    } else if (entry.start > end) {
      entry.start += grown;
      entry.end += grown;
    } else if (entry.start < start && (entry.end < start || entry.end > end)) {
      if (entry.end > end) entry.end += grown;
    } else {
      moved.emplace_back(name, entry.start);
      entry.measured = false;
      entry.anchor.clear();
    }
  }
  if (from_ > end) {
    from_ += grown;
    reach_ += grown;
  } else if (from_ >= start || (reach_ >= start && reach_ <= end)) {
    ref_.clear();
  } else if (reach_ > end) {
    reach_ += grown;
  }
  generation_ = doc_->Changes();
  try {
    if (!ref_.is() && inserted.is()) {
      Uno([&] {
        ref_ = doc_->Text()->createTextCursorByRange(inserted);
        ref_->collapseToStart();
      });
      from_ = reach_ = start;
    }
    for (const auto& [name, old_start] : moved) {
      Entry& entry = entries_.at(name);
      if (entry.measured) continue;
      if (!Uno([&] { return doc_->BookmarkAccess()->hasByName(Ou(name)); })) {
        Remove(name);
        continue;
      }
      MeasureAlone(name, entry);
    }
  } catch (...) {
    StartOver();
    return;
  }
  // What moved starts where it did or within the new text's stretch, between what lies
  // before the span and what lies after it: the walked bookmarks are put in order by start
  // again. Anything else means Writer did what was not foreseen, and the index starts over.
  for (const auto& [name, old_start] : moved) {
    const auto it = entries_.find(name);
    if (it == entries_.end()) continue;
    const auto at = std::find(order_.begin(), order_.end(), name);
    const bool walked = static_cast<size_t>(at - order_.begin()) < walked_;
    const long now = it->second.start;
    if (!walked || (now != old_start && (now < start || now > end + grown))) {
      StartOver();
      return;
    }
  }
  std::stable_sort(order_.begin(), order_.begin() + static_cast<long>(walked_),
                   [&](const std::u16string& a, const std::u16string& b) {
                     return entries_.at(a).start < entries_.at(b).start;
                   });
}

void BookmarkIndex::AdoptRemoval(unsigned long generation, std::u16string_view name) {
  if (!loaded_ || generation != generation_ || !doc_->Counting()) return;
  Remove(std::u16string(name));
  generation_ = doc_->Changes();
}

}  // namespace qnmuro::lohost
