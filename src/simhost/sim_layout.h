// The page layout of the simulated word processor: fixed A4 pages with fixed margins, 40
// characters a line and 35 lines a page; a paragraph starts a new line and its text wraps every
// 40 characters. Pages are stacked top to bottom with a gap between them; document coordinates
// are points from the top-left corner of the first page. Its window maps them to the screen as
// hostkit/screen_map.h says.
#ifndef QNMURO_SIMHOST_SIM_LAYOUT_H_
#define QNMURO_SIMHOST_SIM_LAYOUT_H_

#include <string_view>

#include "host/host.h"

namespace qnmuro::simhost {

inline constexpr float kPageWidth = 595, kPageHeight = 842, kPageGap = 18;
inline constexpr float kMarginLeft = 72.5f, kMarginTop = 71;
inline constexpr float kCharWidth = 11.25f, kLineHeight = 20;
inline constexpr long kCharsPerLine = 40, kLinesPerPage = 35;

// Where a character position is laid out.
struct TextPlace {
  long page = 1;  // 1-based
  long line = 0;  // line on its page, from 0
  long column = 0;
};

TextPlace Locate(std::u16string_view text, long position);
long PageOf(std::u16string_view text, long position);
// The first position laid out on `page`; the end of the text when the text is shorter.
long PageStart(std::u16string_view text, long page);
host::PagePoint PageOriginOf(long page);
// The span [start, end) in document coordinates: from the start's place to the end's place
// when both are on one line, else to the end of the start's line; one line high.
host::DocumentRect SpanRect(std::u16string_view text, long start, long end);

}  // namespace qnmuro::simhost

#endif  // QNMURO_SIMHOST_SIM_LAYOUT_H_
