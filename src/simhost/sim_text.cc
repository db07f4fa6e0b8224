#include "simhost/sim_text.h"

#include <algorithm>
#include <iterator>
#include <numeric>
#include <unordered_map>
#include <unordered_set>

namespace qnmuro::simhost {
namespace {

// Enough for any editing session; older steps are forgotten, as hosts do.
constexpr size_t kMaxUndoSteps = 100000;

// At one position a deletion comes first: the old text stood before the new.
bool RevisionBefore(const RevisionRec& x, const RevisionRec& y) {
  if (x.start != y.start) return x.start < y.start;
  return x.kind == hostkit::RevisionInfo::Kind::kDelete &&
         y.kind == hostkit::RevisionInfo::Kind::kInsert;
}

size_t HeapBytes(const std::u16string& s) {
  return s.capacity() * sizeof(char16_t);
}

// Where a position ends up when [a, b) is deleted.
long AfterDelete(long x, long a, long b) {
  if (x <= a) return x;
  if (x >= b) return x - (b - a);
  return a;
}

}  // namespace

long TextStore::Clamp(long position) const {
  return std::clamp(position, 0L, Length());
}

void TextStore::Load(std::u16string_view text, std::vector<BookmarkRec> bookmarks,
                     std::vector<ShapeRec> shapes, std::vector<RevisionRec> revisions) {
  text_.Assign(text);
  pending_from_ = pending_delta_ = 0;
  reach_known_ = 0;
  starts_.clear();
  ends_.clear();
  ids_.clear();
  names_.clear();
  // A name given twice keeps its last span, as adding it again would.
  std::vector<bool> keep(bookmarks.size());
  {
    std::unordered_map<std::u16string_view, size_t> last;
    for (size_t i = 0; i < bookmarks.size(); ++i) last[bookmarks[i].name] = i;
    for (auto& [name, i] : last) keep[i] = true;
  }
  for (size_t i = 0; i < bookmarks.size(); ++i) {
    auto& b = bookmarks[i];
    if (!keep[i]) continue;
    long s = Clamp(b.start), e = std::max(s, Clamp(b.end));
    starts_.push_back(s);
    ends_.push_back(e);
    ids_.push_back(next_id_++);
    names_.push_back(std::move(b.name));
  }
  SortBookmarks();
  shapes_ = std::move(shapes);
  for (auto& s : shapes_) {
    s.id = next_id_++;
    s.anchor = Clamp(s.anchor);
  }
  revisions_ = std::move(revisions);
  for (auto& r : revisions_) r.id = next_id_++;
  revisions_sorted_ = std::is_sorted(revisions_.begin(), revisions_.end(), RevisionBefore);
  sel_start_ = sel_end_ = 0;
  undo_.clear();
  undo_bytes_ = 0;
  changed_ = false;
}

void TextStore::SortBookmarks() {
  Settle();
  SortBookmarks(0, BookmarkCount());
}

long TextStore::FirstReaching(long lo, long a) {
  if (static_cast<long>(reach_.size()) < BookmarkCount()) reach_.resize(BookmarkCount());
  for (long i = reach_known_; i < lo; ++i) {
    reach_[i] = i == 0 ? BookmarkEnd(0) : std::max(reach_[i - 1], BookmarkEnd(i));
  }
  reach_known_ = std::max(reach_known_, lo);
  // The reach only grows: those before the first that passes `a` end before it.
  return static_cast<long>(std::upper_bound(reach_.begin(), reach_.begin() + lo, a) -
                           reach_.begin());
}

void TextStore::Settle() {
  if (pending_delta_ != 0) {
    for (long i = pending_from_; i < BookmarkCount(); ++i) {
      starts_[i] += pending_delta_;
      ends_[i] += pending_delta_;
    }
  }
  pending_from_ = BookmarkCount();
  pending_delta_ = 0;
}

void TextStore::SortBookmarks(long lo, long hi) {
  Unreach(lo);
  auto before = [this](size_t x, size_t y) {
    if (starts_[x] != starts_[y]) return starts_[x] < starts_[y];
    return names_[x] < names_[y];
  };
  long i = lo + 1;
  while (i < hi && !before(i, i - 1)) ++i;
  if (i >= hi) return;  // already in order, as after most edits
  std::vector<size_t> order(hi - lo);
  std::iota(order.begin(), order.end(), lo);
  std::stable_sort(order.begin(), order.end(), before);
  std::vector<long> s(order.size()), e(order.size());
  std::vector<uint64_t> ids(order.size());
  std::vector<std::u16string> names(order.size());
  for (size_t k = 0; k < order.size(); ++k) {
    s[k] = starts_[order[k]];
    e[k] = ends_[order[k]];
    ids[k] = ids_[order[k]];
    names[k] = std::move(names_[order[k]]);
  }
  std::move(s.begin(), s.end(), starts_.begin() + lo);
  std::move(e.begin(), e.end(), ends_.begin() + lo);
  std::move(ids.begin(), ids.end(), ids_.begin() + lo);
  std::move(names.begin(), names.end(), names_.begin() + lo);
}

long TextStore::FindBookmark(std::u16string_view name) const {
  for (size_t i = 0; i < names_.size(); ++i)
    if (names_[i] == name) return static_cast<long>(i);
  return -1;
}

long TextStore::IndexOfId(uint64_t id, long hint) const {
  if (hint >= 0 && hint < BookmarkCount() && ids_[hint] == id) return hint;
  auto it = std::find(ids_.begin(), ids_.end(), id);
  return it == ids_.end() ? -1 : static_cast<long>(it - ids_.begin());
}

BookmarkRec TextStore::BookmarkAt(long index) const {
  return BookmarkRec{ids_[index], names_[index], BookmarkStart(index), BookmarkEnd(index)};
}

void TextStore::RemoveBookmarkAt(long index) {
  Unreach(index);
  if (index < pending_from_) --pending_from_;
  starts_.erase(starts_.begin() + index);
  ends_.erase(ends_.begin() + index);
  ids_.erase(ids_.begin() + index);
  names_.erase(names_.begin() + index);
}

void TextStore::InsertSorted(uint64_t id, std::u16string name, long start, long end) {
  long low = 0, high = BookmarkCount();
  while (low < high) {
    const long mid = low + (high - low) / 2;
    if (BookmarkStart(mid) < start) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  long i = low;
  while (i < BookmarkCount() && BookmarkStart(i) == start && names_[i] < name) ++i;
  Unreach(i);
  // Stored as short as the block it joins; before the owed block it pushes the block on.
  const long owed = Pending(i);
  if (i < pending_from_) ++pending_from_;
  starts_.insert(starts_.begin() + i, start - owed);
  ends_.insert(ends_.begin() + i, end - owed);
  ids_.insert(ids_.begin() + i, id);
  names_.insert(names_.begin() + i, std::move(name));
}

size_t TextStore::UndoStep::Bytes() const {
  size_t n = sizeof(UndoStep) + HeapBytes(old_text) + added.capacity() * sizeof(uint64_t);
  n += touched.capacity() * sizeof(BookmarkRec);
  for (const auto& t : touched) n += HeapBytes(t.name);
  // A picture's image is shared with the document and its copies, not held by the step.
  n += removed_shapes.capacity() * sizeof(removed_shapes[0]);
  for (const auto& [index, shape] : removed_shapes) n += HeapBytes(shape.name);
  n += old_revisions.capacity() * sizeof(RevisionRec);
  for (const auto& r : old_revisions) n += HeapBytes(r.author) + HeapBytes(r.deleted_text);
  return n;
}

TextStore::UndoStep TextStore::BeginStep() const {
  UndoStep step;
  step.sel_start = sel_start_;
  step.sel_end = sel_end_;
  return step;
}

void TextStore::Push(UndoStep step) {
  step.bytes = step.Bytes();
  undo_bytes_ += step.bytes;
  undo_.push_back(std::move(step));
  while (undo_.size() > 1 && (undo_.size() > kMaxUndoSteps || undo_bytes_ > undo_budget_)) {
    undo_bytes_ -= undo_.front().bytes;
    undo_.pop_front();
  }
  changed_ = true;
}

void TextStore::Replace(long start, long end, std::u16string_view text, Mode mode, uint64_t origin,
                        const TrackInfo& track) {
  UndoStep step = BeginStep();
  ReplaceIn(step, start, end, text, mode, origin, track);
  Push(std::move(step));
}

void TextStore::ReplaceIn(UndoStep& step, long start, long end, std::u16string_view text, Mode mode,
                          uint64_t origin, const TrackInfo& track) {
  long a = Clamp(start), b = std::max(a, Clamp(end));
  long len = static_cast<long>(text.size());
  long old_length = Length();
  step.has_text = true;
  step.start = a;
  step.new_len = len;
  step.old_text = text_.Slice(a, b);
  text_.Replace(a, b, text);
  MoveBookmarks(step, a, b, len, mode, origin);
  MoveShapes(step, a, b, len, old_length);
  MoveRevisions(step, a, b, len, step.old_text, track);
  long delta = len - (b - a);
  auto point = [&](long x) { return x <= a ? x : (x >= b ? x + delta : a); };
  sel_start_ = point(sel_start_);
  sel_end_ = point(sel_end_);
}

void TextStore::MoveBookmarks(UndoStep& step, long a, long b, long len, Mode mode,
                              uint64_t origin) {
  const long n = BookmarkCount();
  const long d = b - a, delta = len - d, zone_end = a + len;
  // The true starts are in order, owed shifts and all.
  auto first = [&](auto&& is_after) {
    long low = 0, high = n;
    while (low < high) {
      const long mid = low + (high - low) / 2;
      if (is_after(starts_[mid] + Pending(mid))) {
        high = mid;
      } else {
        low = mid + 1;
      }
    }
    return low;
  };
  const long lo = first([&](long start) { return start >= a; });
  const long hi = first([&](long start) { return start > b; });
  // Everything below hi is worked on as it truly is.
  if (pending_delta_ != 0 && pending_from_ < hi) {
    for (long i = pending_from_; i < hi; ++i) {
      starts_[i] += pending_delta_;
      ends_[i] += pending_delta_;
    }
    pending_from_ = hi;
  }
  long* s = starts_.data();
  long* e = ends_.data();
  // Undo shifts every position back; the step keeps only the spans that would miss theirs.
  auto back = [&](long x) { return x < a ? x : (x > zone_end ? x - delta : a); };
  // Bookmarks starting before the edit: only an end inside or after it moves. Most end
  // before it: blocks of those are passed over in one test each.
  constexpr long kBlock = 16;
  Unreach(lo);
  for (long i = FirstReaching(lo, a); i < lo; ++i) {
    while (i + kBlock <= lo) {
      bool any = false;
      for (long k = 0; k < kBlock; ++k) any |= e[i + k] > a;
      if (any) break;
      i += kBlock;
    }
    if (i >= lo || e[i] <= a) continue;
    long old_end = e[i];
    Unreach(i);
    if (e[i] > b || (e[i] == b && mode == Mode::kReplaceRange && d > 0)) {
      e[i] += delta;
    } else {
      e[i] = a;
    }
    if (back(e[i]) != old_end) step.touched.push_back({ids_[i], names_[i], s[i], old_end});
  }
  // Bookmarks starting inside the edited span (or at its edges).
  std::vector<long> doomed;
  for (long i = lo; i < hi; ++i) {
    const long old_start = s[i], old_end = e[i];
    bool keeps_text =
        mode == Mode::kReplaceRange && s[i] == a && e[i] >= b && (d > 0 || ids_[i] == origin);
    if (keeps_text) {
      e[i] += delta;
    } else if (d > 0 && s[i] < e[i] && e[i] <= b) {
      doomed.push_back(i);
    } else {
      e[i] = (e[i] >= b ? e[i] - d : a) + len;
      s[i] = zone_end;
    }
    if (!doomed.empty() && doomed.back() == i) {
      step.touched.push_back({ids_[i], names_[i], old_start, old_end});
    } else if (back(s[i]) != old_start || back(e[i]) != old_end) {
      step.touched.push_back({ids_[i], names_[i], old_start, old_end});
    }
  }
  // Bookmarks after the edit shift as a block: owed, joined to what is owed already.
  if (pending_delta_ == 0) {
    pending_from_ = hi;
    pending_delta_ = delta;
  } else {
    // Those between the edit and the owed block (an edit before an earlier one) join it: they
    // are stored as short as the block they now belong to.
    for (long i = hi; i < pending_from_; ++i) {
      s[i] -= pending_delta_;
      e[i] -= pending_delta_;
    }
    pending_from_ = hi;
    pending_delta_ += delta;
  }
  for (auto it = doomed.rbegin(); it != doomed.rend(); ++it) RemoveBookmarkAt(*it);
  // Only the bookmarks that started in the span can be out of order now.
  long zone_hi = hi - static_cast<long>(doomed.size());
  if (zone_hi - lo > 1) SortBookmarks(lo, zone_hi);
}

void TextStore::MoveShapes(UndoStep& step, long a, long b, long len, long old_length) {
  long delta = len - (b - a);
  long kept = 0;
  for (long i = 0; i < static_cast<long>(shapes_.size()); ++i) {
    ShapeRec& s = shapes_[i];
    if (b > a && s.anchor >= a && (s.anchor < b || b == old_length)) {
      step.removed_shapes.emplace_back(i, std::move(s));
      continue;
    }
    if (b > a ? s.anchor >= b : s.anchor >= a) s.anchor += delta;
    if (kept != i) shapes_[kept] = std::move(s);
    ++kept;
  }
  shapes_.resize(kept);
}

void TextStore::RevisionWindow(long a, long b, long& p, long& q) const {
  // Revisions wholly before the edit stay, those wholly after it shift as a block: only the
  // others are worked on and kept by the step. Out of order (as a file may give them) they
  // are all worked on and kept, once.
  const long n = static_cast<long>(revisions_.size());
  p = q = 0;
  if (!revisions_sorted_) return;
  auto solid = [&](const RevisionRec& r) {
    return r.kind == hostkit::RevisionInfo::Kind::kDelete || r.start < r.end || b == a;
  };
  while (p < n && (revisions_[p].kind == hostkit::RevisionInfo::Kind::kDelete
                       ? revisions_[p].start < a
                       : revisions_[p].end < a && solid(revisions_[p])))
    ++p;
  while (q < n - p && revisions_[n - 1 - q].start > b && solid(revisions_[n - 1 - q])) ++q;
}

void TextStore::MoveRevisions(UndoStep& step, long a, long b, long len,
                              std::u16string_view old_text, const TrackInfo& track) {
  const long n = static_cast<long>(revisions_.size());
  long p, q;
  RevisionWindow(a, b, p, q);
  step.rev_at = p;
  step.old_revisions.assign(revisions_.begin() + p, revisions_.end() - q);
  std::vector<RevisionRec> next;
  next.reserve((n - p - q) * 2 + 3);  // `grown` points into it
  RevisionRec* grown = nullptr;
  for (long i = p; i < n - q; ++i) {
    RevisionRec& r = revisions_[i];
    if (r.kind == hostkit::RevisionInfo::Kind::kDelete) {
      long at = AfterDelete(r.start, a, b);
      if (at > a) at += len;
      r.start = r.end = at;
      next.push_back(std::move(r));
      continue;
    }
    long s = AfterDelete(r.start, a, b), e = AfterDelete(r.end, a, b);
    if (s == e && b > a) continue;  // all of its text was deleted
    bool inside = s < a && e > a;
    if (s >= a) s += len;
    if (e > a || (e == a && s > a)) e += len;
    if (inside && track.on && len > 0 && r.author != track.author) {
      // Another author's insertion is split around the new text.
      RevisionRec tail = r;
      tail.start = a + len;
      tail.end = e;
      r.start = s;
      r.end = a;
      next.push_back(std::move(r));
      next.push_back(std::move(tail));
      continue;
    }
    bool merges = inside || (e == a && track.on && r.author == track.author);
    r.start = s;
    r.end = e;
    next.push_back(std::move(r));
    if (merges) grown = &next.back();
  }
  if (track.on && b > a) {
    RevisionRec del;
    del.id = next_id_++;
    del.kind = hostkit::RevisionInfo::Kind::kDelete;
    del.start = del.end = a;
    del.deleted_text = old_text;
    del.author = track.author;
    del.time = track.time;
    next.push_back(std::move(del));
  }
  if (track.on && len > 0) {
    if (grown != nullptr && grown->author == track.author) {
      grown->end = std::max(grown->end, a + len);
    } else {
      RevisionRec ins;
      ins.id = next_id_++;
      ins.kind = hostkit::RevisionInfo::Kind::kInsert;
      ins.start = a;
      ins.end = a + len;
      ins.author = track.author;
      ins.time = track.time;
      next.push_back(std::move(ins));
    }
  }
  std::stable_sort(next.begin(), next.end(), RevisionBefore);
  const long delta = len - (b - a);
  for (long i = n - q; i < n; ++i) {
    revisions_[i].start += delta;
    revisions_[i].end += delta;
  }
  step.rev_new = static_cast<long>(next.size());
  revisions_.erase(revisions_.begin() + p, revisions_.begin() + (n - q));
  revisions_.insert(revisions_.begin() + p, std::make_move_iterator(next.begin()),
                    std::make_move_iterator(next.end()));
  revisions_sorted_ = true;
}

long TextStore::InsertFragment(long start, long end, const Fragment& fragment,
                               const TrackInfo& track) {
  UndoStep step = BeginStep();
  long a = Clamp(start);
  ReplaceIn(step, a, end, fragment.text, Mode::kTyping, 0, track);
  long len = static_cast<long>(fragment.text.size());
  for (const auto& bm : fragment.bookmarks) {
    long existing = FindBookmark(bm.name);
    if (existing >= 0) {
      step.touched.push_back(BookmarkAt(existing));
      RemoveBookmarkAt(existing);
    }
    uint64_t id = next_id_++;
    long s = a + std::clamp(bm.start, 0L, len);
    InsertSorted(id, bm.name, s, std::max(s, a + std::clamp(bm.end, 0L, len)));
    step.added.push_back(id);
  }
  long top = 0;
  for (const auto& s : shapes_) top = std::max(top, s.z + 1);
  for (auto shape : fragment.shapes) {
    shape.id = next_id_++;
    shape.anchor = a + std::clamp(shape.anchor, 0L, len);
    shape.z = top++;
    shapes_.push_back(std::move(shape));
    ++step.added_shapes;
  }
  Push(std::move(step));
  return len;
}

Fragment TextStore::Copy(long start, long end) const {
  long a = Clamp(start), b = std::max(a, Clamp(end));
  Fragment f;
  f.text = text_.Slice(a, b);
  for (long i = 0; i < BookmarkCount(); ++i) {
    const long s = BookmarkStart(i), e = BookmarkEnd(i);
    if (s >= a && e <= b) f.bookmarks.push_back({0, names_[i], s - a, e - a});
  }
  for (const auto& s : shapes_) {
    if (s.anchor >= a && (s.anchor < b || (b == Length() && b > a))) {
      ShapeRec copy = s;
      copy.anchor -= a;
      f.shapes.push_back(std::move(copy));
    }
  }
  return f;
}

uint64_t TextStore::AddBookmark(std::u16string_view name, long start, long end) {
  UndoStep step = BeginStep();
  long s = Clamp(start), e = std::max(s, Clamp(end));
  long existing = FindBookmark(name);
  uint64_t id;
  if (existing >= 0) {
    step.touched.push_back(BookmarkAt(existing));
    id = ids_[existing];
    RemoveBookmarkAt(existing);
  } else {
    id = next_id_++;
    step.added.push_back(id);
  }
  InsertSorted(id, std::u16string(name), s, e);
  Push(std::move(step));
  return id;
}

void TextStore::DeleteBookmark(long index) {
  UndoStep step = BeginStep();
  step.touched.push_back(BookmarkAt(index));
  RemoveBookmarkAt(index);
  Push(std::move(step));
}

void TextStore::MoveBookmark(long index, long start, long end) {
  long s = Clamp(start), e = std::max(s, Clamp(end));
  Unreach(index);
  if (s == BookmarkStart(index)) {
    ends_[index] = e - Pending(index);
    return;
  }
  uint64_t id = ids_[index];
  std::u16string name = std::move(names_[index]);
  RemoveBookmarkAt(index);
  InsertSorted(id, std::move(name), s, e);
}

long TextStore::IndexOfShape(uint64_t id) const {
  for (size_t i = 0; i < shapes_.size(); ++i)
    if (shapes_[i].id == id) return static_cast<long>(i);
  return -1;
}

uint64_t TextStore::AddShape(ShapeRec shape) {
  UndoStep step = BeginStep();
  shape.id = next_id_++;
  shape.anchor = Clamp(shape.anchor);
  long top = 0;
  for (const auto& s : shapes_) top = std::max(top, s.z + 1);
  shape.z = top;
  shapes_.push_back(std::move(shape));
  step.added_shapes = 1;
  Push(std::move(step));
  return shapes_.back().id;
}

void TextStore::DeleteShape(long index) {
  UndoStep step = BeginStep();
  step.removed_shapes.emplace_back(index, std::move(shapes_[index]));
  shapes_.erase(shapes_.begin() + index);
  Push(std::move(step));
}

void TextStore::AcceptAllRevisions() {
  if (revisions_.empty()) return;
  UndoStep step = BeginStep();
  step.old_revisions = std::move(revisions_);
  revisions_.clear();
  Push(std::move(step));
}

void TextStore::SetSelection(long start, long end) {
  sel_start_ = Clamp(start);
  sel_end_ = std::max(sel_start_, Clamp(end));
}

bool TextStore::Undo() {
  if (undo_.empty()) return false;
  UndoStep step = std::move(undo_.back());
  undo_.pop_back();
  undo_bytes_ -= step.bytes;
  long delta = 0;
  if (step.has_text) {
    delta = step.new_len - static_cast<long>(step.old_text.size());
    text_.Replace(step.start, std::min(step.start + step.new_len, Length()), step.old_text);
  }
  UndoBookmarks(step);
  UndoShapes(step, delta);
  UndoRevisions(step, delta);
  sel_start_ = Clamp(step.sel_start);
  sel_end_ = std::max(sel_start_, Clamp(step.sel_end));
  changed_ = true;
  return true;
}

void TextStore::UndoBookmarks(UndoStep& step) {
  Settle();
  Unreach(0);
  if (step.has_text) {
    const long a = step.start, zone_end = a + step.new_len;
    const long delta = step.new_len - static_cast<long>(step.old_text.size());
    auto back = [&](long x) { return x < a ? x : (x > zone_end ? x - delta : a); };
    for (long i = 0; i < BookmarkCount(); ++i) {
      starts_[i] = Clamp(back(starts_[i]));
      ends_[i] = std::max(starts_[i], Clamp(back(ends_[i])));
    }
    // The shift back is monotone: only bookmarks now starting at the edit can be out of order.
    const long lo =
        static_cast<long>(std::lower_bound(starts_.begin(), starts_.end(), a) - starts_.begin());
    const long hi =
        static_cast<long>(std::upper_bound(starts_.begin(), starts_.end(), a) - starts_.begin());
    if (hi - lo > 1) SortBookmarks(lo, hi);
  }
  if (step.added.empty() && step.touched.empty()) return;
  // One pass takes out what the step added and what it changed; the first record of a
  // bookmark is how it was before the step.
  std::unordered_set<uint64_t> gone(step.added.begin(), step.added.end());
  std::unordered_set<std::u16string> names;
  for (const auto& t : step.touched) {
    gone.insert(t.id);
    names.insert(t.name);
  }
  long kept = 0;
  for (long i = 0; i < BookmarkCount(); ++i) {
    if (gone.count(ids_[i]) > 0 || names.count(names_[i]) > 0) continue;
    if (kept != i) {
      starts_[kept] = starts_[i];
      ends_[kept] = ends_[i];
      ids_[kept] = ids_[i];
      names_[kept] = std::move(names_[i]);
    }
    ++kept;
  }
  starts_.resize(kept);
  ends_.resize(kept);
  ids_.resize(kept);
  names_.resize(kept);
  // A few go to their places; many (a whole text deleted) are appended and sorted once.
  const bool many = step.touched.size() > 16;
  std::unordered_set<uint64_t> restored;
  for (auto& t : step.touched) {
    if (!restored.insert(t.id).second) continue;
    long s = Clamp(t.start), e = std::max(s, Clamp(t.end));
    if (!many) {
      InsertSorted(t.id, std::move(t.name), s, e);
      continue;
    }
    starts_.push_back(s);
    ends_.push_back(e);
    ids_.push_back(t.id);
    names_.push_back(std::move(t.name));
  }
  if (many) SortBookmarks();
}

void TextStore::UndoShapes(UndoStep& step, long delta) {
  long added = std::min<long>(step.added_shapes, static_cast<long>(shapes_.size()));
  shapes_.resize(shapes_.size() - added);
  if (step.has_text) {
    for (auto& s : shapes_) {
      if (s.anchor >= step.start + step.new_len) s.anchor -= delta;
    }
  }
  for (auto& [index, shape] : step.removed_shapes) {
    long at = std::min(index, static_cast<long>(shapes_.size()));
    shapes_.insert(shapes_.begin() + at, std::move(shape));
  }
}

void TextStore::UndoRevisions(UndoStep& step, long delta) {
  if (!step.has_text && step.old_revisions.empty()) return;
  const long n = static_cast<long>(revisions_.size());
  const long at = std::min(step.rev_at, n), made = std::min(step.rev_new, n - at);
  for (long i = at + made; i < n; ++i) {
    revisions_[i].start -= delta;
    revisions_[i].end -= delta;
  }
  revisions_.erase(revisions_.begin() + at, revisions_.begin() + at + made);
  revisions_.insert(revisions_.begin() + at, std::make_move_iterator(step.old_revisions.begin()),
                    std::make_move_iterator(step.old_revisions.end()));
  revisions_sorted_ = std::is_sorted(revisions_.begin(), revisions_.end(), RevisionBefore);
}

}  // namespace qnmuro::simhost
