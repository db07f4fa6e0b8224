#include "platform/form.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "base/error.h"
#include "platform/ui.h"

namespace qnmuro {
namespace {

long ErrorNumberOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.number();
  }
  return 0;
}

// A dialog shaped like the template dialog: body types in a combo box, their templates in a
// list box, OK refusing an empty choice with a message box and staying open.
class TemplateDialog {
 public:
  explicit TemplateDialog(UiService& ui) : ui_(ui), form_(u"更换wps模板") {
    combo_ = &form_.AddComboBox(u"WordCombox");
    list_ = &form_.AddListBox(u"TemplateList");
    form_.AddButton(u"OK", kOkCaption).OnClick([this] {
      if (list_->Text().empty()) {
        ui_.ShowMessage(u"请选择模板！", MsgButtons::kOk, MsgIcon::kNone, u"");
        return;
      }
      chosen = combo_->Text() + u"/" + list_->Text();
      form_.Hide();
    });
    form_.AddButton(u"Cancel", kCancelCaption).OnClick([this] {
      chosen.clear();
      form_.Hide();
    });
    form_.OnLoad([this] {
      ++loads;
      combo_->Clear();
      combo_->AddItem(u"公文");
      combo_->AddItem(u"通知");
    });
    combo_->OnChange([this] {
      list_->Clear();
      if (combo_->Text() == u"公文") {
        list_->AddItem(u"红头");
        list_->AddItem(u"白头");
      }
    });
  }

  Form& form() { return form_; }
  FormControl& combo() { return *combo_; }
  FormControl& list() { return *list_; }

  std::u16string chosen;
  int loads = 0;

 private:
  UiService& ui_;
  Form form_;
  FormControl* combo_;
  FormControl* list_;
};

class FormTest : public testing::Test {
 protected:
  FormTest() : dialog_(ui_) {}
  ScriptedUi ui_;
  TemplateDialog dialog_;
};

TEST_F(FormTest, LoadsOnFirstShowingOnlyAndKeepsChoicesWhileHidden) {
  ui_.QueueFormAnswer(FormAnswer{u"公文", u"白头", false});
  ui_.ShowForm(dialog_.form());
  EXPECT_EQ(dialog_.chosen, u"公文/白头");
  EXPECT_FALSE(dialog_.form().visible());
  EXPECT_TRUE(dialog_.form().loaded());

  ui_.QueueFormAnswer(FormAnswer{std::nullopt, std::nullopt, true});
  ui_.ShowForm(dialog_.form());
  EXPECT_EQ(dialog_.loads, 1);
  EXPECT_EQ(dialog_.combo().Text(), u"公文");
  EXPECT_EQ(dialog_.list().Text(), u"白头");
  EXPECT_EQ(dialog_.list().ListIndex(), 1);
  EXPECT_EQ(dialog_.combo().ListIndex(), 0);
  EXPECT_EQ(dialog_.chosen, u"");
}

TEST_F(FormTest, UnloadClearsEverythingAndTheNextShowingLoadsAgain) {
  ui_.QueueFormAnswer(FormAnswer{u"公文", u"红头", false});
  ui_.ShowForm(dialog_.form());
  dialog_.form().Unload();
  EXPECT_FALSE(dialog_.form().loaded());
  EXPECT_TRUE(dialog_.combo().items().empty());
  EXPECT_TRUE(dialog_.list().items().empty());
  EXPECT_EQ(dialog_.combo().Text(), u"");
  EXPECT_EQ(dialog_.list().ListIndex(), -1);
  ui_.ShowForm(dialog_.form());
  EXPECT_EQ(dialog_.loads, 2);
  EXPECT_EQ(dialog_.combo().items().size(), 2u);
}

