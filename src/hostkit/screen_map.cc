#include "hostkit/screen_map.h"

#include <cmath>

namespace qnmuro::hostkit {

host::ScreenRect ToScreen(const host::DocumentRect& rect) {
  host::ScreenRect s;
  s.left = kWindowLeftPx + std::lround(rect.left * kPixelsPerPoint);
  s.top = kWindowTopPx + std::lround(rect.top * kPixelsPerPoint);
  s.width = std::lround(rect.width * kPixelsPerPoint);
  s.height = std::lround(rect.height * kPixelsPerPoint);
  return s;
}

host::DocumentRect FromScreen(const host::ScreenRect& rect) {
  host::DocumentRect d;
  d.left = (rect.left - kWindowLeftPx) / kPixelsPerPoint;
  d.top = (rect.top - kWindowTopPx) / kPixelsPerPoint;
  d.width = rect.width / kPixelsPerPoint;
  d.height = rect.height / kPixelsPerPoint;
  return d;
}

}  // namespace qnmuro::hostkit
