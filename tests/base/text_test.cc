#include "base/text.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace qnmuro {
namespace {

TEST(TextTest, Utf8RoundTripIncludingSurrogatePairs) {
  const std::string utf8 = "abc 公文 \xF0\x9F\x98\x80";
  const std::u16string u = Utf8ToUtf16(utf8);
  EXPECT_EQ(u.size(), 9u);  // the emoji takes two code units
  EXPECT_EQ(Utf16ToUtf8(u), utf8);
}

TEST(TextTest, InvalidUtf8BecomesReplacementWithoutCrashing) {
  EXPECT_EQ(Utf8ToUtf16("a\xFF"
                        "b"),
            u"a\uFFFDb");
  EXPECT_EQ(Utf8ToUtf16("\xE5\x85"), u"\uFFFD");      // truncated sequence
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD");      // overlong
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD");  // encoded surrogate
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, 0xD800)), "\xEF\xBF\xBD");
}

TEST(TextTest, GbkConversionUsesTwoBytesPerChineseCharacter) {
  EXPECT_EQ(ToCodePage(u"公文.doc", "GBK"), "\xB9\xAB\xCE\xC4.doc");
  EXPECT_EQ(FromCodePage("\xB9\xAB\xCE\xC4.doc", "GBK"), u"公文.doc");
}

TEST(TextTest, UnmappableCharactersBecomeQuestionMarks) {
  EXPECT_EQ(ToCodePage(u"a\u0E01b", "GBK"), "a?b");      // Thai is not in GBK
  EXPECT_EQ(ToCodePage(u"x\U0001F600y", "GBK"), "x?y");  // one "?" for the whole pair
  EXPECT_EQ(ToCodePage(std::u16string(1, 0xDC00), "GBK"), "?");
  EXPECT_EQ(ToCodePage(u"é", "ASCII"), "?");
}

TEST(TextTest, InvalidAnsiBytesNeverCrash) {
  EXPECT_EQ(FromCodePage("\xFF", "GBK"), u"\uFFFD");
  EXPECT_EQ(FromCodePage("a\xB9", "GBK"), u"a\uFFFD");  // lead byte at the end
  EXPECT_EQ(FromCodePage("ab", "NO-SUCH-CODEPAGE"), u"ab");
  EXPECT_EQ(ToCodePage(u"ab公", "NO-SUCH-CODEPAGE"), "ab?");
}

// The code page is read once per process, so each case runs in a fresh one.
TEST(TextDeathTest, CodePageComesFromTheEnvironmentOnce) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("QNMURO_CODEPAGE", "UTF-8", 1);
        const bool utf8 = ToAnsi(u"公") == "\xE5\x85\xAC";
        unsetenv("QNMURO_CODEPAGE");
        std::exit(utf8 && AnsiCodePage() == "UTF-8" ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
  EXPECT_EXIT(
      {
        unsetenv("QNMURO_CODEPAGE");
        std::exit(AnsiCodePage() == "GBK" && ToAnsi(u"公") == "\xB9\xAB" ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST(TextTest, TrimAndCaseHelpers) {
  EXPECT_EQ(Trim(u"  a b  "), u"a b");
  EXPECT_EQ(TrimLeft(u"  a "), u"a ");
  EXPECT_EQ(TrimRight(u" a  "), u" a");
  EXPECT_EQ(AsciiLower(u"DraftDOCUMENT公"), u"draftdocument公");
  EXPECT_TRUE(ContainsIgnoreCase(u"xxdocmarklINE1", u"DocMarkLine"));
  EXPECT_FALSE(EqualsIgnoreCase(u"abc", u"abcd"));
  EXPECT_EQ(ReplaceAll(u"a+b+c", u"+", u"%2B"), u"a%2Bb%2Bc");
}

TEST(TextTest, UpperHexHasNoLeadingZeros) {
  EXPECT_EQ(UpperHex(0), u"0");
  EXPECT_EQ(UpperHex(0xA), u"A");
  EXPECT_EQ(UpperHex(0x516C), u"516C");
  EXPECT_EQ(UpperHex(0xFFFFFFFFul), u"FFFFFFFF");
}

TEST(TextTest, PathsAcceptBothSeparators) {
  EXPECT_EQ(ToPath(u"dir\\sub/公文.doc").string(), "dir/sub/公文.doc");
  EXPECT_EQ(FromPath(std::filesystem::path("a/公")), u"a/公");
}

}  // namespace
}  // namespace qnmuro
