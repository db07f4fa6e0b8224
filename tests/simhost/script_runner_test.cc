#include "simhost/script_runner.h"
#include "platform/services_posix.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/form.h"
#include "platform/registry_store.h"
#include "platform/ui.h"
#include "simhost/sim_fixture.h"
#include "support/temp_dir.h"

namespace qnmuro::simhost {
namespace {

// An add-in that exercises what scripts drive: a bar with buttons, a modal form, an hourly
// timer, a macro call, tracking, and the options menu item switched off.
class ProbeAddIn final : public host::AddIn, public host::ButtonEvents {
 public:
  ProbeAddIn(const Context& services, std::vector<std::string>* calls)
      : services_(services), calls_(calls), seal_form_(u"印章选择") {
    seal_form_.AddLabel(u"Label1", u"请选择电子印章:");
    FormControl* combo = &seal_form_.AddComboBox(u"SealComboBox");
    seal_form_.OnLoad([combo] {
      combo->AddItem(u"公章");
      combo->AddItem(u"私章");
    });
    seal_form_.AddButton(u"OK", kOkCaption).OnClick([this, combo] {
      if (combo->ListIndex() < 0) {
        services_.ui->ShowMessage(u"请选择印章！", MsgButtons::kOk, MsgIcon::kNone, u"");
        return;
      }
      services_.ui->ShowMessage(u"盖印：" + combo->Text(), MsgButtons::kOk, MsgIcon::kNone, u"");
      seal_form_.Hide();
    });
    seal_form_.AddButton(u"Cancel", kCancelCaption).OnClick([this] { seal_form_.Unload(); });
  }

  void OnConnection(host::Application* app) override {
    calls_->push_back("connection");
    app_ = app;
    bar_ = app->GetCommandBars().Add(u"ProbeBar", host::kBarTop, false, true);
    bar_->SetVisible(true);
    int face = 0;
    for (const char16_t* caption : {u"加盖印章", u"修订", u"宏", u"隐藏", u"停用"}) {
      std::shared_ptr<host::Control> button =
          bar_->GetControls().Add(host::kControlButton, 1, std::nullopt, true);
      button->SetCaption(caption);
      button->SetFace(host::Picture{u"F" + ToText(++face), {}});
      button->Subscribe(this);
      buttons_.push_back(button);
    }
    buttons_[3]->SetVisible(false);
    buttons_[4]->SetEnabled(false);
    app->GetCommandBars()
        .Find(u"Menu Bar")
        ->GetControls()
        .Item(u"工具(&T)")
        ->GetControls()
        .Item(u"选项(&E)...")
        ->SetEnabled(false);
    timer_ = services_.clock->StartTimer(std::chrono::minutes(60), [this] {
      services_.ui->ShowMessage(u"tick " + FormatTimestamp(services_.clock->NowLocal()),
                                MsgButtons::kOk, MsgIcon::kInformation, u"青禾办公系统提示");
    });
  }
  void OnDisconnection() override {
    calls_->push_back("disconnection");
    services_.clock->StopTimer(timer_);
    for (auto& button : buttons_) button->Unsubscribe(this);
  }
  void OnStartupComplete() override { calls_->push_back("startup-complete"); }
  void OnAddInsUpdate() override { calls_->push_back("add-ins-update"); }
  void OnBeginShutdown() override { calls_->push_back("begin-shutdown"); }

  void Click(host::Control& button, bool& cancel_default) override {
    cancel_default = true;
    const std::u16string caption = button.Caption();
    if (caption == u"加盖印章") services_.ui->ShowForm(seal_form_);
    if (caption == u"修订") app_->ActiveDocument()->SetTrackRevisions(true);
    if (caption == u"宏") app_->Run(u"OAOpen");
  }

 private:
  Context services_;
  std::vector<std::string>* calls_;
  Form seal_form_;
  host::Application* app_ = nullptr;
  std::shared_ptr<host::CommandBar> bar_;
  std::vector<std::shared_ptr<host::Control>> buttons_;
  Clock::TimerId timer_ = 0;
};

class ScriptRunnerTest : public testing::Test {
 protected:
  ScriptRunnerTest() : registry_(NewFileRegistryStore(dir_ / "registry.reg")) {}

