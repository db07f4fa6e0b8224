#include "common/cipher.h"

#include <gtest/gtest.h>

#include "base/error.h"
#include "base/text.h"
#include "common/context.h"
#include "common/shared_state.h"
#include "common/velto_log.h"
#include "platform/clock.h"
#include "support/event_log.h"
#include "support/temp_dir.h"

namespace qnmuro {
namespace {

TEST(CipherTest, DigestIsUpperCaseHexMd5) {
  EXPECT_EQ(DigestHex(kCipherPassPhrase), u"183C39E9F45A0EC40B05ADAB5A3A9E7B");
  EXPECT_EQ(DigestHex(u""), u"D41D8CD98F00B204E9800998ECF8427E");
  EXPECT_EQ(DigestHex(u"abc"), u"900150983CD24FB0D6963F7D28E17F72");
}

TEST(CipherTest, DigestTakesAsManyAnsiBytesAsTheTextHasCharacters) {
  // "公a" is three GBK bytes but two characters: only B9 AB are hashed; "公" only B9.
  EXPECT_EQ(DigestHex(u"公a"), u"7827B52F65D9F7777D37071CBBBF7F2D");
  EXPECT_EQ(DigestHex(u"公"), u"F361E25776077789E0DB8CA985BF36C5");
}

TEST(CipherTest, EnciphersKnownPasswords) {
  const Context ctx;
  EXPECT_EQ(EncryptString(ctx, u"abc"), u"505A50");
  EXPECT_EQ(EncryptString(ctx, u"secret123"), u"425D5031564D740B75");
  EXPECT_EQ(EncryptString(ctx, u""), u"");
}

TEST(CipherTest, ResultsBelowSixteenKeepTheirLeadingZero) {
  const Context ctx;
  EXPECT_EQ(EncryptString(ctx, u"1"), u"00");  // "1" XOR key "1"
  EXPECT_EQ(EncryptString(ctx, u"0"), u"01");
  EXPECT_EQ(EncryptString(ctx, u"\t"), u"38");
}

TEST(CipherTest, TextLongerThanTheKeyReusesItFromPosition33) {
  const Context ctx;
  std::u16string text;
  for (int i = 0; i < 40; ++i) text += static_cast<char16_t>(u'A' + i % 26);
  const std::u16string hex = EncryptString(ctx, text);
  ASSERT_EQ(hex.size(), 80u);
  for (int i = 32; i < 40; ++i) {
    const unsigned c = text[static_cast<size_t>(i)];
    const unsigned k = DigestHex(kCipherPassPhrase)[static_cast<size_t>(i - 32)];
    EXPECT_EQ(std::stoul(U8(hex.substr(static_cast<size_t>(2 * i), 2)), nullptr, 16), c ^ k) << i;
  }
  // Same character at positions 1 and 33: same digits.
  const std::u16string a = EncryptString(ctx, std::u16string(40, u'a'));
  EXPECT_EQ(a.substr(64, 16), a.substr(0, 16));
  EXPECT_EQ(DecryptString(hex), text);
}

TEST(CipherTest, DecipheringInvertsEnciphering) {
  const Context ctx;
  for (const char16_t* text : {u"abc", u"secret123", u"P@ss w0rd!~", u"x", u"\x7F\x01"}) {
    EXPECT_EQ(DecryptString(EncryptString(ctx, text)), text);
  }
  EXPECT_EQ(DecryptString(u"505a50"), u"abc");  // lower-case digits read too
}

TEST(CipherTest, OddLengthReadsTheLastDigitAlone) {
  // "5" XOR key "3" (0x33) = 0x36 "6".
  EXPECT_EQ(DecryptString(u"505A5"), u"ab6");
}

TEST(CipherTest, NonHexPairIsSkippedButUsesItsKeyPosition) {
  EXPECT_EQ(DecryptString(u"50GG50"), u"ac");
  EXPECT_EQ(DecryptString(u"505Z50"), u"ac");
  EXPECT_EQ(DecryptString(u"ZZ"), u"");
  EXPECT_EQ(DecryptString(u""), u"");
}

TEST(CipherTest, DoubleByteCharacterGivesFourDigitsAndDoesNotSurvive) {
  const Context ctx;
  const std::u16string hex = EncryptString(ctx, u"公a");
  EXPECT_EQ(hex, u"B99A59");  // B9AB XOR "1", then "a" XOR "8"
  EXPECT_NE(DecryptString(hex), u"公a");
  EXPECT_EQ(EncryptString(ctx, u"\u0E01"), u"0E");  // unmappable: "?" XOR "1"
}

class CipherFailureTest : public ::testing::Test {
 protected:
  CipherFailureTest() : clock_(NewVirtualClock(FromLocalTime(LocalTime{2026, 1, 2, 3, 4, 5}))) {
    state_.eventLog = std::make_unique<VeltoLog>(dir_.path().u16string(), clock_.get(),
                                                 &state_.records.commonInfo.clientLog);
    ctx_.state = &state_;
  }
  std::u16string Log() { return test_util::ReadEventLog(dir_.path()); }

  test_util::TempDir dir_;
  std::unique_ptr<VirtualClock> clock_;
  SharedState state_;
  Context ctx_;
};

TEST_F(CipherFailureTest, EncryptWithoutKeyLogsAndReturnsItsInput) {
  SetLastSystemError(0);
  EXPECT_EQ(internal::EncryptStringWithKey(ctx_, u"abc", u""), u"abc");
  EXPECT_NE(Log().find(u"#1： EncryptString 错误：Division by zero(11:0) Err.Source=QNMuroWPS "
                       u"Err.Number=11\r\n"),
            std::u16string::npos)
      << U8(Log());
}

TEST_F(CipherFailureTest, EmptyTextNeedsNoKey) {
  EXPECT_EQ(internal::EncryptStringWithKey(ctx_, u"", u""), u"");
  EXPECT_EQ(Log().find(u"EncryptString"), std::u16string::npos);
}

TEST_F(CipherFailureTest, DecryptWithoutKeyIsEmptyAndSilent) {
  EXPECT_EQ(internal::DecryptStringWithKey(u"505A50", u""), u"");
  EXPECT_EQ(Log().find(u"#1"), std::u16string::npos);
}

TEST_F(CipherFailureTest, AnyKeyWorksBothWays) {
  const std::u16string hex = internal::EncryptStringWithKey(ctx_, u"hello", u"K");
  EXPECT_EQ(hex, u"232E272724");
  EXPECT_EQ(internal::DecryptStringWithKey(hex, u"K"), u"hello");
}

}  // namespace
}  // namespace qnmuro
