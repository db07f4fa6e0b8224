#include "simhost/image_probe.h"

#include <cstring>

namespace qnmuro::simhost {
namespace {

bool StartsWith(const std::vector<uint8_t>& b, const char* magic, size_t n) {
  return b.size() >= n && std::memcmp(b.data(), magic, n) == 0;
}

uint32_t Be32(const std::vector<uint8_t>& b, size_t at) {
  return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) |
         b[at + 3];
}

uint32_t Le16(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8);
}

int32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<int32_t>(Le16(b, at) | (Le16(b, at + 2) << 16));
}

}  // namespace

ImageKind ProbeImage(const std::vector<uint8_t>& b) {
  ImageKind k;
  if (StartsWith(b, "\x89PNG\r\n\x1a\n", 8)) {
    k.mime = "image/png";
    if (b.size() >= 24) {
      k.width_px = Be32(b, 16);
      k.height_px = Be32(b, 20);
    }
  } else if (StartsWith(b, "BM", 2) && b.size() >= 26) {
    k.mime = "image/bmp";
    k.width_px = Le32(b, 18);
    int32_t h = Le32(b, 22);
    k.height_px = h < 0 ? -static_cast<long>(h) : h;
  } else if (StartsWith(b, "\xff\xd8\xff", 3)) {
    k.mime = "image/jpeg";
  } else if (StartsWith(b, "GIF87a", 6) || StartsWith(b, "GIF89a", 6)) {
    k.mime = "image/gif";
    if (b.size() >= 10) {
      k.width_px = Le16(b, 6);
      k.height_px = Le16(b, 8);
    }
  }
  if (k.width_px < 0 || k.width_px > 100000 || k.height_px < 0 || k.height_px > 100000)
    k.width_px = k.height_px = 0;
  return k;
}

}  // namespace qnmuro::simhost