  // Runs a script with the probe add-in connected when `probe` is set.
  int Run(const std::string& script, bool probe = false) {
    std::ostringstream out, err;
    ScriptRunOptions options;
    options.work_dir = FromPath(dir_.path());
    options.out = &out;
    options.err = &err;
    options.start_time = FromLocalTime({2026, 3, 14, 9, 0, 0});
    options.services.registry = registry_.get();
    if (probe) {
      options.add_ins.push_back([this](const Context& services) {
        ++factory_calls_;
        return std::make_unique<ProbeAddIn>(services, &calls_);
      });
    }
    const int status = RunScript(script, options);
    out_ = out.str();
    err_ = err.str();
    return status;
  }

  test_util::TempDir dir_;
  std::unique_ptr<RegistryStore> registry_;
  std::string out_, err_;
  std::vector<std::string> calls_;
  int factory_calls_ = 0;
};

TEST_F(ScriptRunnerTest, EditsAndShowsTheDocument) {
  EXPECT_EQ(Run("new\n"
                "type \"甲乙\\r丙\"   # two paragraphs\n"
                "select 0 2\nbookmark B1\nselect 3 4\nbookmark B2\n"
                "show text\nshow bookmarks\nshow state\nshow documents\nshow toolbar\n"
                "show menu\nshow settings\n"),
            0);
  EXPECT_EQ(out_,
            "TEXT Document1: 甲乙\\r丙\n"
            "BOOKMARK B1 0 2 \"甲乙\"\n"
            "BOOKMARK B2 3 4 \"丙\"\n"
            "DOCUMENT Document1 saved=0 protection=-1 track=0 show-revisions=1 "
            "print-revisions=1\n"
            "USER name=\"User\" initials=\"U\"\n"
            "DOCUMENTS 1: Document1\n"
            "TOOLBAR none\n"
            "MENU 工具(&T)/选项(&E)... enabled=1\n"
            "MENU 插入(&I)/文件(&L)... enabled=1\n"
            "SETTING ShowDrawings 1\n"
            "SETTING ShowBackground 1\n"
            "SETTING DrawingObjects 1\n"
            "SETTING WindowState 1\n"
            "SETTING UserControl 0\n");
  EXPECT_EQ(err_, "");
}

TEST_F(ScriptRunnerTest, BoxesTakeQueuedAnswersInOrderOrTheirDefault) {
  EXPECT_EQ(Run("new\ntype draft\nanswer cancel\nclose\nshow documents\nsave-as keep.fodt\n"
                "new\ntype \"inserted \"\n"
                "pick-file keep.fodt\npick-file-cancel\n"
                "menu \"Menu Bar\" 插入(&I) 文件(&L)...\nmenu \"Menu Bar\" 插入(&I) 文件(&L)...\n"
                "show text\nclose\nshow documents\n"),
            0);
  EXPECT_EQ(out_,
            "MSGBOX [QNMuroWPS] exclamation yes-no-cancel: 是否保存对“Document1”的更改？ => "
            "cancel\n"
            "HOST-ERROR 4120 The document was not closed: the user cancelled.\n"
            "DOCUMENTS 1: Document1\n"
            "DIALOG [插入文件] => \"keep.fodt\"\n"
            "DIALOG [插入文件] => (cancel)\n"
            "TEXT Document2: inserted draft\n"
            "MSGBOX [QNMuroWPS] exclamation yes-no-cancel: 是否保存对“Document2”的更改？ => "
            "yes (default)\n"
            "DOCUMENTS 1: keep.fodt\n");
  EXPECT_TRUE(std::filesystem::exists(dir_ / "Document2.fodt"));
}

TEST_F(ScriptRunnerTest, SetRegistryGivesUpOnALockHeldByAnotherProgram) {
  registry_ = NewFileRegistryStore(dir_ / "registry.reg", {std::chrono::milliseconds(200)});
  const int holder =
      ::open((dir_ / "registry.reg.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX), 0);
  EXPECT_EQ(Run("set-registry CurrentUser zhang\nnew\nshow documents\n"), 0);
  ::close(holder);
  EXPECT_EQ(out_,
            "HOST-ERROR 17 Can't perform requested operation: the registry file is locked by "
            "another program\n"
            "DOCUMENTS 1: Document1\n");
}

TEST_F(ScriptRunnerTest, HostErrorsAreReportedAndTheScriptGoesOn) {
  test_util::WriteBytes(dir_ / "s.png", TinyPng());
  test_util::WriteBytes(dir_ / "not-a-picture.png", "text");
  EXPECT_EQ(Run("show text\nnew\nactivate nope\nselect-bookmark nope\n"
                "picture missing.png X 10 10\npicture not-a-picture.png X 10 10\n"
                "picture s.png Seal 126 126.5\nshow shapes\n"
                "menu \"No Bar\" a b\nclick nothing\nset-registry CurrentFile 公文.wps\n"),
            0);
  const std::string p = U8(FromPath(dir_.path()));
  EXPECT_EQ(out_,
            "HOST-ERROR 4248 This command is not available because no document is open.\n"
            "HOST-ERROR 5941 The requested member of the collection does not exist.\n"
            "HOST-ERROR 5941 The requested member of the collection does not exist.\n"
            "HOST-ERROR 5174 The file could not be found: " +
                p +
                "/missing.png\n"
                "HOST-ERROR 5152 The file is not a picture the host can read: " +
                p +
                "/not-a-picture.png\n"
                "SHAPE Seal left=72.5 top=71 width=126 height=126.5 visible=1 behind-text=0\n"
                "HOST-ERROR 5941 The requested member of the collection does not exist.\n"
                "HOST-ERROR 5941 No command bar has a button nothing\n");
  RegistryValue value;
  EXPECT_EQ(
      registry_->GetValue(kHkeyLocalMachine, u"SOFTWARE\\zuzozer\\web", u"CurrentFile", &value), 0);
  EXPECT_EQ(value.text, u"公文.wps");
}

TEST_F(ScriptRunnerTest, ScriptErrorsStopTheRunBeforeAnythingHappens) {
  struct Case {
    const char* script;
    const char* error;
  };
  const Case cases[] = {
      {"new\nsave\nshow everything\n",
       "line 3: show: WHAT must be one of text, bookmarks, "
       "shapes, revisions, state, toolbar, documents, settings, "
       "menu, not \"everything\"\n"},
      {"new\n\n# c\ntype \"unclosed\n", "line 4: unclosed double quote\n"},
      {"new\nopen\n", "line 2: usage: open PATH\n"},
      {"quit\n", "line 1: unknown command \"quit\"\n"},
      {"new\nselect-text a 0\n",
       "line 2: select-text: N must be an occurrence from 1, not \"0\"\n"},
      {"bookmark-text B \"\"\n", "line 1: bookmark-text: the text to find must not be empty\n"},
      {"select-text a 1 2\n", "line 1: usage: select-text TEXT [N]\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    EXPECT_EQ(Run(c.script, true), 2);
    EXPECT_EQ(err_, c.error);
    EXPECT_EQ(out_, "");
    EXPECT_EQ(factory_calls_, 0);
  }
  EXPECT_FALSE(std::filesystem::exists(dir_ / "Document1.fodt"));
}

TEST_F(ScriptRunnerTest, TextIsFoundByItselfAndAnswersMustFitTheirBox) {
  struct Case {
    const char* script;
    int status;
    const char* out;
    const char* error;
  };
  const Case cases[] = {
      {"new\ntype 甲乙甲乙\nselect-text 乙 2\ntype X\nbookmark-text B 甲乙\nshow text\n"
       "show bookmarks\n",
       0, "TEXT Document1: 甲乙甲X\nBOOKMARK B 0 2 \"甲乙\"\n", ""},
      {"new\ntype 甲\nselect-text 乙\nshow text\n", 2, "",
       "line 3: select-text: \"乙\" not found in Document1 (0 found)\n"},
      {"new\ntype 甲甲\nbookmark-text B 甲\nselect-text 甲 3\n", 2, "",
       "line 4: select-text: occurrence 3 of \"甲\" not found in Document1 (2 found)\n"},
      {"new\ntype x\nanswer ok\nclose\nshow documents\n", 2,
       "MSGBOX [QNMuroWPS] exclamation yes-no-cancel: 是否保存对“Document1”的更改？ => yes "
       "(default)\n",
       "line 4: the queued answer ok does not fit the message box [QNMuroWPS] yes-no-cancel: "
       "是否保存对“Document1”的更改？\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    EXPECT_EQ(Run(c.script), c.status);
    EXPECT_EQ(out_, c.out);
    EXPECT_EQ(err_, c.error);
  }
}

TEST_F(ScriptRunnerTest, AddInsAreConnectedFirstAndDisconnectedOnce) {
  EXPECT_EQ(Run("new\n", true), 0);
  EXPECT_EQ(calls_, (std::vector<std::string>{"connection", "add-ins-update", "startup-complete",
                                              "begin-shutdown", "disconnection"}));
  calls_.clear();
  EXPECT_EQ(Run("new\ndisconnect\nwait 2h\nclick 宏\ndisconnect\n", true), 0);
  EXPECT_EQ(calls_, (std::vector<std::string>{"connection", "add-ins-update", "startup-complete",
                                              "disconnection"}));
  // Disconnected: the timer no longer ticks and the button no longer reaches the add-in.
  EXPECT_EQ(out_, "");
}

TEST_F(ScriptRunnerTest, ButtonsFormsTimersAndMacrosThroughAnAddIn) {
  EXPECT_EQ(Run("clock 2026-03-14T09:30:00\nnew\nshow toolbar\nshow menu\n"
                "pick-seal 私章\nclick 加盖印章\n"
                "pick-seal 无此章\nclick 加盖印章\n"
                "pick-seal-cancel\nclick 加盖印章\n"
                "click 加盖印章\n"
                "click 停用\nclick 隐藏\nmenu \"Menu Bar\" 工具(&T) 选项(&E)...\n"
                "click 修订\ntype x\nshow revisions\nshow state\n"
                "click 宏\ndefine-macro OAOpen\nclick 宏\n"
                "wait 59m\nwait 1m\nwait 2h\n",
                true),
            0);
  EXPECT_EQ(out_,
            "TOOLBAR ProbeBar visible=1: 加盖印章[F1] 修订[F2] 宏[F3] 停用[F5]\n"
            "MENU 工具(&T)/选项(&E)... enabled=0\n"
            "MENU 插入(&I)/文件(&L)... enabled=1\n"
            "MSGBOX [QNMuroWPS] none ok: 盖印：私章 => ok (default)\n"
            "DIALOG [印章选择] => \"私章\"\n"
            "MSGBOX [QNMuroWPS] none ok: 请选择印章！ => ok (default)\n"
            "DIALOG [印章选择] => (cancel)\n"
            "DIALOG [印章选择] => (cancel)\n"
            "DIALOG [印章选择] => (cancel) (default)\n"
            "DISABLED 停用\n"
            "HOST-ERROR 5941 No command bar has a button 隐藏\n"
            "DISABLED 工具(&T)/选项(&E)...\n"
            "REVISION insert author=\"User\" \"x\"\n"
            "DOCUMENT Document1 saved=0 protection=-1 track=1 show-revisions=1 "
            "print-revisions=1\n"
            "USER name=\"User\" initials=\"U\"\n"
            "HOST-ERROR 4198 The macro cannot be found: OAOpen\n"
            "MACRO OAOpen\n"
            // The clock was set half an hour on: the hourly timer kept its remaining time.
            "MSGBOX [青禾办公系统提示] information ok: tick 2026-03-14 10:30:00 => ok "
            "(default)\n"
            "MSGBOX [青禾办公系统提示] information ok: tick 2026-03-14 11:30:00 => ok "
            "(default)\n"
            "MSGBOX [青禾办公系统提示] information ok: tick 2026-03-14 12:30:00 => ok "
            "(default)\n");
}

}  // namespace
}  // namespace qnmuro::simhost
