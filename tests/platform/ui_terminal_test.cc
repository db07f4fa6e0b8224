#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "platform/form.h"
#include "platform/ui.h"

namespace qnmuro {
namespace {

class TerminalUiTest : public testing::Test {
 protected:
  std::unique_ptr<UiService> Ui(const std::string& typed, bool interactive,
                                bool assume_yes = false) {
    in_.str(typed);
    in_.clear();
    TerminalUiOptions o;
    o.in = &in_;
    o.out = &out_;
    o.interactive = interactive;
    o.assume_yes = assume_yes;
    return NewTerminalUi(o);
  }
  std::istringstream in_;
  std::ostringstream out_;
};

TEST_F(TerminalUiTest, MessageBoxAnswers) {
  struct Case {
    const char* typed;
    bool interactive;
    bool assume_yes;
    MsgButtons buttons;
    MsgAnswer expected;
  };
  const Case cases[] = {
      {"", false, false, MsgButtons::kYesNoCancel, MsgAnswer::kYes},
      {"", false, false, MsgButtons::kOkCancel, MsgAnswer::kOk},
      {"no\n", false, false, MsgButtons::kYesNo, MsgAnswer::kYes},  // nothing is read
      {"n\n", true, false, MsgButtons::kYesNo, MsgAnswer::kNo},
      {" NO \n", true, false, MsgButtons::kYesNoCancel, MsgAnswer::kNo},
      {"\n", true, false, MsgButtons::kYesNoCancel, MsgAnswer::kYes},
      {"maybe\nc\n", true, false, MsgButtons::kYesNoCancel, MsgAnswer::kCancel},
      {"no\n", true, false, MsgButtons::kOkCancel, MsgAnswer::kOk},  // asked again, then EOF
      {"", true, false, MsgButtons::kOkCancel, MsgAnswer::kOk},      // end of input
      {"n\n", true, true, MsgButtons::kYesNo, MsgAnswer::kYes},      // --yes asks nothing
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    auto ui = Ui(c.typed, c.interactive, c.assume_yes);
    EXPECT_EQ(ui->ShowMessage(u"保存吗？", c.buttons, MsgIcon::kQuestion, u""), c.expected);
  }
  EXPECT_NE(out_.str().find("[QNMuroWPS] (question) 保存吗？"), std::string::npos);
}

TEST_F(TerminalUiTest, InputBoxAndFileDialog) {
  EXPECT_EQ(Ui("abc\n", true)->AskText(u"密码", u"QNSoft", u"x"), u"abc");
  EXPECT_EQ(Ui("\n", true)->AskText(u"密码", u"QNSoft", u"x"), u"x");
  EXPECT_EQ(Ui("", true)->AskText(u"密码", u"QNSoft", u"x"), std::nullopt);
  EXPECT_EQ(Ui("abc\n", false)->AskText(u"密码", u"QNSoft", u"x"), u"x");
  EXPECT_EQ(Ui("a.wps\n", true)->PickFile(u"插入文件"), u"a.wps");
  EXPECT_EQ(Ui("\n", true)->PickFile(u"插入文件"), std::nullopt);
  EXPECT_EQ(Ui("a.wps\n", false)->PickFile(u"插入文件"), std::nullopt);
}

// A seal-like form: a combo box whose OK refuses an unknown name with a message box.
struct SealForm {
  explicit SealForm(UiService& ui) : form(u"印章选择") {
    form.AddLabel(u"Label1", u"请选择电子印章:");
    combo = &form.AddComboBox(u"SealComboBox");
    form.OnLoad([this] {
      combo->AddItem(u"公章");
      combo->AddItem(u"私章");
    });
    form.AddButton(u"OK", kOkCaption).OnClick([this, &ui] {
      if (combo->ListIndex() < 0) {
        ui.ShowMessage(u"请选择印章！", MsgButtons::kOk, MsgIcon::kNone, u"");
        return;
      }
      chosen = combo->Text();
      form.Hide();
    });
    form.AddButton(u"Cancel", kCancelCaption).OnClick([this] { form.Unload(); });
  }
  Form form;
  FormControl* combo;
  std::u16string chosen;
};

TEST_F(TerminalUiTest, FormsAreFilledAndClickedUntilTheyClose) {
  struct Case {
    const char* typed;
    bool interactive;
    const char16_t* chosen;
    bool loaded_after;
  };
  const Case cases[] = {
      {"2\n1\n", true, u"私章", true},          // item 2, button 1
      {"公章\n1\n", true, u"公章", true},       // typed text
      {"x\n1\n\n\n0\n", true, u"", false},      // refused, then given up
      {"x\n1\n\n1\n1\n", true, u"公章", true},  // refused, then a listed one
      {"1\n2\n", true, u"", false},             // Cancel
      {"1\n", true, u"", false},                // end of input
      {"1\n1\n", false, u"", false},            // no terminal: cancelled
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    auto ui = Ui(c.typed, c.interactive);
    SealForm seal(*ui);
    ui->ShowForm(seal.form);
    EXPECT_FALSE(seal.form.visible());
    EXPECT_EQ(seal.chosen, c.chosen);
    EXPECT_EQ(seal.form.loaded(), c.loaded_after);
  }
  EXPECT_NE(out_.str().find("请选择印章！"), std::string::npos);
}

}  // namespace
}  // namespace qnmuro
