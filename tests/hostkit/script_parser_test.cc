#include "hostkit/script_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qnmuro::hostkit {
namespace {

std::string ErrorOf(std::string_view script) {
  try {
    ParseScript(script);
  } catch (const ScriptError& e) {
    return e.what();
  }
  return "";
}

TEST(ScriptParserTest, SplitsWords) {
  struct Case {
    const char* line;
    std::vector<std::u16string> words;
  };
  const Case cases[] = {
      {"", {}},
      {"   \t ", {}},
      {"# only a comment", {}},
      {"type hello", {u"type", u"hello"}},
      {"  type \t hello  ", {u"type", u"hello"}},
      {"type \"two words\"", {u"type", u"two words"}},
      {"type \"\"", {u"type", u""}},
      {"type a\"b c\"d", {u"type", u"ab cd"}},
      {"type \"a # b\" # comment", {u"type", u"a # b"}},
      {"type a#b", {u"type", u"a"}},
      {"type \"say \\\"hi\\\"\"", {u"type", u"say \"hi\""}},
      {"type a\\\\b", {u"type", u"a\\b"}},
      {"type \"\\r\\n\\t\"", {u"type", u"\r\n\t"}},
      {"type line\\rnext", {u"type", u"line\rnext"}},
      {"type 公文\\n第二段", {u"type", u"公文\n第二段"}},
      {"menu \"Menu Bar\" 插入(&I) 文件(&L)...",
       {u"menu", u"Menu Bar", u"插入(&I)", u"文件(&L)..."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(SplitScriptLine(c.line, 1), c.words);
  }
}

TEST(ScriptParserTest, ReportsTheLineAndTheReason) {
  struct Case {
    const char* script;
    const char* error;
  };
  const Case cases[] = {
      {"new\nfrobnicate x", "line 2: unknown command \"frobnicate\""},
      {"type \"open", "line 1: unclosed double quote"},
      {"type a\\", "line 1: backslash at the end of the line"},
      {"type a\\x", "line 1: unknown escape \\x (use \\\" \\\\ \\r \\n or \\t)"},
      {"# c\n\nselect 1", "line 3: usage: select START END"},
      {"new extra", "line 1: usage: new"},
      {"type", "line 1: usage: type TEXT"},
      {"type a b", "line 1: usage: type TEXT"},
      {"select -1 2", "line 1: select: START must be a character position, not \"-1\""},
      {"select 1 x", "line 1: select: END must be a character position, not \"x\""},
      {"select 1 99999999999",
       "line 1: select: END must be a character position, "
       "not \"99999999999\""},
      {"picture a.png Seal 0 10",
       "line 1: picture: WIDTH must be a length in points "
       "(over 0, at most 10000), not \"0\""},
      {"picture a.png Seal 10 1e3",
       "line 1: picture: HEIGHT must be a length in points "
       "(over 0, at most 10000), not \"1e3\""},
      {"picture \"\" Seal 10 10", "line 1: picture: FILE must not be empty"},
      {"open \"\"", "line 1: open: PATH must not be empty"},
      {"answer maybe", "line 1: answer: the answer must be ok, yes, no or cancel, not \"maybe\""},
      {"answer YES", "line 1: answer: the answer must be ok, yes, no or cancel, not \"YES\""},
      {"clock 2026-02-30T10:00:00",
       "line 1: clock: the time must be a valid YYYY-MM-DDTHH:MM:SS, not \"2026-02-30T10:00:00\""},
      // Past what the clock can count (April 2262), and before it.
      {"clock 9999-12-31T23:59:59",
       "line 1: clock: the time must lie between 1970-01-01T00:00:00 and 2261-12-31T23:59:59, "
       "not \"9999-12-31T23:59:59\""},
      {"clock 2262-04-12T00:00:00",
       "line 1: clock: the time must lie between 1970-01-01T00:00:00 and 2261-12-31T23:59:59, "
       "not \"2262-04-12T00:00:00\""},
      {"clock 1969-12-31T23:59:59",
       "line 1: clock: the time must lie between 1970-01-01T00:00:00 and 2261-12-31T23:59:59, "
       "not \"1969-12-31T23:59:59\""},
      {"wait 5d",
       "line 1: wait: the duration must be a number followed by s, m or h "
       "(90s, 59m, 2h), not \"5d\""},
      {"show everything",
       "line 1: show: WHAT must be one of text, bookmarks, shapes, revisions, state, toolbar, "
       "documents, settings, menu, not \"everything\""},
      {"type ok\r\nsave now\r\n", "line 2: usage: save"},
      {"new\ntype \"\xE5\xBC\"", "line 2: the line is not valid UTF-8"},
      {"type \xC0\xAF", "line 1: the line is not valid UTF-8"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    EXPECT_EQ(ErrorOf(c.script), c.error);
  }
}

TEST(ScriptParserTest, ParsesEveryCommandWithItsLine) {
  const std::string script =
      "\xEF\xBB\xBF# a whole session\r\n"
      "set-registry CurrentFile a.wps\n"
      "open a.wps\nnew\nactivate a.wps\ntype \"x y\"\nselect 0 3\nselect-bookmark B\n"
      "bookmark B\npicture s.png Seal 126 126.5\ndefine-macro OAOpen\nsave\nsave-as b.wps\n"
      "close\nclick 加盖印章\nmenu \"Menu Bar\" 工具(&T) 选项(&E)...\nanswer no\ninput pw\n"
      "input-cancel\npick-file c.wps\npick-file-cancel\npick-template 公文 红头\n"
      "pick-template-cancel\npick-seal 公章\npick-seal-cancel\nclock 2024-02-29T23:59:59\n"
      "wait 90s\nshow text\ndisconnect\n";
  const std::vector<ScriptCommand> commands = ParseScript(script);
  ASSERT_EQ(commands.size(), 28u);
  EXPECT_EQ(commands[0].line, 2);
  EXPECT_EQ(commands[0].name, "set-registry");
  EXPECT_EQ(commands[0].args, (std::vector<std::u16string>{u"CurrentFile", u"a.wps"}));
  EXPECT_EQ(commands[4].args, std::vector<std::u16string>{u"x y"});
  EXPECT_EQ(commands[14].args,
            (std::vector<std::u16string>{u"Menu Bar", u"工具(&T)", u"选项(&E)..."}));
  EXPECT_EQ(commands.back().name, "disconnect");
  EXPECT_EQ(commands.back().line, 29);
}

TEST(ScriptParserTest, ReadsArgumentValues) {
  EXPECT_EQ(ParsePosition(u"0"), 0);
  EXPECT_EQ(ParsePosition(u"2147483647"), 2147483647);
  EXPECT_EQ(ParsePosition(u"2147483648"), std::nullopt);
  EXPECT_EQ(ParsePosition(u""), std::nullopt);
  EXPECT_EQ(ParsePosition(u"+1"), std::nullopt);

  EXPECT_EQ(ParseLength(u"126"), 126.0f);
  EXPECT_EQ(ParseLength(u"0.5"), 0.5f);
  EXPECT_EQ(ParseLength(u"10000"), 10000.0f);
  for (const char16_t* bad : {u"0", u"0.0", u"10000.5", u".5", u"5.", u"1.2.3", u"-1", u""}) {
    EXPECT_EQ(ParseLength(bad), std::nullopt);
  }

  EXPECT_EQ(ParseAnswer(u"cancel"), MsgAnswer::kCancel);
  EXPECT_EQ(ParseAnswer(u"yes"), MsgAnswer::kYes);

  using std::chrono::milliseconds;
  EXPECT_EQ(ParseDuration(u"90s"), milliseconds(90'000));
  EXPECT_EQ(ParseDuration(u"59m"), milliseconds(59 * 60'000));
  EXPECT_EQ(ParseDuration(u"2h"), milliseconds(2 * 3'600'000));
  EXPECT_EQ(ParseDuration(u"0s"), milliseconds(0));
  for (const char16_t* bad : {u"s", u"90", u"1.5h", u"-1s", u"99999h", u"999999999s"}) {
    EXPECT_EQ(ParseDuration(bad), std::nullopt);
  }

  const std::optional<LocalTime> t = ParseClockTime(u"2024-02-29T14:05:09");
  ASSERT_TRUE(t);
  EXPECT_EQ(t->year, 2024);
  EXPECT_EQ(t->month, 2);
  EXPECT_EQ(t->day, 29);
  EXPECT_EQ(t->hour, 14);
  EXPECT_EQ(t->minute, 5);
  EXPECT_EQ(t->second, 9);
  for (const char16_t* bad :
       {u"2023-02-29T14:05:09", u"2024-13-01T00:00:00", u"2024-04-31T00:00:00",
        u"2024-01-01T24:00:00", u"2024-01-01T00:60:00", u"2024-01-01 00:00:00",
        u"1969-12-31T23:59:59", u"2024-1-01T00:00:00", u"2024-01-01T00:00:00Z"}) {
    EXPECT_EQ(ParseClockTime(bad), std::nullopt);
  }
  EXPECT_TRUE(ParseClockTime(u"2000-02-29T00:00:00"));
  EXPECT_TRUE(ParseClockTime(u"2261-12-31T23:59:59"));
  EXPECT_EQ(ParseClockTime(u"2262-01-01T00:00:00"), std::nullopt);
}

}  // namespace
}  // namespace qnmuro::hostkit
