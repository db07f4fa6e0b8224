// The content of a simulated document: main text, bookmarks, floating pictures, tracked
// revisions and the selection, with the rules by which edits move them and an undo history.
// Plain data and rules only: protection, events and files live elsewhere.
//
// Bookmarks are kept sorted by (start, name) in plain parallel arrays, so that an edit moves
// them with one tight pass and collection position i is simply index i - 1.
#ifndef QNMURO_SIMHOST_SIM_TEXT_H_
#define QNMURO_SIMHOST_SIM_TEXT_H_

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "simhost/gap_text.h"
#include "simhost/sim_host.h"

namespace qnmuro::simhost {

struct BookmarkRec {
  uint64_t id = 0;
  std::u16string name;
  long start = 0, end = 0;
};

struct RevisionRec {
  uint64_t id = 0;
  hostkit::RevisionInfo::Kind kind = hostkit::RevisionInfo::Kind::kInsert;
  long start = 0, end = 0;      // a delete revision has start == end, where the text was
  std::u16string deleted_text;  // delete revisions only
  std::u16string author;
  TimePoint time;
};

struct ShapeRec {
  uint64_t id = 0;
  std::u16string name;
  long anchor = 0;  // the character the picture belongs to; its page is the picture's page
  float left = 0, top = 0, width = 0, height = 0;  // points from that page's origin
  bool visible = true;
  bool behind_text = false;
  long z = 0;
  std::shared_ptr<const std::vector<uint8_t>> image;
};

// A piece of content on its way through the clipboard or from a file: positions are relative
// to the start of `text`.
struct Fragment {
  std::u16string text;
  std::vector<BookmarkRec> bookmarks;
  std::vector<ShapeRec> shapes;
};

// Whether an edit is tracked, and as whose.
struct TrackInfo {
  bool on = false;
  std::u16string author;
  TimePoint time;
};

class TextStore final {
 public:
  // How an edit treats bookmarks that touch it. kTyping: the selection's rules (text at a
  // bookmark's start goes before it, at its end outside it). kReplaceRange: Range::SetText,
  // which keeps enclosing bookmarks, and the range's own bookmark, around the new text.
  enum class Mode { kTyping, kReplaceRange };

  TextStore() = default;

  // Replaces everything; the undo history is cleared.
  void Load(std::u16string_view text, std::vector<BookmarkRec> bookmarks,
            std::vector<ShapeRec> shapes, std::vector<RevisionRec> revisions);

  long Length() const { return text_.Size(); }
  std::u16string Text() const { return text_.All(); }
  std::u16string Slice(long start, long end) const { return text_.Slice(start, end); }

  // Replaces [start, end) (clamped) by `text` as one undoable step. `origin` is the id of the
  // bookmark a kReplaceRange range came from (0: none).
  void Replace(long start, long end, std::u16string_view text, Mode mode, uint64_t origin,
               const TrackInfo& track);
  // Replaces [start, end) by a fragment's text and adds its bookmarks (replacing same-named
  // ones) and pictures, as one undoable step. Returns the fragment's length.
  long InsertFragment(long start, long end, const Fragment& fragment, const TrackInfo& track);
  // The text of [start, end) with the bookmarks wholly inside it and the pictures anchored in it.
  Fragment Copy(long start, long end) const;

  // Bookmarks, by 0-based index in (start, name) order.
  long BookmarkCount() const { return static_cast<long>(ids_.size()); }
  long FindBookmark(std::u16string_view name) const;  // -1 when absent
  long IndexOfId(uint64_t id, long hint) const;       // -1 when absent
  BookmarkRec BookmarkAt(long index) const;
  uint64_t BookmarkId(long index) const { return ids_[index]; }
  long BookmarkStart(long index) const { return starts_[index] + Pending(index); }
  long BookmarkEnd(long index) const { return ends_[index] + Pending(index); }
  const std::u16string& BookmarkName(long index) const { return names_[index]; }
  // Adds a bookmark, or moves the one of that name; undoable. Returns its id.
  uint64_t AddBookmark(std::u16string_view name, long start, long end);
  // Removes a bookmark, not its text; undoable.
  void DeleteBookmark(long index);
  // Sets a bookmark's span (clamped; end not before start). Not an undo step of its own.
  void MoveBookmark(long index, long start, long end);

  // Pictures in collection order.
  const std::vector<ShapeRec>& Shapes() const { return shapes_; }
  long IndexOfShape(uint64_t id) const;  // -1 when absent
  uint64_t AddShape(ShapeRec shape);     // undoable; assigns id and z
  void DeleteShape(long index);          // undoable
  ShapeRec& MutableShape(long index) { return shapes_[index]; }

