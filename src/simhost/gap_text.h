// The main text of a simulated document: UTF-16 code units in a gap buffer, so that a run of
// edits moving through the text (a data merge filling bookmark after bookmark) costs about the
// size of each edit instead of the size of the document.
#ifndef QNMURO_SIMHOST_GAP_TEXT_H_
#define QNMURO_SIMHOST_GAP_TEXT_H_

#include <string>
#include <string_view>
#include <vector>

namespace qnmuro::simhost {

class GapText final {
 public:
  long Size() const { return static_cast<long>(buf_.size() - (gap_end_ - gap_start_)); }
  void Assign(std::u16string_view text);
  // Replaces [start, end) by `text`; the caller passes 0 <= start <= end <= Size().
  void Replace(long start, long end, std::u16string_view text);
  // The code units of [start, end), clamped to the text.
  std::u16string Slice(long start, long end) const;
  std::u16string All() const { return Slice(0, Size()); }

 private:
  void MoveGap(size_t position);
  void EnsureGap(size_t needed);

  std::vector<char16_t> buf_;
  size_t gap_start_ = 0;
  size_t gap_end_ = 0;
};

}  // namespace qnmuro::simhost

#endif  // QNMURO_SIMHOST_GAP_TEXT_H_
