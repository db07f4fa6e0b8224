#include "simhost/sim_host.h"

#include <gtest/gtest.h>

#include <cmath>

#include "hostkit/screen_map.h"
#include "sim_fixture.h"
#include "simhost/sim_layout.h"

namespace qnmuro::simhost {
namespace {

// Records host events in order.
class EventLog final : public host::ApplicationEvents, public host::DocumentEvents {
 public:
  void DocumentOpen(host::Document& d) override { events.push_back(u"open " + d.Name()); }
  void DocumentBeforeSave(host::Document& d, bool&, bool& cancel) override {
    events.push_back(u"before-save " + d.Name());
    if (on_before_save) on_before_save(d);
    cancel = cancel_saves;
  }
  void Close() override { events.push_back(u"close"); }

  std::vector<std::u16string> events;
  bool cancel_saves = false;
  std::function<void(host::Document&)> on_before_save;
};

using SimApplicationTest = SimHostTest;

TEST_F(SimApplicationTest, OpenSaveCloseEventOrder) {
  NewDoc(u"content")->SaveAs(u"a.fodt");
  app_->ActiveDocument()->Close();
  EventLog log;
  app_->Subscribe(&log);
  auto doc = app_->GetDocuments().Open(u"a.fodt", true);
  doc->Subscribe(&log);
  EXPECT_EQ(app_->ActiveDocument()->Name(), u"a.fodt");
  app_->GetSelection()->TypeText(u"more ");
  doc->Save();
  doc->SaveAs(u"b.fodt");  // raised before the document takes its new name
  app_->GetSelection()->TypeText(u"x");
  ui_.QueueAnswer(MsgAnswer::kYes);
  doc->Close();
  EXPECT_EQ(log.events,
            (std::vector<std::u16string>{u"open a.fodt", u"before-save a.fodt",
                                         u"before-save a.fodt", u"close", u"before-save b.fodt"}));
  EXPECT_EQ(app_->GetDocuments().Count(), 0);
  EXPECT_EQ(HostErrorOf([&] { app_->ActiveDocument(); }), host::kNoDocument);
  auto first = app_->GetDocuments().Open(u"b.fodt", true);
  auto second = app_->GetDocuments().Open(Path("b.fodt"), true);  // already open: no event
  EXPECT_EQ(first.get(), second.get());
  EXPECT_EQ(log.events.size(), 6u);
  EXPECT_EQ(app_->GetDocuments().Count(), 1);
  first->Close();
  EXPECT_EQ(HostErrorOf([&] { doc->Name(); }), host::kObjectDeleted);
  app_->Unsubscribe(&log);
}

TEST_F(SimApplicationTest, TheCloseQuestion) {
  const struct {
    MsgAnswer answer;
    bool closes;
    bool saved_to_disk;
  } cases[] = {{MsgAnswer::kYes, true, true},
               {MsgAnswer::kNo, true, false},
               {MsgAnswer::kCancel, false, false}};
  for (const auto& c : cases) {
    auto doc = NewDoc(u"v1");
    doc->SaveAs(u"q.fodt");
    app_->GetSelection()->TypeText(u" v2");
    ui_.ClearRecords();
    ui_.QueueAnswer(c.answer);
    long error = HostErrorOf([&] { doc->Close(); });
    ASSERT_EQ(ui_.records().size(), 1u);
    const UiRecord& box = ui_.records()[0];
    EXPECT_EQ(box.text, u"是否保存对“q.fodt”的更改？");
    EXPECT_EQ(box.title, u"");
    EXPECT_EQ(box.buttons, MsgButtons::kYesNoCancel);
    EXPECT_EQ(box.icon, MsgIcon::kExclamation);
    EXPECT_EQ(error != 0, !c.closes) << ToString(c.answer);
    EXPECT_EQ(app_->GetDocuments().Count(), c.closes ? 0 : 1);
    auto reopened = app_->GetDocuments().Open(Path("q.fodt"), true);
    EXPECT_EQ(TextOf(*reopened), c.saved_to_disk || !c.closes ? u"v1 v2" : u"v1");
    if (!c.closes) {
      EXPECT_EQ(reopened.get(), doc.get());  // still the open one
    }
    reopened->SetSaved(true);
    reopened->Close();
  }
  // A saved document closes without a question.
  ui_.ClearRecords();
  auto doc = NewDoc(u"x");
  doc->SetSaved(true);
  doc->Close();
  EXPECT_TRUE(ui_.records().empty());
}

TEST_F(SimApplicationTest, SavingFromTheBeforeSaveHandlerDoesNotRecurse) {
  EventLog log;
  log.on_before_save = [](host::Document& d) {
    if (!d.Saved()) d.Save();
  };
  app_->Subscribe(&log);
  auto doc = NewDoc(u"x");
  doc->SaveAs(u"r.fodt");
  EXPECT_EQ(log.events.size(), 1u);
  EXPECT_TRUE(doc->Saved());
  app_->Unsubscribe(&log);
}

TEST_F(SimApplicationTest, CancelledSaveWritesNothing) {
  EventLog log;
  log.cancel_saves = true;
  app_->Subscribe(&log);
  auto doc = NewDoc(u"x");
  doc->SaveAs(u"c.fodt");
  EXPECT_FALSE(std::filesystem::exists(dir_ / "c.fodt"));
  EXPECT_FALSE(doc->Saved());
  app_->Unsubscribe(&log);
}

TEST_F(SimApplicationTest, NewDocumentSavesIntoTheWorkFolder) {
  auto doc = NewDoc(u"x");
  EXPECT_EQ(doc->Name(), u"Document1");
  doc->Save();
  EXPECT_EQ(doc->FullName(), Path("Document1.fodt"));
  EXPECT_EQ(doc->Name(), u"Document1.fodt");
  EXPECT_EQ(app_->GetDocuments().Add()->Name(), u"Document2");
  EXPECT_EQ(app_->ActivateByName(u"Document1.fodt").get(), doc.get());
  EXPECT_EQ(app_->ActiveDocument().get(), doc.get());
  EXPECT_EQ(HostErrorOf([&] { app_->ActivateByName(u"nope"); }), host::kNoSuchMember);
}

TEST_F(SimApplicationTest, ASelectionRangeAndItsPictureMeetOnScreen) {
  std::u16string text;
  for (int i = 0; i < 50; ++i)
    text += u"第" + ToText(i) + u"段，内容比一行更长一些，足够换到下一行去显示。\r";
  auto doc = NewDoc(text);
  Write("seal.png", TinyPng());
  const long positions[] = {0, 7, 45, 600, static_cast<long>(text.size()) - 3};
  for (long pos : positions) {
    auto sel = app_->GetSelection();
    sel->SetRange(pos, pos + 2);
    auto window = app_->ActiveWindow();
    host::ScreenRect screen = window->GetPoint(*sel->GetRange());
    host::DocumentRect converted = window->ScreenToDocument(screen);
    long page = sel->EndPageNumber();
    host::PagePoint origin = window->PageOrigin(page);
    auto shape = doc->GetShapes().AddPicture(u"seal.png", false, true, converted.left - origin.left,
                                             converted.top - origin.top, 126, 126);
    hostkit::ShapeInfo info = app_->ShapeInfos(*doc).back();
    EXPECT_EQ(info.page, page) << pos;
    // Where the picture is shown, back on screen.
    host::PagePoint shown = PageOriginOf(info.page);
    host::ScreenRect at = hostkit::ToScreen({shown.left + info.left, shown.top + info.top, 1, 1});
    EXPECT_LE(std::abs(at.left - screen.left), 1) << pos;
    EXPECT_LE(std::abs(at.top - screen.top), 1) << pos;
    // And where the layout puts the range's first character.
    TextPlace place = Locate(text, pos);
    EXPECT_NEAR(info.left, kMarginLeft + place.column * kCharWidth, 1) << pos;
    EXPECT_NEAR(info.top, kMarginTop + place.line * kLineHeight, 1) << pos;
  }
  EXPECT_GT(app_->GetSelection()->EndPageNumber(), 1);
}

TEST_F(SimApplicationTest, PagesAndLines) {
  std::u16string text(std::u16string(85, u'x') + u"\r" + std::u16string(40 * 40, u'y'));
  EXPECT_EQ(Locate(text, 0).page, 1);
  EXPECT_EQ(Locate(text, 41).line, 1);       // wrapped after 40 characters
  EXPECT_EQ(Locate(text, 85).column, 5);     // the paragraph mark
  EXPECT_EQ(Locate(text, 86).line, 3);       // a new paragraph starts a line
  EXPECT_EQ(PageOf(text, 86 + 32 * 40), 2);  // line 35 is the first of page 2
  EXPECT_EQ(PageStart(text, 2), 86 + 32 * 40);
  EXPECT_EQ(PageStart(text, 99), static_cast<long>(text.size()));
  EXPECT_FLOAT_EQ(PageOriginOf(2).top, kPageHeight + kPageGap);
  host::ScreenRect r{300, 400, 40, 20};
  host::ScreenRect back = hostkit::ToScreen(hostkit::FromScreen(r));
  EXPECT_EQ(back.left, r.left);
  EXPECT_EQ(back.top, r.top);
}

TEST_F(SimApplicationTest, MenuBarInsertFileAsksForAFile) {
  auto part = NewDoc(u"INSERTED");
  part->GetBookmarks().Add(u"Ins", 0, 8);
  part->SaveAs(u"part.fodt");
  part->Close();
  auto doc = NewDoc(u"[]");
  app_->GetSelection()->SetRange(1, 1);
  auto menu = app_->GetCommandBars().Find(u"Menu Bar");
  ASSERT_NE(menu, nullptr);
  auto item = menu->GetControls().Item(u"插入(&I)")->GetControls().Item(u"文件(&L)...");
  ui_.QueueFile(std::nullopt);
  item->Execute();
  EXPECT_EQ(TextOf(*doc), u"[]");
  ui_.QueueFile(u"part.fodt");
  item->Execute();
  EXPECT_EQ(TextOf(*doc), u"[INSERTED]");
  EXPECT_EQ(BookmarkText(*doc, u"Ins"), u"INSERTED");
  ASSERT_EQ(ui_.records().size(), 2u);
  EXPECT_EQ(ui_.records()[0].kind, UiRecord::Kind::kDialog);
  auto options = menu->GetControls().Item(u"工具(&T)")->GetControls().Item(u"选项(&E)...");
  options->SetEnabled(false);
  EXPECT_FALSE(options->Enabled());
  EXPECT_EQ(HostErrorOf([&] { options->Execute(); }), host::kNotAvailable);
  EXPECT_EQ(HostErrorOf([&] { menu->Delete(); }), host::kNotAvailable);
  EXPECT_EQ(HostErrorOf([&] { menu->GetControls().Item(u"帮助(&H)"); }), host::kNoSuchMember);
}

class ClickLog final : public host::ButtonEvents {
 public:
  void Click(host::Control& button, bool& cancel_default) override {
    clicks.push_back(button.Caption());
    cancel_default = cancel;
  }
  std::vector<std::u16string> clicks;
  bool cancel = false;
};

TEST_F(SimApplicationTest, AddedBarsAndButtons) {
  auto& bars = app_->GetCommandBars();
  auto bar = bars.Add(u"QNMuroBar", host::kBarTop, false, true);
  EXPECT_EQ(HostErrorOf([&] { bars.Add(u"QNMuroBar", host::kBarTop, false, true); }),
            host::kBadParameter);
  auto second = bar->GetControls().Add(host::kControlButton, 1, std::nullopt, true);
  auto first = bar->GetControls().Add(host::kControlButton, 1, 1, true);
  first->SetCaption(u"返回系统");
  second->SetCaption(u"隐藏红头");
  first->SetFace({u"F1", {0x42, 0x4d}});
  first->SetStyle(3);
  EXPECT_EQ(bar->GetControls().Item(1)->Caption(), u"返回系统");
  EXPECT_EQ(first->Face().label, u"F1");
  ClickLog log;
  first->Subscribe(&log);
  EXPECT_TRUE(app_->Click(u"返回系统"));
  first->Execute();
  EXPECT_EQ(log.clicks.size(), 2u);
  EXPECT_EQ(HostErrorOf([&] { app_->Click(u"没有"); }), host::kNoSuchMember);
  bar->SetEnabled(false);
  EXPECT_FALSE(app_->Click(u"返回系统"));
  EXPECT_EQ(log.clicks.size(), 2u);
  EXPECT_EQ(app_->AddedBars().size(), 1u);
  auto popup = bar->GetControls().Add(host::kControlPopup, 0, std::nullopt, true);
  EXPECT_EQ(HostErrorOf([&] { popup->SetFace({}); }), host::kNotAvailable);
  EXPECT_EQ(HostErrorOf([&] { first->GetControls(); }), host::kNotAvailable);
  bar->Delete();
  EXPECT_EQ(bars.Find(u"QNMuroBar"), nullptr);
  EXPECT_EQ(HostErrorOf([&] { first->Caption(); }), host::kObjectDeleted);
  EXPECT_EQ(HostErrorOf([&] { bar->Visible(); }), host::kObjectDeleted);
}

TEST_F(SimApplicationTest, ClickCancelsTheBuiltInAction) {
  auto doc = NewDoc(u"x");
  doc->SaveAs(u"s.fodt");
  app_->GetSelection()->TypeText(u"y");
  auto save = app_->GetCommandBars()
                  .Find(u"Menu Bar")
                  ->GetControls()
                  .Item(u"文件(&F)")
                  ->GetControls()
                  .Item(u"保存(&S)");
  ClickLog log;
  log.cancel = true;
  save->Subscribe(&log);
  save->Execute();
  EXPECT_FALSE(doc->Saved());
  log.cancel = false;
  save->Execute();
  EXPECT_TRUE(doc->Saved());
}

TEST_F(SimApplicationTest, QuitDropsTemporaryBarsOnly) {
  app_->GetCommandBars().Add(u"Temp", host::kBarTop, false, true);
  app_->GetCommandBars().Add(u"Kept", host::kBarTop, false, false);
  NewDoc(u"unsaved");
  ui_.QueueAnswer(MsgAnswer::kNo);
  app_->Quit();
  EXPECT_EQ(app_->GetDocuments().Count(), 0);
  EXPECT_EQ(app_->GetCommandBars().Find(u"Temp"), nullptr);
  EXPECT_NE(app_->GetCommandBars().Find(u"Kept"), nullptr);
}

TEST_F(SimApplicationTest, MacrosAndSettings) {
  int ran = 0;
  app_->DefineMacro(u"OAOpen", [&] { ++ran; });
  app_->Run(u"OAOpen");
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(HostErrorOf([&] { app_->Run(u"oaopen"); }), host::kNoSuchMacro);
  EXPECT_EQ(app_->MacroNames(), std::vector<std::u16string>{u"OAOpen"});
  NewDoc(u"x");
  app_->ActiveWindow()->GetView().SetShowDrawings(false);
  app_->ActiveWindow()->GetView().SetShowBackground(false);
  app_->GetOptions().SetDrawingObjects(0);
  app_->SetWindowState(2);
  app_->SetUserControl(true);
  using Setting = std::pair<std::u16string, long>;
  EXPECT_EQ(app_->Settings(), (std::vector<Setting>{{u"ShowDrawings", 0},
                                                    {u"ShowBackground", 0},
                                                    {u"DrawingObjects", 0},
                                                    {u"WindowState", 2},
                                                    {u"UserControl", 1}}));
  EXPECT_EQ(HostErrorOf([&] { app_->SetWindowState(5); }), host::kBadParameter);
}

TEST_F(SimApplicationTest, HandlesOutliveTheApplication) {
  auto doc = NewDoc(u"x");
  auto sel = app_->GetSelection();
  app_.reset();
  EXPECT_EQ(HostErrorOf([&] { doc->Name(); }), host::kObjectDeleted);
  EXPECT_EQ(HostErrorOf([&] { sel->TypeText(u"y"); }), host::kObjectDeleted);
}

}  // namespace
}  // namespace qnmuro::simhost
