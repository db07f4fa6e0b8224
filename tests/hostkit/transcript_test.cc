#include "hostkit/transcript.h"

#include <gtest/gtest.h>

namespace qnmuro::hostkit {
namespace {

UiRecord Message(std::u16string text, std::u16string title, MsgButtons b, MsgIcon i, MsgAnswer a,
                 bool defaulted) {
  UiRecord r;
  r.kind = UiRecord::Kind::kMessage;
  r.text = std::move(text);
  r.title = std::move(title);
  r.buttons = b;
  r.icon = i;
  r.answer = a;
  r.defaulted = defaulted;
  return r;
}

UiRecord Other(UiRecord::Kind kind, std::u16string text, std::u16string title,
               std::optional<std::u16string> input, std::vector<std::u16string> picked,
               bool defaulted) {
  UiRecord r;
  r.kind = kind;
  r.text = std::move(text);
  r.title = std::move(title);
  r.input = std::move(input);
  r.picked = std::move(picked);
  r.defaulted = defaulted;
  return r;
}

TEST(ScriptTranscriptTest, LinesOfBoxes) {
  using K = UiRecord::Kind;
  struct Case {
    UiRecord record;
    const char* line;
  };
  const Case cases[] = {
      {Message(u"正文生成完毕！", u"", MsgButtons::kOk, MsgIcon::kNone, MsgAnswer::kOk, true),
       "MSGBOX [QNMuroWPS] none ok: 正文生成完毕！ => ok (default)"},
      {Message(u"您所选模板与当前正文类型不匹配\r0", u"青禾办公自动化系统", MsgButtons::kOk,
               MsgIcon::kCritical, MsgAnswer::kOk, false),
       "MSGBOX [青禾办公自动化系统] critical ok: 您所选模板与当前正文类型不匹配\\r0 => ok"},
      {Message(u"a\r\nb", u"QNSoft", MsgButtons::kYesNoCancel, MsgIcon::kQuestion,
               MsgAnswer::kCancel, false),
       "MSGBOX [QNSoft] question yes-no-cancel: a\\r\\nb => cancel"},
      {Message(u"x", u"t", MsgButtons::kOkCancel, MsgIcon::kExclamation, MsgAnswer::kOk, false),
       "MSGBOX [t] exclamation ok-cancel: x => ok"},
      {Message(u"x", u"t", MsgButtons::kYesNo, MsgIcon::kInformation, MsgAnswer::kNo, false),
       "MSGBOX [t] information yes-no: x => no"},
      {Other(K::kInput, u"请输入密码：", u"QNSoft", u"pw 1", {}, false),
       "INPUTBOX [QNSoft] 请输入密码： => \"pw 1\""},
      {Other(K::kInput, u"p", u"", u"", {}, false), "INPUTBOX [QNMuroWPS] p => \"\""},
      {Other(K::kInput, u"p", u"", std::nullopt, {}, false), "INPUTBOX [QNMuroWPS] p => (cancel)"},
      {Other(K::kInput, u"p", u"", std::nullopt, {}, true),
       "INPUTBOX [QNMuroWPS] p => (cancel) (default)"},
      {Other(K::kDialog, u"插入文件", u"", u"docs/a.wps", {}, false),
       "DIALOG [插入文件] => \"docs/a.wps\""},
      {Other(K::kDialog, u"插入文件", u"", std::nullopt, {}, true),
       "DIALOG [插入文件] => (cancel) (default)"},
      {Other(K::kForm, u"更换wps模板", u"", u"", {u"公文", u"红头"}, false),
       "DIALOG [更换wps模板] => \"公文\" \"红头\""},
      {Other(K::kForm, u"印章选择", u"", u"", {u"公章"}, false), "DIALOG [印章选择] => \"公章\""},
      {Other(K::kForm, u"印章选择", u"", std::nullopt, {}, false), "DIALOG [印章选择] => (cancel)"},
      {Other(K::kForm, u"印章选择", u"", u"", {}, false), "DIALOG [印章选择] => (ok)"},
      {Other(K::kForm, u"", u"", std::nullopt, {}, true),
       "DIALOG [QNMuroWPS] => (cancel) (default)"},
      {Other(K::kCursor, u"", u"", std::nullopt, {}, false), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(FormatUiRecord(c.record), c.line);
  }
}

TEST(ScriptTranscriptTest, TextsNumbersAndErrors) {
  EXPECT_EQ(TranscriptText(u"\r\r\n\n"), "\\r\\r\\n\\n");
  EXPECT_EQ(TranscriptText(u"tab\tand \"quote\""), "tab\tand \"quote\"");
  EXPECT_EQ(TranscriptQuoted(u"甲\r乙"), "\"甲\\r乙\"");
  EXPECT_EQ(FormatLength(126.0f), "126");
  EXPECT_EQ(FormatLength(72.5f), "72.5");
  EXPECT_EQ(FormatLength(0.0f), "0");
  EXPECT_EQ(FormatLength(-3.25f), "-3.25");
  EXPECT_EQ(FormatLength(0.1f), "0.1");
  EXPECT_EQ(FormatHostError(Error(5941, u"The requested member of the collection does not exist.")),
            "HOST-ERROR 5941 The requested member of the collection does not exist.");
  EXPECT_EQ(FormatHostError(Error(4605, u"two\r\nlines")), "HOST-ERROR 4605 two\\r\\nlines");
}

}  // namespace
}  // namespace qnmuro::hostkit
