#include "simhost/gap_text.h"

#include <algorithm>

namespace qnmuro::simhost {

void GapText::Assign(std::u16string_view text) {
  buf_.assign(text.begin(), text.end());
  gap_start_ = gap_end_ = buf_.size();
}

void GapText::MoveGap(size_t position) {
  if (position < gap_start_) {
    size_t n = gap_start_ - position;
    std::copy_backward(buf_.begin() + position, buf_.begin() + gap_start_, buf_.begin() + gap_end_);
    gap_start_ -= n;
    gap_end_ -= n;
  } else if (position > gap_start_) {
    size_t n = position - gap_start_;
    std::copy(buf_.begin() + gap_end_, buf_.begin() + gap_end_ + n, buf_.begin() + gap_start_);
    gap_start_ += n;
    gap_end_ += n;
  }
}

void GapText::EnsureGap(size_t needed) {
  size_t gap = gap_end_ - gap_start_;
  if (gap >= needed) return;
  size_t used = buf_.size() - gap;
  size_t new_gap = std::max(needed, used / 2 + 64);
  std::vector<char16_t> grown(used + new_gap);
  std::copy(buf_.begin(), buf_.begin() + gap_start_, grown.begin());
  std::copy(buf_.begin() + gap_end_, buf_.end(), grown.begin() + gap_start_ + new_gap);
  gap_end_ = gap_start_ + new_gap;
  buf_ = std::move(grown);
}

void GapText::Replace(long start, long end, std::u16string_view text) {
  MoveGap(static_cast<size_t>(start));
  gap_end_ += static_cast<size_t>(end - start);
  EnsureGap(text.size());
  std::copy(text.begin(), text.end(), buf_.begin() + gap_start_);
  gap_start_ += text.size();
}

std::u16string GapText::Slice(long start, long end) const {
  start = std::clamp(start, 0L, Size());
  end = std::clamp(end, start, Size());
  std::u16string out;
  out.reserve(static_cast<size_t>(end - start));
  auto s = static_cast<size_t>(start), e = static_cast<size_t>(end);
  if (s < gap_start_) {
    size_t stop = std::min(e, gap_start_);
    out.append(buf_.begin() + s, buf_.begin() + stop);
  }
  if (e > gap_start_) {
    size_t from = std::max(s, gap_start_) + (gap_end_ - gap_start_);
    size_t to = e + (gap_end_ - gap_start_);
    out.append(buf_.begin() + from, buf_.begin() + to);
  }
  return out;
}

}  // namespace qnmuro::simhost