  const std::vector<RevisionRec>& Revisions() const { return revisions_; }
  void AcceptAllRevisions();  // undoable

  long SelectionStart() const { return sel_start_; }
  long SelectionEnd() const { return sel_end_; }
  void SetSelection(long start, long end);

  // Undoes the last step; false when there is none. A step puts back what it changed: the
  // text, the bookmarks, pictures and revisions it added, removed or reshaped; everything else
  // shifts back by the edit's length (so a span set outside any step keeps its setting).
  bool Undo();
  long UndoDepth() const { return static_cast<long>(undo_.size()); }
  // The memory the undo history holds, about. The oldest steps go once it holds more than the
  // budget; the newest step always stays.
  static constexpr size_t kDefaultUndoBudget = size_t{128} << 20;
  size_t UndoBytes() const { return undo_bytes_; }
  void SetUndoBudget(size_t bytes) { undo_budget_ = bytes; }

  // Set by every edit and undo.
  bool Changed() const { return changed_; }
  void ClearChanged() { changed_ = false; }

 private:
  // Only what a step changed: a document-wide copy per step would make a long editing
  // session (a data merge of thousands of bookmarks) grow quadratically.
  struct UndoStep {
    bool has_text = false;
    long start = 0, new_len = 0;
    std::u16string old_text;
    std::vector<BookmarkRec> touched;  // as they were, where the shift back would miss them
    std::vector<uint64_t> added;       // bookmarks the step created
    std::vector<std::pair<long, ShapeRec>> removed_shapes;  // with their index before the step
    long added_shapes = 0;                                  // the step's, at the end of shapes_
    // revisions_[rev_at, rev_at + rev_new) replaced old_revisions; the rest after it shifted.
    long rev_at = 0, rev_new = 0;
    std::vector<RevisionRec> old_revisions;
    long sel_start = 0, sel_end = 0;
    size_t bytes = 0;
    size_t Bytes() const;
  };

  UndoStep BeginStep() const;
  void Push(UndoStep step);
  void ReplaceIn(UndoStep& step, long start, long end, std::u16string_view text, Mode mode,
                 uint64_t origin, const TrackInfo& track);
  void MoveBookmarks(UndoStep& step, long a, long b, long len, Mode mode, uint64_t origin);
  void MoveRevisions(UndoStep& step, long a, long b, long len, std::u16string_view old_text,
                     const TrackInfo& track);
  // The revisions an edit of [a, b) leaves alone: p at the front, q at the back.
  void RevisionWindow(long a, long b, long& p, long& q) const;
  void MoveShapes(UndoStep& step, long a, long b, long len, long old_length);
  void UndoRevisions(UndoStep& step, long delta);
  void UndoShapes(UndoStep& step, long delta);
  void UndoBookmarks(UndoStep& step);
  void RemoveBookmarkAt(long index);
  // The shift still owed to the stored span of the bookmark at `index` (see pending_from_).
  long Pending(long index) const { return index >= pending_from_ ? pending_delta_ : 0; }
  // Pays every shift owed: the stored spans are the true ones.
  void Settle();
  void InsertSorted(uint64_t id, std::u16string name, long start, long end);
  void SortBookmarks();
  void SortBookmarks(long lo, long hi);  // [lo, hi) only, when out of order
  long Clamp(long position) const;

  GapText text_;
  std::vector<long> starts_, ends_;
  // The bookmarks after an edit shift as a block; the shift is owed rather than paid at once,
  // so that edits going through the text front to back (a merge) cost what they touch, not
  // every bookmark after them: the spans from index pending_from_ on are pending_delta_ short.
  long pending_from_ = 0;
  long pending_delta_ = 0;
  // reach_[i]: the furthest end of the bookmarks 0..i, known below reach_known_; an edit asks
  // which bookmarks before it reach into it, and in a merge almost none do.
  std::vector<long> reach_;
  long reach_known_ = 0;
  void Unreach(long from) { reach_known_ = std::min(reach_known_, from); }
  // The first of the bookmarks before index `lo` whose end may lie after `a`.
  long FirstReaching(long lo, long a);
  std::vector<uint64_t> ids_;
  std::vector<std::u16string> names_;
  std::vector<ShapeRec> shapes_;
  std::vector<RevisionRec> revisions_;
  long sel_start_ = 0, sel_end_ = 0;
  std::deque<UndoStep> undo_;
  size_t undo_bytes_ = 0;
  size_t undo_budget_ = kDefaultUndoBudget;
  bool revisions_sorted_ = true;  // in (start, deletion first) order, as edits keep them
  uint64_t next_id_ = 1;
  bool changed_ = false;
};

}  // namespace qnmuro::simhost

#endif  // QNMURO_SIMHOST_SIM_TEXT_H_
