// Where a host's window shows the document on the screen, for hosts without a screen of their
// own (the simulated word processor, Writer started headless): the window shows the document
// at 96 pixels per inch (4/3 pixels a point) with its top-left corner at a fixed screen
// position and no scrolling.
#ifndef QNMURO_HOSTKIT_SCREEN_MAP_H_
#define QNMURO_HOSTKIT_SCREEN_MAP_H_

#include "host/host.h"

namespace qnmuro::hostkit {

inline constexpr float kPixelsPerPoint = 4.0f / 3.0f;
inline constexpr long kWindowLeftPx = 100, kWindowTopPx = 120;

host::ScreenRect ToScreen(const host::DocumentRect& rect);
host::DocumentRect FromScreen(const host::ScreenRect& rect);

}  // namespace qnmuro::hostkit

#endif  // QNMURO_HOSTKIT_SCREEN_MAP_H_
