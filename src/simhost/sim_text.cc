#include "simhost/sim_text.h"

#include <algorithm>
#include <numeric>
#include <unordered_map>

namespace qnmuro::simhost {
namespace {

// Enough for any editing session; older steps are forgotten, as hosts do.
constexpr size_t kMaxUndoSteps = 100000;

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
  sel_start_ = sel_end_ = 0;
  undo_.clear();
  changed_ = false;
}

void TextStore::SortBookmarks() {
  std::vector<size_t> order(ids_.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [this](size_t x, size_t y) {
    if (starts_[x] != starts_[y]) return starts_[x] < starts_[y];
    return names_[x] < names_[y];
  });
  std::vector<long> s(order.size()), e(order.size());
  std::vector<uint64_t> ids(order.size());
  std::vector<std::u16string> names(order.size());
  for (size_t i = 0; i < order.size(); ++i) {
    s[i] = starts_[order[i]];
    e[i] = ends_[order[i]];
    ids[i] = ids_[order[i]];
    names[i] = std::move(names_[order[i]]);
  }
  starts_ = std::move(s);
  ends_ = std::move(e);
  ids_ = std::move(ids);
  names_ = std::move(names);
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
  return BookmarkRec{ids_[index], names_[index], starts_[index], ends_[index]};
}

void TextStore::RemoveBookmarkAt(long index) {
  starts_.erase(starts_.begin() + index);
  ends_.erase(ends_.begin() + index);
  ids_.erase(ids_.begin() + index);
  names_.erase(names_.begin() + index);
}

void TextStore::InsertSorted(uint64_t id, std::u16string name, long start, long end) {
  long i =
      static_cast<long>(std::lower_bound(starts_.begin(), starts_.end(), start) - starts_.begin());
  while (i < BookmarkCount() && starts_[i] == start && names_[i] < name) ++i;
  starts_.insert(starts_.begin() + i, start);
  ends_.insert(ends_.begin() + i, end);
  ids_.insert(ids_.begin() + i, id);
  names_.insert(names_.begin() + i, std::move(name));
}

TextStore::UndoStep TextStore::BeginStep() const {
  UndoStep step;
  step.shapes = shapes_;
  step.revisions = revisions_;
  step.sel_start = sel_start_;
  step.sel_end = sel_end_;
  return step;
}

void TextStore::Push(UndoStep step) {
  undo_.push_back(std::move(step));
  if (undo_.size() > kMaxUndoSteps) undo_.pop_front();
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
  MoveShapes(a, b, len, old_length);
  MoveRevisions(a, b, len, step.old_text, track);
  long delta = len - (b - a);
  auto point = [&](long x) { return x <= a ? x : (x >= b ? x + delta : a); };
  sel_start_ = point(sel_start_);
  sel_end_ = point(sel_end_);
}

void TextStore::MoveBookmarks(UndoStep& step, long a, long b, long len, Mode mode,
                              uint64_t origin) {
  const long n = BookmarkCount();
  const long d = b - a, delta = len - d, zone_end = a + len;
  const long lo =
      static_cast<long>(std::lower_bound(starts_.begin(), starts_.end(), a) - starts_.begin());
  const long hi =
      static_cast<long>(std::upper_bound(starts_.begin(), starts_.end(), b) - starts_.begin());
  long* s = starts_.data();
  long* e = ends_.data();
  // Bookmarks starting before the edit: only an end inside or after it moves.
  for (long i = 0; i < lo; ++i) {
    if (e[i] <= a) continue;
    long old_end = e[i];
    if (e[i] > b || (e[i] == b && mode == Mode::kReplaceRange && d > 0)) {
      e[i] += delta;
    } else {
      e[i] = a;
    }
    if (e[i] >= a && e[i] <= zone_end) step.touched.push_back({ids_[i], names_[i], s[i], old_end});
  }
  // Bookmarks starting inside the edited span (or at its edges).
  std::vector<long> doomed;
  for (long i = lo; i < hi; ++i) {
    step.touched.push_back({ids_[i], names_[i], s[i], e[i]});
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
  }
  // Bookmarks after the edit shift as a block.
  for (long i = hi; i < n; ++i) {
    s[i] += delta;
    e[i] += delta;
  }
  for (auto it = doomed.rbegin(); it != doomed.rend(); ++it) RemoveBookmarkAt(*it);
  // Only the bookmarks that started in the span can be out of order now.
  long zone_hi = hi - static_cast<long>(doomed.size());
  if (zone_hi - lo > 1) SortBookmarks();
}

void TextStore::MoveShapes(long a, long b, long len, long old_length) {
  long delta = len - (b - a);
  std::erase_if(shapes_, [&](const ShapeRec& s) {
    return b > a && s.anchor >= a && (s.anchor < b || b == old_length);
  });
  for (auto& s : shapes_) {
    if (b > a ? s.anchor >= b : s.anchor >= a) s.anchor += delta;
  }
}

void TextStore::MoveRevisions(long a, long b, long len, std::u16string_view old_text,
                              const TrackInfo& track) {
  std::vector<RevisionRec> next;
  next.reserve(revisions_.size() * 2 + 3);  // `grown` points into it
  RevisionRec* grown = nullptr;
  for (auto& r : revisions_) {
    if (r.kind == RevisionInfo::Kind::kDelete) {
      long p = AfterDelete(r.start, a, b);
      if (p > a) p += len;
      r.start = r.end = p;
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
    del.kind = RevisionInfo::Kind::kDelete;
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
      ins.kind = RevisionInfo::Kind::kInsert;
      ins.start = a;
      ins.end = a + len;
      ins.author = track.author;
      ins.time = track.time;
      next.push_back(std::move(ins));
    }
  }
  // At one position a deletion comes first: the old text stood before the new.
  std::stable_sort(next.begin(), next.end(), [](const RevisionRec& x, const RevisionRec& y) {
    if (x.start != y.start) return x.start < y.start;
    return x.kind == RevisionInfo::Kind::kDelete && y.kind == RevisionInfo::Kind::kInsert;
  });
  revisions_ = std::move(next);
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
  }
  Push(std::move(step));
  return len;
}

