#include "simhost/sim_layout.h"

#include <algorithm>
#include <cmath>

namespace qnmuro::simhost {
namespace {

// Walks the text line by line; `visit(line_start, global_line)` returns false to stop.
template <class Visit>
void ForEachLine(std::u16string_view text, Visit visit) {
  long n = static_cast<long>(text.size());
  long line = 0, pos = 0;
  while (true) {
    if (!visit(pos, line)) return;
    long column = 0;
    while (pos < n && text[pos] != u'\r' && column < kCharsPerLine) {
      ++pos;
      ++column;
    }
    if (pos >= n) return;
    if (text[pos] == u'\r') ++pos;
    ++line;
  }
}

}  // namespace

TextPlace Locate(std::u16string_view text, long position) {
  position = std::clamp(position, 0L, static_cast<long>(text.size()));
  long found_start = 0, found_line = 0;
  ForEachLine(text, [&](long start, long line) {
    if (start > position) return false;
    found_start = start;
    found_line = line;
    return true;
  });
  TextPlace p;
  p.page = found_line / kLinesPerPage + 1;
  p.line = found_line % kLinesPerPage;
  p.column = std::min(position - found_start, kCharsPerLine);
  return p;
}

long PageOf(std::u16string_view text, long position) {
  return Locate(text, position).page;
}

long PageStart(std::u16string_view text, long page) {
  long wanted = (std::max(page, 1L) - 1) * kLinesPerPage;
  long result = static_cast<long>(text.size());
  ForEachLine(text, [&](long start, long line) {
    if (line < wanted) return true;
    result = start;
    return false;
  });
  return result;
}

host::PagePoint PageOriginOf(long page) {
  return {0, static_cast<float>(std::max(page, 1L) - 1) * (kPageHeight + kPageGap)};
}

host::DocumentRect SpanRect(std::u16string_view text, long start, long end) {
  TextPlace a = Locate(text, start), b = Locate(text, std::max(start, end));
  host::PagePoint origin = PageOriginOf(a.page);
  host::DocumentRect r;
  r.left = origin.left + kMarginLeft + a.column * kCharWidth;
  r.top = origin.top + kMarginTop + a.line * kLineHeight;
  long columns =
      (b.page == a.page && b.line == a.line) ? b.column - a.column : kCharsPerLine - a.column;
  r.width = columns * kCharWidth;
  r.height = kLineHeight;
  return r;
}

}  // namespace qnmuro::simhost