TEST_F(FormTest, ScriptedAnswersAndWhatTheyRecord) {
  struct Case {
    const char* what;
    std::optional<FormAnswer> answer;  // nullopt: none queued
    std::optional<std::u16string> input;
    std::vector<std::u16string> picked;
    bool defaulted;
    size_t messages;  // boxes shown by the handlers
  };
  const Case cases[] = {
      {"confirmed", FormAnswer{u"公文", u"红头", false}, u"", {u"公文", u"红头"}, false, 0},
      {"cancelled", FormAnswer{std::nullopt, std::nullopt, true}, std::nullopt, {}, false, 0},
      {"nothing queued", std::nullopt, std::nullopt, {}, true, 0},
      // A template the list does not offer: OK refuses, the UI gives up with Cancel.
      {"refused", FormAnswer{u"公文", u"蓝头", false}, std::nullopt, {}, false, 1},
      {"no templates", FormAnswer{u"通知", u"红头", false}, std::nullopt, {}, false, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedUi ui;
    TemplateDialog dialog(ui);
    if (c.answer) ui.QueueFormAnswer(*c.answer);
    ui.ShowForm(dialog.form());
    EXPECT_FALSE(dialog.form().visible());
    ASSERT_EQ(ui.records().size(), c.messages + 1);
    if (c.messages > 0) {
      EXPECT_EQ(ui.records()[0].text, u"请选择模板！");
    }
    const UiRecord& r = ui.records().back();
    EXPECT_EQ(r.kind, UiRecord::Kind::kForm);
    EXPECT_EQ(r.text, u"更换wps模板");
    EXPECT_EQ(r.input, c.input);
    EXPECT_EQ(r.picked, c.picked);
    EXPECT_EQ(r.defaulted, c.defaulted);
    EXPECT_EQ(dialog.chosen, c.input ? u"公文/红头" : u"");
  }
}

TEST_F(FormTest, AnswersAreTakenInOrderOnePerShowing) {
  ui_.QueueFormAnswer(FormAnswer{u"公文", u"红头", false});
  ui_.QueueFormAnswer(FormAnswer{u"公文", u"白头", false});
  ui_.ShowForm(dialog_.form());
  EXPECT_EQ(dialog_.chosen, u"公文/红头");
  ui_.ShowForm(dialog_.form());
  EXPECT_EQ(dialog_.chosen, u"公文/白头");
  ui_.ShowForm(dialog_.form());  // none left: cancelled
  EXPECT_EQ(dialog_.chosen, u"");
}

TEST(FormModalTest, AFormThatNeverClosesItselfIsHiddenNotLoopedOn) {
  ScriptedUi ui;
  Form form(u"stubborn");
  int clicks = 0;
  form.AddButton(u"OK", kOkCaption).OnClick([&] { ++clicks; });
  form.AddButton(u"Cancel", kCancelCaption).OnClick([&] { ++clicks; });
  ui.QueueFormAnswer(FormAnswer{});
  ui.ShowForm(form);
  EXPECT_EQ(clicks, 2);  // OK, then Cancel, then the UI hides it
  EXPECT_FALSE(form.visible());
  EXPECT_FALSE(ui.records().back().input.has_value());
}

TEST(FormModalTest, AFailureEscapingAHandlerHidesTheFormAndReachesTheCaller) {
  ScriptedUi ui;
  Form form(u"failing");
  form.AddComboBox(u"Combo").OnChange([] { throw MakeError(kErrSubscript); });
  form.AddButton(u"OK", kOkCaption);
  ui.QueueFormAnswer(FormAnswer{u"x", std::nullopt, false});
  EXPECT_EQ(ErrorNumberOf([&] { ui.ShowForm(form); }), kErrSubscript);
  EXPECT_FALSE(form.visible());
  EXPECT_TRUE(form.loaded());
}

TEST(FormControlTest, MembersThatDoNotApplyRaise438) {
  Form form(u"f");
  FormControl& label = form.AddLabel(u"Label1", u"请选择电子印章:");
  FormControl& combo = form.AddComboBox(u"SealComboBox");
  FormControl& list = form.AddListBox(u"List");
  FormControl& button = form.AddButton(u"OK", kOkCaption);
  const std::vector<std::function<void()>> misuses = {
      [&] { label.AddItem(u"x"); },     [&] { label.Click(); },
      [&] { button.SetText(u"x"); },    [&] { combo.Select(0); },
      [&] { combo.Click(); },           [&] { list.SetText(u"x"); },
      [&] { list.SetCaption(u"x"); },   [&] { button.OnChange([] {}); },
      [&] { label.OnClick([] {}); },    [&] { button.Clear(); },
      [&] { (void)label.ListIndex(); },
  };
  for (size_t i = 0; i < misuses.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(ErrorNumberOf(misuses[i]), kErrNotSupported);
  }
  EXPECT_EQ(label.Text(), u"请选择电子印章:");
  EXPECT_EQ(form.Find(u"SealComboBox"), &combo);
  EXPECT_EQ(form.FindButton(kOkCaption), &button);
  EXPECT_EQ(form.Find(u"missing"), nullptr);
  EXPECT_EQ(form.FirstOfKind(FormControlKind::kListBox), &list);
}

TEST(FormControlTest, ListSelectionIsCheckedAndOnlyUserActionsFire) {
  Form form(u"f");
  FormControl& list = form.AddListBox(u"List");
  int changes = 0;
  list.OnChange([&] { ++changes; });
  list.AddItem(u"a");
  list.AddItem(u"b");
  EXPECT_EQ(ErrorNumberOf([&] { list.Select(2); }), kErrInvalidCall);
  EXPECT_EQ(ErrorNumberOf([&] { list.Select(-1); }), kErrInvalidCall);
  EXPECT_FALSE(list.SelectItem(u"c"));
  EXPECT_EQ(changes, 0);
  EXPECT_EQ(list.Text(), u"");
  EXPECT_TRUE(list.SelectItem(u"b"));
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(list.Text(), u"b");
  list.Clear();
  EXPECT_EQ(list.ListIndex(), -1);
  EXPECT_EQ(changes, 1);  // clearing is not a user action
}

}  // namespace
}  // namespace qnmuro
