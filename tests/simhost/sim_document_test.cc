#include "simhost/sim_document.h"

#include <gtest/gtest.h>

#include "sim_fixture.h"

namespace qnmuro::simhost {
namespace {

constexpr char16_t kPassword[] = u"wombat;pqlrxe";

using SimDocumentTest = SimHostTest;

TEST_F(SimDocumentTest, ProtectionAndPasswordFailures) {
  auto doc = NewDoc(u"text");
  EXPECT_EQ(doc->GetProtectionType(), host::kNoProtection);
  EXPECT_EQ(HostErrorOf([&] { doc->Unprotect(u"anything"); }), 0);  // no-op when unprotected
  doc->Protect(host::kAllowOnlyRevisions, kPassword);
  EXPECT_EQ(doc->GetProtectionType(), host::kAllowOnlyRevisions);
  EXPECT_TRUE(doc->TrackRevisions());
  EXPECT_EQ(HostErrorOf([&] { doc->Protect(host::kAllowOnlyRevisions, kPassword); }),
            host::kProtected);
  EXPECT_EQ(HostErrorOf([&] { doc->SetTrackRevisions(false); }), host::kProtected);
  EXPECT_EQ(HostErrorOf([&] { doc->Unprotect(u"wombat"); }), host::kWrongPassword);
  EXPECT_EQ(HostErrorOf([&] { doc->Unprotect(u""); }), host::kWrongPassword);
  EXPECT_EQ(doc->GetProtectionType(), host::kAllowOnlyRevisions);
  doc->Unprotect(kPassword);
  EXPECT_EQ(doc->GetProtectionType(), host::kNoProtection);
  doc->SetTrackRevisions(false);
  EXPECT_FALSE(doc->TrackRevisions());
  EXPECT_EQ(HostErrorOf([&] { doc->Protect(7, kPassword); }), host::kBadParameter);
}

TEST_F(SimDocumentTest, ReadOnlyProtectionRefusesEveryEdit) {
  auto doc = NewDoc(u"fixed");
  doc->GetBookmarks().Add(u"Mark", 0, 5);
  doc->Protect(host::kAllowOnlyReading, u"pw");
  auto sel = app_->GetSelection();
  Write("pic.png", TinyPng());
  const struct {
    const char* what;
    std::function<void()> edit;
  } edits[] = {
      {"type", [&] { sel->TypeText(u"x"); }},
      {"delete", [&] { sel->Delete(); }},
      {"range text", [&] { doc->GetRange(0, 1)->SetText(u"y"); }},
      {"bookmark text", [&] { doc->GetBookmarks().Item(u"Mark")->GetRange()->SetText(u"z"); }},
      {"paste", [&] { sel->Paste(); }},
      {"picture", [&] { doc->GetShapes().AddPicture(u"pic.png", false, true, 0, 0, 9, 9); }},
      {"undo", [&] { doc->Undo(1); }},
  };
  for (const auto& e : edits) EXPECT_EQ(HostErrorOf(e.edit), host::kProtected) << e.what;
  EXPECT_EQ(TextOf(*doc), u"fixed");
}

TEST_F(SimDocumentTest, RevisionsUnderProtectionCarryTheUserAtTheTime) {
  auto doc = NewDoc(u"draft");
  doc->Protect(host::kAllowOnlyRevisions, kPassword);
  auto sel = app_->GetSelection();
  app_->SetUserName(u"张三");
  sel->SetRange(5, 5);
  sel->TypeText(u" text");
  clock_->Advance(std::chrono::minutes(5));
  app_->SetUserName(u"李四");
  sel->SetRange(0, 1);
  sel->Delete();
  EXPECT_EQ(TextOf(*doc), u"raft text");
  auto revs = app_->Revisions(*doc);
  ASSERT_EQ(revs.size(), 2u);
  EXPECT_EQ(revs[0].kind, hostkit::RevisionInfo::Kind::kDelete);
  EXPECT_EQ(revs[0].text, u"d");
  EXPECT_EQ(revs[0].author, u"李四");
  EXPECT_EQ(revs[0].time, FromLocalTime({2026, 3, 14, 9, 31, 53}));
  EXPECT_EQ(revs[1].kind, hostkit::RevisionInfo::Kind::kInsert);
  EXPECT_EQ(revs[1].text, u" text");
  EXPECT_EQ(revs[1].author, u"张三");
  EXPECT_EQ(revs[1].time, FromLocalTime({2026, 3, 14, 9, 26, 53}));
  EXPECT_EQ(HostErrorOf([&] { doc->AcceptAllRevisions(); }), host::kProtected);
  doc->Unprotect(kPassword);
  doc->AcceptAllRevisions();
  EXPECT_TRUE(app_->Revisions(*doc).empty());
  EXPECT_EQ(TextOf(*doc), u"raft text");
}

TEST_F(SimDocumentTest, UntrackedEditsRecordNothing) {
  auto doc = NewDoc(u"abc");
  EXPECT_TRUE(app_->Revisions(*doc).empty());
  doc->SetTrackRevisions(true);
  app_->GetSelection()->TypeText(u"d");
  EXPECT_EQ(app_->Revisions(*doc).size(), 1u);
}

TEST_F(SimDocumentTest, UndoTakesBackTheLastActions) {
  auto doc = NewDoc(u"one");
  auto sel = app_->GetSelection();
  sel->TypeText(u" two");
  doc->GetBookmarks().Add(u"Two", 4, 7);
  sel->TypeText(u" three");
  EXPECT_TRUE(doc->Undo(2));
  EXPECT_EQ(TextOf(*doc), u"one two");
  EXPECT_FALSE(doc->GetBookmarks().Exists(u"Two"));
  EXPECT_TRUE(doc->Undo(1));
  EXPECT_EQ(TextOf(*doc), u"one");
  EXPECT_TRUE(doc->Undo(5));  // only one step left, still something undone
  EXPECT_EQ(TextOf(*doc), u"");
  EXPECT_FALSE(doc->Undo(1));
  EXPECT_FALSE(doc->Saved());
}

TEST_F(SimDocumentTest, BookmarksByPositionAndName) {
  auto doc = NewDoc(u"alpha beta gamma");
  auto& bm = doc->GetBookmarks();
  bm.Add(u"Zeta", 0, 5);
  bm.Add(u"Beta", 6, 10);
  bm.Add(u"Alpha", 0, 0);
  ASSERT_EQ(bm.Count(), 3);
  EXPECT_EQ(bm.Item(1)->Name(), u"Alpha");  // same start: by name
  EXPECT_EQ(bm.Item(2)->Name(), u"Zeta");
  EXPECT_EQ(bm.Item(3)->Name(), u"Beta");
  EXPECT_EQ(HostErrorOf([&] { bm.Item(4); }), host::kNoSuchMember);
  EXPECT_EQ(HostErrorOf([&] { bm.Item(0); }), host::kNoSuchMember);
  EXPECT_EQ(HostErrorOf([&] { bm.Item(u"Missing"); }), host::kNoSuchMember);
  EXPECT_EQ(HostErrorOf([&] { bm.Add(u"1bad", 0, 1); }), host::kBadParameter);
  EXPECT_EQ(HostErrorOf([&] { bm.Add(u"Far", 0, 99); }), host::kBadParameter);
  EXPECT_FALSE(bm.Exists(u"Missing"));
  auto beta = bm.Item(u"Beta");
  beta->SetStart(12);  // past the end: the end moves along
  EXPECT_EQ(beta->End(), 12);
  beta->SetEnd(16);
  EXPECT_EQ(beta->GetRange()->Text(), u"amma");
  beta->Delete();
  EXPECT_EQ(TextOf(*doc), u"alpha beta gamma");
  EXPECT_EQ(HostErrorOf([&] { beta->Start(); }), host::kObjectDeleted);
}

TEST_F(SimDocumentTest, MergeStepKeepsTheBookmarkAround) {
  auto doc = NewDoc(u"To: X\rFrom: Y");
  doc->GetBookmarks().Add(u"To", 4, 5);
  doc->GetBookmarks().Add(u"From", 12, 13);
  for (long i = 1; i <= doc->GetBookmarks().Count(); ++i) {
    auto b = doc->GetBookmarks().Item(i);
    std::u16string value = b->Name() == u"To" ? u"办公室" : u"";
    long start = b->Start();
    b->GetRange()->SetText(value);
    b->SetStart(start);
    b->SetEnd(start + static_cast<long>(value.size()));
  }
  EXPECT_EQ(TextOf(*doc), u"To: 办公室\rFrom: ");
  EXPECT_EQ(BookmarkText(*doc, u"To"), u"办公室");
  EXPECT_EQ(doc->GetBookmarks().Item(u"From")->Start(), 14);
  EXPECT_EQ(doc->GetBookmarks().Item(u"From")->End(), 14);
}

TEST_F(SimDocumentTest, CopyPasteCarriesBookmarksAndPictures) {
  Write("pic.png", TinyPng());
  auto src = NewDoc(u"head BODY tail");
  src->GetBookmarks().Add(u"Body", 5, 9);
  src->GetBookmarks().Add(u"Tail", 10, 14);
  app_->GetSelection()->SetRange(6, 6);
  src->GetShapes().AddPicture(u"pic.png", false, true, 10, 20, 30, 40);
  src->GetRange(5, 9)->Copy();
  auto dst = NewDoc(u"[]");
  dst->GetBookmarks().Add(u"Body", 0, 1);  // replaced by the pasted one
  auto sel = app_->GetSelection();
  sel->SetRange(1, 1);
  sel->Paste();
  EXPECT_EQ(TextOf(*dst), u"[BODY]");
  EXPECT_EQ(BookmarkText(*dst, u"Body"), u"BODY");
  EXPECT_EQ(dst->GetBookmarks().Count(), 1);
  ASSERT_EQ(dst->GetShapes().Count(), 1);
  EXPECT_EQ(dst->GetShapes().Item(1)->Width(), 30);
  EXPECT_EQ(sel->GetRange()->Start(), 5);
  dst->Undo(1);
  EXPECT_EQ(TextOf(*dst), u"[]");
  EXPECT_EQ(dst->GetShapes().Count(), 0);
  EXPECT_EQ(dst->GetBookmarks().Item(u"Body")->End(), 1);
}

TEST_F(SimDocumentTest, InsertFileCarriesBookmarksAndPictures) {
  Write("pic.png", TinyPng());
  auto part = NewDoc(u"RED HEAD\r");
  part->GetBookmarks().Add(u"BodyStart", 9, 9);
  part->GetShapes().AddPicture(u"pic.png", false, true, 1, 2, 3, 4);
  part->SaveAs(u"part.wps");
  auto doc = NewDoc(u"body");
  auto sel = app_->GetSelection();
  sel->SetRange(0, 0);
  sel->InsertFile(u"part.wps");
  EXPECT_EQ(TextOf(*doc), u"RED HEAD\rbody");
  EXPECT_EQ(doc->GetBookmarks().Item(u"BodyStart")->Start(), 9);
  EXPECT_EQ(doc->GetShapes().Count(), 1);
  EXPECT_EQ(HostErrorOf([&] { sel->InsertFile(u"missing.wps"); }), host::kFileError);
  Write("junk.wps", "not a document");
  EXPECT_EQ(HostErrorOf([&] { sel->InsertFile(u"junk.wps"); }), host::kFileError);
  EXPECT_EQ(TextOf(*doc), u"RED HEAD\rbody");
}

TEST_F(SimDocumentTest, WholeStoryAndDelete) {
  auto doc = NewDoc(u"abc");
  doc->GetBookmarks().Add(u"All", 0, 3);
  auto sel = app_->GetSelection();
  sel->SetRange(1, 1);
  sel->Delete();  // one character after the caret
  EXPECT_EQ(TextOf(*doc), u"ac");
  sel->WholeStory();
  EXPECT_EQ(sel->GetRange()->End(), 2);
  sel->Delete();
  EXPECT_EQ(TextOf(*doc), u"");
  EXPECT_FALSE(doc->GetBookmarks().Exists(u"All"));
  sel->Delete();  // nothing after the caret: nothing happens
}

TEST_F(SimDocumentTest, MoveCharactersCollapsesFirst) {
  NewDoc(u"0123456789");
  auto sel = app_->GetSelection();
  const struct {
    long start, end, count, caret;
  } cases[] = {{3, 3, 1, 4},  {3, 3, -2, 1}, {3, 6, 1, 6},  {3, 6, 2, 7},
               {3, 6, -1, 3}, {0, 0, -1, 0}, {9, 10, 5, 10}};
  for (const auto& c : cases) {
    sel->SetRange(c.start, c.end);
    sel->MoveCharacters(c.count);
    EXPECT_EQ(sel->GetRange()->Start(), c.caret) << c.start << "," << c.end << " by " << c.count;
    EXPECT_EQ(sel->GetRange()->End(), c.caret);
  }
}

TEST_F(SimDocumentTest, PicturesMustBeReadableImages) {
  auto doc = NewDoc(u"x");
  auto& shapes = doc->GetShapes();
  Write("fake.png", "GIF? no, plain text");
  Write("real.gif", std::string("GIF89a\x02\x00\x03\x00", 10));
  EXPECT_EQ(HostErrorOf([&] { shapes.AddPicture(u"none.png", false, true, 0, 0, 1, 1); }),
            host::kFileError);
  EXPECT_EQ(HostErrorOf([&] { shapes.AddPicture(u"fake.png", false, true, 0, 0, 1, 1); }),
            host::kBadPicture);
  auto gif = shapes.AddPicture(u"real.gif", false, true, 5, 6, 0, 0);
  EXPECT_FLOAT_EQ(gif->Width(), 1.5f);  // 2 pixels at 96 per inch
  EXPECT_FLOAT_EQ(gif->Height(), 2.25f);
  gif->SetName(u"Seal2026");
  gif->ZOrder(host::kSendBehindText);
  gif->SetVisible(false);
  auto info = app_->ShapeInfos(*doc);
  ASSERT_EQ(info.size(), 1u);
  EXPECT_EQ(info[0].name, u"Seal2026");
  EXPECT_TRUE(info[0].behind_text);
  EXPECT_FALSE(info[0].visible);
  EXPECT_EQ(HostErrorOf([&] { gif->ZOrder(9); }), host::kBadParameter);
  gif->Delete();
  EXPECT_EQ(shapes.Count(), 0);
  EXPECT_EQ(HostErrorOf([&] { gif->Name(); }), host::kObjectDeleted);
  EXPECT_EQ(HostErrorOf([&] { shapes.Item(1); }), host::kNoSuchMember);
}

TEST_F(SimDocumentTest, ZOrderStacksPictures) {
  Write("p.png", TinyPng());
  auto doc = NewDoc(u"x");
  auto& shapes = doc->GetShapes();
  auto a = shapes.AddPicture(u"p.png", false, true, 0, 0, 1, 1);
  auto b = shapes.AddPicture(u"p.png", false, true, 0, 0, 1, 1);
  auto c = shapes.AddPicture(u"p.png", false, true, 0, 0, 1, 1);
  auto z = [&](long i) { return app_->ShapeInfos(*doc)[i].z_order; };
  EXPECT_LT(z(0), z(1));
  c->ZOrder(host::kSendToBack);
  EXPECT_LT(z(2), z(0));
  a->ZOrder(host::kBringToFront);
  EXPECT_GT(z(0), z(1));
  b->ZOrder(host::kBringForward);
  EXPECT_GT(z(1), z(0));
}

}  // namespace
}  // namespace qnmuro::simhost
