#include "common/base64.h"

#include <gtest/gtest.h>

#include <random>

#include "base/error.h"

namespace qnmuro {
namespace {

std::vector<uint8_t> Codes(const std::string& s) {
  return std::vector<uint8_t>(s.begin(), s.end());
}

long ErrorOf(const Base64& b64, const std::vector<uint8_t>& codes) {
  try {
    b64.Decode(codes);
  } catch (const Error& e) {
    return e.number();
  }
  return 0;
}

TEST(Base64Test, EncodesWithStandardAlphabetAndPadding) {
  const Base64 b64;
  EXPECT_EQ(b64.Encode(u"abc"), u"YWJj");
  EXPECT_EQ(b64.Encode(u"ab"), u"YWI=");
  EXPECT_EQ(b64.Encode(u"a"), u"YQ==");
  EXPECT_EQ(b64.Encode(u"Hello, World!"), u"SGVsbG8sIFdvcmxkIQ==");
  EXPECT_EQ(b64.Encode(u"?"
                       "?>???"),
            u"Pz8+Pz8/");
}

TEST(Base64Test, EmptyTextEncodesToEmptyText) {
  EXPECT_EQ(Base64().Encode(u""), u"");
}

TEST(Base64Test, OutputLengthFollowsInputLengthModuloThree) {
  const Base64 b64;
  for (size_t n = 1; n <= 30; ++n) {
    const std::u16string out = b64.Encode(std::u16string(n, u'x'));
    ASSERT_EQ(out.size(), (n + 2) / 3 * 4) << n;
    const size_t pads = out.size() - out.find_last_not_of(u'=') - 1;
    EXPECT_EQ(pads, n % 3 == 0 ? 0u : 3 - n % 3) << n;
  }
}

TEST(Base64Test, ChineseTextIsEncodedFromItsGbkBytes) {
  const Base64 b64;
  EXPECT_EQ(b64.Encode(u"公"), u"uas=");  // B9 AB
  EXPECT_EQ(b64.Encode(u"公文.doc"), u"uavOxC5kb2M=");
  EXPECT_EQ(b64.Encode(u"\u0E01"), u"Pw==");  // unmappable: "?"
}

TEST(Base64Test, DecodesWhatItEncoded) {
  const Base64 b64;
  EXPECT_EQ(b64.Decode(Codes("YQ==")), Codes("a"));
  EXPECT_EQ(b64.Decode(Codes("YWI=")), Codes("ab"));
  EXPECT_EQ(b64.Decode(Codes("YWJj")), Codes("abc"));
  EXPECT_EQ(b64.Decode(Codes("uavOxC5kb2M=")), Codes("\xB9\xAB\xCE\xC4.doc"));
  EXPECT_TRUE(b64.Decode({}).empty());
  for (size_t n = 1; n <= 20; ++n) {
    std::string text;
    for (size_t i = 0; i < n; ++i) text += static_cast<char>('!' + i * 5 % 90);
    const std::u16string encoded = b64.Encode(std::u16string(text.begin(), text.end()));
    EXPECT_EQ(b64.Decode(Codes(std::string(encoded.begin(), encoded.end()))), Codes(text)) << n;
  }
}

TEST(Base64Test, DecodingStopsAtTheFirstPaddedQuartet) {
  const Base64 b64;
  // The result keeps the length computed from the whole input; later bytes stay 0.
  EXPECT_EQ(b64.Decode(Codes("YQ==YWJj")), (std::vector<uint8_t>{'a', 0, 0, 0, 0, 0}));
  EXPECT_EQ(b64.Decode(Codes("YWI=YQ==")), (std::vector<uint8_t>{'a', 'b', 0, 0}));
}

TEST(Base64Test, CharactersOutsideTheAlphabetAfterTheFirstAreNotDetected) {
  // "!" looks up as 255: (16 << 2) | ((255 >> 4) & 3) = 67.
  EXPECT_EQ(Base64().Decode(Codes("Q!==")), std::vector<uint8_t>{67});
}

TEST(Base64Test, MalformedInputRaisesTheClassicErrors) {
  const Base64 b64;
  EXPECT_EQ(ErrorOf(b64, {234, 'Q', 'Q', 'Q'}), kErrSubscript);  // beyond the 234 entries
  EXPECT_EQ(ErrorOf(b64, {'Q', 'Q', 'Q', 255}), kErrSubscript);
  EXPECT_EQ(ErrorOf(b64, {233, 'Q', 'Q', 'Q'}), kErrOverflow);  // last entry: 255
  EXPECT_EQ(ErrorOf(b64, Codes("!QQQ")), kErrOverflow);
  EXPECT_EQ(ErrorOf(b64, Codes("=QQQ")), kErrOverflow);    // 64 << 2 = 256
  EXPECT_EQ(ErrorOf(b64, Codes("YWJjY")), kErrSubscript);  // length not a multiple of 4
  EXPECT_EQ(ErrorOf(b64, Codes("YWJjYW")), kErrSubscript);
  EXPECT_EQ(ErrorOf(b64, Codes("=")), kErrSubscript);
  EXPECT_EQ(ErrorOf(b64, Codes("==")), kErrSubscript);
  // 6 codes with "==": the result has 2 bytes, the first quartet writes 3.
  EXPECT_EQ(ErrorOf(b64, Codes("QUJD==")), kErrSubscript);
}

TEST(Base64Test, ArbitraryInputNeverMisbehaves) {
  const Base64 b64;
  std::mt19937 rng(20261207);
  for (int round = 0; round < 5000; ++round) {
    std::vector<uint8_t> codes(rng() % 13);
    for (uint8_t& c : codes)
      c = static_cast<uint8_t>(rng() % 4 == 0 ? rng() : "QUJD=+/a"[rng() % 8]);
    try {
      const std::vector<uint8_t> out = b64.Decode(codes);
      EXPECT_LE(out.size(), codes.size());
    } catch (const Error& e) {
      EXPECT_TRUE(e.number() == kErrSubscript || e.number() == kErrOverflow) << e.number();
    }
  }
}

}  // namespace
}  // namespace qnmuro
