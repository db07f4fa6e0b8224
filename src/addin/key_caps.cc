#include "addin/key_caps.h"

#include <array>
#include <string>

#include "base/text.h"

namespace qnmuro {
namespace {

// Colours as BMP stores them: blue, green, red.
struct Rgb {
  uint8_t r, g, b;
};
constexpr Rgb kFrame{0x40, 0x40, 0x40};
constexpr Rgb kHighlight{0xF4, 0xF4, 0xF4};
constexpr Rgb kShadow{0x80, 0x80, 0x80};
constexpr Rgb kFace{0xC8, 0xC8, 0xC8};
constexpr Rgb kLabel{0x10, 0x10, 0x10};

constexpr int kGlyphWidth = 3;
constexpr int kGlyphHeight = 5;

// Rows top to bottom; bit 2 is the leftmost pixel.
std::optional<std::array<uint8_t, kGlyphHeight>> Glyph(char16_t c) {
  switch (c) {
    case u'F':
      return std::array<uint8_t, 5>{07, 04, 06, 04, 04};
    case u'1':
      return std::array<uint8_t, 5>{02, 06, 02, 02, 07};
    case u'2':
      return std::array<uint8_t, 5>{07, 01, 07, 04, 07};
    case u'3':
      return std::array<uint8_t, 5>{07, 01, 07, 01, 07};
    case u'4':
      return std::array<uint8_t, 5>{05, 05, 07, 01, 01};
    case u'5':
      return std::array<uint8_t, 5>{07, 04, 07, 01, 07};
    case u'6':
      return std::array<uint8_t, 5>{07, 04, 07, 05, 07};
    default:
      return std::nullopt;
  }
}

void PutLe(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

long FaceResourceForPosition(long position) {
  return kFirstFaceResource + position % 6;
}

std::optional<host::Picture> KeyCapFace(long id) {
  if (id < kFirstFaceResource || id > kLastFaceResource) return std::nullopt;
  const long number = id == kFirstFaceResource ? 6 : id - kFirstFaceResource;
  host::Picture face;
  face.label = u"F" + ToText(number);
  face.bmp = KeyCapBitmap(face.label);
  return face;
}

std::vector<uint8_t> KeyCapBitmap(std::u16string_view label) {
  constexpr int n = kKeyCapSize;
  // Top-down image first; the file stores it bottom-up.
  std::array<std::array<Rgb, n>, n> image{};
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      Rgb c = kFace;
      if (x == 0 || y == 0 || x == n - 1 || y == n - 1) {
        c = kFrame;
      } else if (x == 1 || y == 1) {
        c = kHighlight;
      } else if (x == n - 2 || y == n - 2) {
        c = kShadow;
      }
      image[y][x] = c;
    }
  }
  if (label.size() > 3) label = label.substr(0, 3);
  const int count = static_cast<int>(label.size());
  const int width = count * kGlyphWidth + (count > 0 ? count - 1 : 0);
  const int left = (n - width) / 2;
  const int top = (n - kGlyphHeight) / 2;
  for (int k = 0; k < count; ++k) {
    const auto glyph = Glyph(label[k]);
    if (!glyph) continue;
    for (int row = 0; row < kGlyphHeight; ++row) {
      for (int col = 0; col < kGlyphWidth; ++col) {
        if ((*glyph)[row] & (4 >> col))
          image[top + row][left + k * (kGlyphWidth + 1) + col] = kLabel;
      }
    }
  }

  constexpr uint32_t kRowBytes = n * 3;  // 48: already a multiple of 4
  constexpr uint32_t kHeaderBytes = 14 + 40;
  constexpr uint32_t kPixelBytes = kRowBytes * n;
  std::vector<uint8_t> out;
  out.reserve(kHeaderBytes + kPixelBytes);
  out.push_back('B');
  out.push_back('M');
  PutLe(out, kHeaderBytes + kPixelBytes, 4);
  PutLe(out, 0, 4);
  PutLe(out, kHeaderBytes, 4);
  PutLe(out, 40, 4);  // BITMAPINFOHEADER
  PutLe(out, n, 4);
  PutLe(out, n, 4);  // positive height: bottom-up
  PutLe(out, 1, 2);
  PutLe(out, 24, 2);
  PutLe(out, 0, 4);  // no compression
  PutLe(out, kPixelBytes, 4);
  PutLe(out, 2835, 4);  // 72 dpi
  PutLe(out, 2835, 4);
  PutLe(out, 0, 4);
  PutLe(out, 0, 4);
  for (int y = n - 1; y >= 0; --y) {
    for (int x = 0; x < n; ++x) {
      out.push_back(image[y][x].b);
      out.push_back(image[y][x].g);
      out.push_back(image[y][x].r);
    }
  }
  return out;
}

}  // namespace qnmuro