Fragment TextStore::Copy(long start, long end) const {
  long a = Clamp(start), b = std::max(a, Clamp(end));
  Fragment f;
  f.text = text_.Slice(a, b);
  for (long i = 0; i < BookmarkCount(); ++i) {
    if (starts_[i] >= a && ends_[i] <= b)
      f.bookmarks.push_back({0, names_[i], starts_[i] - a, ends_[i] - a});
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
  if (s == starts_[index]) {
    ends_[index] = e;
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
  Push(std::move(step));
  return shapes_.back().id;
}

void TextStore::DeleteShape(long index) {
  UndoStep step = BeginStep();
  shapes_.erase(shapes_.begin() + index);
  Push(std::move(step));
}

void TextStore::AcceptAllRevisions() {
  if (revisions_.empty()) return;
  UndoStep step = BeginStep();
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
  if (step.has_text) {
    long a = step.start, zone_end = a + step.new_len;
    long delta = step.new_len - static_cast<long>(step.old_text.size());
    text_.Replace(a, std::min(zone_end, Length()), step.old_text);
    auto back = [&](long x) { return x < a ? x : (x > zone_end ? x - delta : a); };
    for (long i = 0; i < BookmarkCount(); ++i) {
      starts_[i] = back(starts_[i]);
      ends_[i] = back(ends_[i]);
    }
  }
  for (uint64_t id : step.added) {
    long i = IndexOfId(id, -1);
    if (i >= 0) RemoveBookmarkAt(i);
  }
  for (auto& t : step.touched) {
    long i = IndexOfId(t.id, -1);
    if (i >= 0) RemoveBookmarkAt(i);
    long other = FindBookmark(t.name);
    if (other >= 0) RemoveBookmarkAt(other);
    starts_.push_back(t.start);
    ends_.push_back(t.end);
    ids_.push_back(t.id);
    names_.push_back(std::move(t.name));
  }
  for (long i = 0; i < BookmarkCount(); ++i) {
    starts_[i] = Clamp(starts_[i]);
    ends_[i] = std::max(starts_[i], Clamp(ends_[i]));
  }
  SortBookmarks();
  shapes_ = std::move(step.shapes);
  revisions_ = std::move(step.revisions);
  sel_start_ = Clamp(step.sel_start);
  sel_end_ = std::max(sel_start_, Clamp(step.sel_end));
  changed_ = true;
  return true;
}

}  // namespace qnmuro::simhost
