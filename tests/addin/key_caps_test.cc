#include "addin/key_caps.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "base/text.h"

namespace qnmuro {
namespace {

uint32_t Le(const std::vector<uint8_t>& b, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b[at + i];
  return v;
}

// Pixel (x, y) counted from the top-left corner, as red, green, blue.
uint32_t Pixel(const std::vector<uint8_t>& bmp, int x, int y) {
  const size_t row = static_cast<size_t>(kKeyCapSize - 1 - y);  // stored bottom-up
  const size_t at = 54 + row * kKeyCapSize * 3 + static_cast<size_t>(x) * 3;
  return (uint32_t{bmp[at + 2]} << 16) | (uint32_t{bmp[at + 1]} << 8) | bmp[at];
}

bool IsDark(uint32_t rgb) {
  return (rgb & 0xFF) < 0x40 && ((rgb >> 8) & 0xFF) < 0x40;
}

TEST(KeyCapsTest, FacesByResourceId) {
  const struct {
    long id;
    const char16_t* label;
  } cases[] = {{100, u"F6"}, {101, u"F1"}, {102, u"F2"}, {103, u"F3"}, {104, u"F4"}, {105, u"F5"}};
  std::set<std::vector<uint8_t>> distinct;
  for (const auto& c : cases) {
    const auto face = KeyCapFace(c.id);
    ASSERT_TRUE(face.has_value()) << c.id;
    EXPECT_EQ(face->label, c.label);
    distinct.insert(face->bmp);
  }
  EXPECT_EQ(distinct.size(), 6u) << "every face looks different";
  EXPECT_FALSE(KeyCapFace(99).has_value());
  EXPECT_FALSE(KeyCapFace(106).has_value());
}

TEST(KeyCapsTest, PositionsCycleThroughSixFaces) {
  const char16_t* expected[] = {u"F1", u"F2", u"F3", u"F4", u"F5", u"F6", u"F1", u"F2"};
  for (long position = 1; position <= 8; ++position) {
    const auto face = KeyCapFace(FaceResourceForPosition(position));
    ASSERT_TRUE(face.has_value());
    EXPECT_EQ(face->label, expected[position - 1]) << position;
  }
}

TEST(KeyCapsTest, BitmapIsA16By16BottomUp24BitBmp) {
  const std::vector<uint8_t> bmp = KeyCapFace(101)->bmp;
  ASSERT_EQ(bmp.size(), 54u + 16 * 16 * 3);
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(bmp[1], 'M');
  EXPECT_EQ(Le(bmp, 2, 4), bmp.size());
  EXPECT_EQ(Le(bmp, 10, 4), 54u);
  EXPECT_EQ(Le(bmp, 14, 4), 40u);
  EXPECT_EQ(Le(bmp, 18, 4), 16u);
  EXPECT_EQ(Le(bmp, 22, 4), 16u);  // positive: bottom-up
  EXPECT_EQ(Le(bmp, 26, 2), 1u);
  EXPECT_EQ(Le(bmp, 28, 2), 24u);
  EXPECT_EQ(Le(bmp, 30, 4), 0u);
}

TEST(KeyCapsTest, GreyCapWithDarkLabel) {
  const std::vector<uint8_t> bmp = KeyCapBitmap(u"F1");
  // "F1" is 7 pixels wide and 5 high, centred: columns 4-10, rows 5-9.
  // The F's top bar and the 1's foot are dark; the gap between the glyphs is not.
  for (int x = 4; x <= 6; ++x) EXPECT_TRUE(IsDark(Pixel(bmp, x, 5))) << x;
  for (int x = 8; x <= 10; ++x) EXPECT_TRUE(IsDark(Pixel(bmp, x, 9))) << x;
  for (int y = 5; y <= 9; ++y) EXPECT_FALSE(IsDark(Pixel(bmp, 7, y))) << y;
  // Away from the label the cap is grey (equal channels, neither black nor white).
  const uint32_t face = Pixel(bmp, 3, 12);
  EXPECT_EQ(face & 0xFF, (face >> 16) & 0xFF);
  EXPECT_GT(face & 0xFF, 0x80u);
  EXPECT_LT(face & 0xFF, 0xF0u);
  // A label the font cannot draw leaves a plain cap.
  const std::vector<uint8_t> blank = KeyCapBitmap(u"");
  EXPECT_EQ(KeyCapBitmap(u"??"), blank);
  EXPECT_NE(KeyCapBitmap(u"F2"), blank);
}

}  // namespace
}  // namespace qnmuro
