#include "host/host_conformance.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/error.h"
#include "base/text.h"

namespace qnmuro::conformance {
namespace {

constexpr char16_t kPassword[] = u"wombat;pqlrxe";

template <class Body>
long HostErrorOf(Body&& body) {
  try {
    body();
  } catch (const Error& e) {
    return e.number();
  }
  return 0;
}

// A new document holding `text`, with the caret at its end.
std::shared_ptr<host::Document> NewDoc(HostUnderTest& host, std::u16string_view text) {
  auto doc = host.App().GetDocuments().Add();
  host.App().GetSelection()->TypeText(text);
  return doc;
}

std::u16string Path(HostUnderTest& host, std::u16string_view name) {
  return host.Folder() + u"/" + std::u16string(name);
}

void TypeAt(HostUnderTest& host, long position, std::u16string_view text) {
  const auto selection = host.App().GetSelection();
  selection->SetRange(position, position);
  selection->TypeText(text);
}

// "B[3,6] C[8,8]": the bookmarks in collection order.
std::string Marks(host::Document& doc) {
  host::Bookmarks& marks = doc.GetBookmarks();
  std::string out;
  for (long i = 1; i <= marks.Count(); ++i) {
    const auto mark = marks.Item(i);
    if (!out.empty()) out += ' ';
    out += U8(mark->Name()) + "[" + std::to_string(mark->Start()) + "," +
           std::to_string(mark->End()) + "]";
  }
  return out;
}

// The text (CR shown as '|') and the bookmarks.
std::string Snapshot(host::Document& doc) {
  std::string text = U8(doc.Content()->Text());
  for (char& c : text) c = c == '\r' ? '|' : c;
  return text + " / " + Marks(doc);
}

// "0123456789" with B over "345" and C collapsed before "8".
std::shared_ptr<host::Document> Sample(HostUnderTest& host) {
  auto doc = NewDoc(host, u"0123456789");
  doc->GetBookmarks().Add(u"B", 3, 6);
  doc->GetBookmarks().Add(u"C", 8, 8);
  return doc;
}

void TypingAroundABookmark(const HostFactory& factory) {
  HostUnderTest& host = factory();
  const struct {
    const char* name;
    long at;
    const char* marks;
    const char* or_marks;  // the other way a host may keep it
  } kCases[] = {
      {"before", 1, "B[5,8] C[10,10]", ""},
      {"inside", 4, "B[3,8] C[10,10]", ""},
      {"at its start", 3, "B[5,8] C[10,10]", ""},
      {"at its end", 6, "B[3,6] C[10,10]", ""},
      {"after", 7, "B[3,6] C[10,10]", ""},
      // A collapsed bookmark stays collapsed, before the text or after it.
      {"at a collapsed one", 8, "B[3,6] C[10,10]", "B[3,6] C[8,8]"},
  };
  for (const auto& k : kCases) {
    auto doc = Sample(host);
    TypeAt(host, k.at, u"XY");
    const std::string marks = Marks(*doc);
    EXPECT_TRUE(marks == k.marks || marks == k.or_marks) << "typed " << k.name << ": " << marks;
    doc->SetSaved(true);
    doc->Close();
  }
}

void SettingABookmarksTextKeepsIt(const HostFactory& factory) {
  HostUnderTest& host = factory();
  const struct {
    const char16_t* mark;
    const char16_t* text;
    const char* after;
  } kCases[] = {
      {u"B", u"ABCDEFG", "012ABCDEFG6789 / B[3,10] C[12,12]"},
      {u"B", u"", "0126789 / B[3,3] C[5,5]"},
      {u"B", u"X\rY", "012X|Y6789 / B[3,6] C[8,8]"},
      {u"C", u"XY", "01234567XY89 / B[3,6] C[8,10]"},
  };
  for (const auto& k : kCases) {
    auto doc = Sample(host);
    doc->GetBookmarks().Item(k.mark)->GetRange()->SetText(k.text);
    EXPECT_EQ(Snapshot(*doc), k.after) << "set the text of " << U8(k.mark);
    doc->SetSaved(true);
    doc->Close();
  }
}

// Saves a part "RED HEAD|" with Head over "RED" and BodyStart collapsed after the paragraph.
std::u16string SavePart(HostUnderTest& host) {
  auto part = NewDoc(host, u"RED HEAD\r");
  part->GetBookmarks().Add(u"Head", 0, 3);
  part->GetBookmarks().Add(u"BodyStart", 9, 9);
  const std::u16string path = Path(host, u"part" + host.SaveFormats().front());
  part->SaveAs(path);
  part->Close();
  return path;
}

void InsertedFileCarriesItsBookmarks(const HostFactory& factory) {
  HostUnderTest& host = factory();
  const std::u16string part = SavePart(host);
  auto doc = NewDoc(host, u"body");
  const auto selection = host.App().GetSelection();
  selection->SetRange(0, 0);
  selection->InsertFile(part);
  EXPECT_EQ(Snapshot(*doc), "RED HEAD|body / Head[0,3] BodyStart[9,9]");
}

void PastedTextCarriesItsBookmarks(const HostFactory& factory) {
  HostUnderTest& host = factory();
  auto source = NewDoc(host, u"head BODY tail");
  source->GetBookmarks().Add(u"Body", 5, 9);
  source->GetBookmarks().Add(u"Tail", 10, 14);
  host.App().GetSelection()->SetRange(2, 2);
  source->GetRange(4, 10)->Copy();
  const auto selected = host.App().GetSelection()->GetRange();
  EXPECT_EQ(selected->Start() * 100 + selected->End(), 202) << "copying keeps the selection";
  auto target = NewDoc(host, u"[]");
  host.App().GetSelection()->SetRange(1, 1);
  host.App().GetSelection()->Paste();
  EXPECT_EQ(Snapshot(*target), "[ BODY ] / Body[2,6]") << "into another document";
  EXPECT_EQ(Snapshot(*source), "head BODY tail / Body[5,9] Tail[10,14]") << "the source";
  source->Activate();
  host.App().GetSelection()->SetRange(14, 14);
  host.App().GetSelection()->Paste();
  EXPECT_EQ(U8(source->Content()->Text()), "head BODY tail BODY ") << "within the document";
  EXPECT_TRUE(source->GetBookmarks().Exists(u"Body"));
  EXPECT_EQ(source->GetBookmarks().Item(u"Tail")->End(), 14);
}

void RevisionsOnlyProtectionRecordsEveryEdit(const HostFactory& factory) {
  HostUnderTest& host = factory();
  host::Application& app = host.App();
  auto doc = NewDoc(host, u"draft");
  doc->Protect(host::kAllowOnlyRevisions, kPassword);
  EXPECT_TRUE(doc->TrackRevisions());
  EXPECT_EQ(HostErrorOf([&] { doc->SetTrackRevisions(false); }), host::kProtected);
  EXPECT_EQ(HostErrorOf([&] { doc->AcceptAllRevisions(); }), host::kProtected);
  EXPECT_TRUE(doc->TrackRevisions());
  app.SetUserName(u"张三");
  TypeAt(host, 5, u" text");
  app.SetUserName(u"李四");
  app.GetSelection()->SetRange(0, 1);
  app.GetSelection()->Delete();
  const std::vector<Revision> expected = {{false, u"d", u"李四"}, {true, u" text", u"张三"}};
  EXPECT_EQ(host.Revisions(*doc), expected);
  EXPECT_EQ(U8(doc->Content()->Text()), host.KeepsDeletedText() ? "draft text" : "raft text");
  EXPECT_EQ(doc->GetProtectionType(), host::kAllowOnlyRevisions);
}

void ProtectionRefusesASecondProtectAndAWrongPassword(const HostFactory& factory) {
  HostUnderTest& host = factory();
  auto doc = NewDoc(host, u"text");
  EXPECT_EQ(HostErrorOf([&] { doc->Unprotect(u"anything"); }), 0) << "not protected";
  doc->Protect(host::kAllowOnlyRevisions, kPassword);
  EXPECT_EQ(HostErrorOf([&] { doc->Protect(host::kAllowOnlyRevisions, kPassword); }),
            host::kProtected);
  EXPECT_EQ(HostErrorOf([&] { doc->Unprotect(u"wombat"); }), host::kWrongPassword);
  EXPECT_EQ(HostErrorOf([&] { doc->Unprotect(u""); }), host::kWrongPassword);
  EXPECT_EQ(doc->GetProtectionType(), host::kAllowOnlyRevisions);
  doc->Unprotect(kPassword);
  EXPECT_EQ(doc->GetProtectionType(), host::kNoProtection);
  doc->SetTrackRevisions(false);
  EXPECT_FALSE(doc->TrackRevisions());
}

void AcceptingAllRevisionsLeavesPlainText(const HostFactory& factory) {
  HostUnderTest& host = factory();
  auto doc = NewDoc(host, u"one two");
  doc->SetTrackRevisions(true);
  TypeAt(host, 7, u" three");
  host.App().GetSelection()->SetRange(0, 4);
  host.App().GetSelection()->Delete();
  EXPECT_EQ(host.Revisions(*doc).size(), 2u);
  doc->AcceptAllRevisions();
  EXPECT_TRUE(host.Revisions(*doc).empty());
  EXPECT_EQ(U8(doc->Content()->Text()), "two three");
}

// In a document that records changes, as on the hand-overs after an approval: a bookmark's
// list value (several paragraphs) replaced, the file saved and opened again, and replaced
// again, as each merge of the road does; and the same in a document protected for revisions. The
// new value starts where the old one did, in its own order; accepting leaves only the last one.
void RecordedReplacementsStartWhereTheOldText(const HostFactory& factory) {
  HostUnderTest& host = factory();
  for (const bool locked : {false, true}) {
    for (const std::u16string& format : host.SaveFormats()) {
      const std::string where = U8(format) + (locked ? " locked" : "");
      const std::u16string path = Path(host, u"merged" + format);
      // "012A|B|C6789" with B over the list "A|B|C" and C collapsed before "8".
      auto doc = NewDoc(host, u"012A\rB\rC6789");
      doc->GetBookmarks().Add(u"B", 3, 8);
      doc->GetBookmarks().Add(u"C", 10, 10);
      if (locked) doc->Protect(host::kAllowOnlyRevisions, kPassword);
      doc->SetTrackRevisions(true);
      bool first = true;
      for (const std::u16string value : {u"X\rY\rZ", u"X\rY\rZ", u"P\rQ"}) {
        // (a protected document stays open: protection is kept by each format its own way)
        if (!std::exchange(first, false) && !locked) {
          doc->SaveAs(path);
          doc->Close();
          doc = host.App().GetDocuments().Open(path, true);
        }
        const auto mark = doc->GetBookmarks().Item(u"B");
        const long start = mark->Start();
        mark->GetRange()->SetText(value);
        const long end = start + static_cast<long>(value.size());
        EXPECT_EQ(U8(doc->GetRange(start, end)->Text()), U8(value)) << where << Snapshot(*doc);
        EXPECT_EQ(U8(doc->GetBookmarks().Item(u"B")->GetRange()->Text()), U8(value)) << where;
      }
      if (locked) doc->Unprotect(kPassword);
      doc->AcceptAllRevisions();
      EXPECT_EQ(Snapshot(*doc), "012P|Q6789 / B[3,6] C[8,8]") << where;
      doc->SetSaved(true);
      doc->Close();
    }
  }
}

void UndoTakesBackExactlyTheEditsAsked(const HostFactory& factory) {
  HostUnderTest& host = factory();
  host::Application& app = host.App();
  const std::u16string part = SavePart(host);
  auto doc = NewDoc(host, u"one");
  const auto selection = app.GetSelection();
  doc->GetRange(0, 3)->Copy();
  // Each edit is one action of the host's undo history, as the core counts them.
  const std::vector<std::function<void()>> edits = {
      [&] { selection->TypeText(u" two\rthree"); },
      [&] { doc->GetBookmarks().Add(u"Two", 4, 7); },
      [&] {  // a merge step: its text, then its span set again (no action of its own)
        const auto two = doc->GetBookmarks().Item(u"Two");
        two->GetRange()->SetText(u"2\r2");
        two->SetStart(4);
        two->SetEnd(6);
      },
      [&] { selection->SetRange(0, 0), selection->Paste(); },
      [&] { doc->GetBookmarks().Add(u"Mark", 0, 0); },
      [&] { doc->GetBookmarks().Item(u"Two")->Delete(); },
      [&] { selection->WholeStory(), selection->Delete(); },
      [&] { selection->InsertFile(part); },
  };
  std::vector<std::string> states = {Snapshot(*doc)};
  for (const auto& edit : edits) {
    edit();
    states.push_back(Snapshot(*doc));
  }
  EXPECT_TRUE(doc->Undo(2));
  EXPECT_EQ(Snapshot(*doc), states[states.size() - 3]) << "two undone";
  for (size_t i = states.size() - 3; i > 0; --i) {
    EXPECT_TRUE(doc->Undo(1));
    EXPECT_EQ(Snapshot(*doc), states[i - 1]) << "edit " << i << " undone";
  }
  EXPECT_TRUE(doc->Undo(1));
  EXPECT_EQ(Snapshot(*doc), " / ") << "the first typing undone";
  EXPECT_FALSE(doc->Undo(1));
}

void SaveAndReopenKeepEverything(const HostFactory& factory) {
  HostUnderTest& host = factory();
  host::Application& app = host.App();
  for (const std::u16string& format : host.SaveFormats()) {
    const std::u16string path = Path(host, u"kept" + format);
    auto doc = NewDoc(host, u"标题\rbeta gamma");
    doc->GetBookmarks().Add(u"Title", 0, 2);
    doc->GetBookmarks().Add(u"Point", 10, 10);
    doc->SetTrackRevisions(true);
    app.SetUserName(u"张三");
    TypeAt(host, 13, u" delta");
    app.GetSelection()->SetRange(3, 8);
    app.GetSelection()->Delete();
    const std::string before = Snapshot(*doc);
    const std::vector<Revision> revisions = host.Revisions(*doc);
    EXPECT_EQ(revisions.size(), 2u) << U8(format);
    doc->SaveAs(path);
    doc->Close();
    auto again = app.GetDocuments().Open(path, true);
    EXPECT_EQ(Snapshot(*again), before) << U8(format);
    EXPECT_EQ(host.Revisions(*again), revisions) << U8(format);
    EXPECT_TRUE(again->TrackRevisions()) << U8(format);
    again->Close();
  }
}

// A 2 x 2 picture, red and white, as a 24-bit BMP.
void WriteDot(const std::u16string& path) {
  const unsigned char bmp[] = {
      'B', 'M', 70,   0,    0,   0,   0,    0,    0,   0,   54,  0,   0, 0, 40,  0, 0,  0,
      2,   0,   0,    0,    2,   0,   0,    0,    1,   0,   24,  0,   0, 0, 0,   0, 16, 0,
      0,   0,   0x13, 0x0b, 0,   0,   0x13, 0x0b, 0,   0,   0,   0,   0, 0, 0,   0, 0,  0,
      0,   0,   255,  255,  255, 255, 0,    0,    255, 255, 255, 255, 0, 0, 255, 0, 0,  0};
  std::ofstream(ToPath(path), std::ios::binary)
      .write(reinterpret_cast<const char*>(bmp), sizeof bmp);
}

void PictureLandsAtThePagePosition(const HostFactory& factory) {
  HostUnderTest& host = factory();
  const std::u16string dot = Path(host, u"dot.bmp");
  WriteDot(dot);
  for (const std::u16string& format : host.SaveFormats()) {
    SCOPED_TRACE(U8(format));
    auto doc = NewDoc(host, u"alpha\rbeta");
    host.App().GetSelection()->SetRange(0, 0);
    auto shape = doc->GetShapes().AddPicture(dot, false, true, 100, 200, 50, 40);
    shape->SetName(u"Dot");
    const float want[] = {100, 200, 50, 40};
    const float got[] = {shape->Left(), shape->Top(), shape->Width(), shape->Height()};
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(got[i], want[i], 1.0) << i;
    const std::u16string path = Path(host, u"pictured" + format);
    doc->SaveAs(path);
    doc->Close();
    auto again = host.App().GetDocuments().Open(path, true);
    ASSERT_EQ(again->GetShapes().Count(), 1);
    const auto kept = again->GetShapes().Item(1);
    EXPECT_EQ(U8(kept->Name()), "Dot");
    const float back[] = {kept->Left(), kept->Top(), kept->Width(), kept->Height()};
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(back[i], want[i], 1.0) << i;
    again->Close();
  }
}

void BookmarksByPositionThenName(const HostFactory& factory) {
  HostUnderTest& host = factory();
  auto doc = NewDoc(host, u"alpha beta gamma");
  host::Bookmarks& marks = doc->GetBookmarks();
  marks.Add(u"Zeta", 0, 5);
  marks.Add(u"Beta", 6, 10);
  marks.Add(u"Alpha", 0, 0);
  EXPECT_EQ(Marks(*doc), "Alpha[0,0] Zeta[0,5] Beta[6,10]");
  EXPECT_EQ(HostErrorOf([&] { marks.Item(0); }), host::kNoSuchMember);
  EXPECT_EQ(HostErrorOf([&] { marks.Item(4); }), host::kNoSuchMember);
  EXPECT_FALSE(marks.Exists(u"Missing"));
  EXPECT_EQ(HostErrorOf([&] { marks.Item(u"Missing"); }), host::kNoSuchMember);
  auto beta = marks.Item(u"Beta");
  beta->SetStart(12);  // past the end: the end moves along
  EXPECT_EQ(beta->End(), 12);
  beta->SetEnd(16);
  EXPECT_EQ(U8(beta->GetRange()->Text()), "amma");
  beta->Delete();
  EXPECT_EQ(HostErrorOf([&] { beta->Start(); }), host::kObjectDeleted);
  EXPECT_EQ(U8(doc->Content()->Text()), "alpha beta gamma");
}

void HandlesOfAClosedDocumentAreDeleted(const HostFactory& factory) {
  HostUnderTest& host = factory();
  auto doc = NewDoc(host, u"text");
  auto mark = doc->GetBookmarks().Add(u"Mark", 0, 4);
  auto range = doc->GetRange(1, 3);
  host::Bookmarks& marks = doc->GetBookmarks();
  doc->SetSaved(true);
  doc->Close();
  EXPECT_EQ(HostErrorOf([&] { mark->Start(); }), host::kObjectDeleted) << "bookmark";
  EXPECT_EQ(HostErrorOf([&] { range->Text(); }), host::kObjectDeleted) << "range";
  EXPECT_EQ(HostErrorOf([&] { range->SetText(u"x"); }), host::kObjectDeleted) << "range";
  EXPECT_EQ(HostErrorOf([&] { doc->Content(); }), host::kObjectDeleted) << "document";
  EXPECT_EQ(HostErrorOf([&] { doc->Save(); }), host::kObjectDeleted) << "document";
  EXPECT_EQ(HostErrorOf([&] { marks.Item(u"Mark"); }), host::kObjectDeleted) << "bookmarks";
  EXPECT_FALSE(marks.Exists(u"Mark"));
  EXPECT_EQ(host.App().GetDocuments().Count(), 0);
}

void CloseAll(HostUnderTest& host) {
  host::Documents& docs = host.App().GetDocuments();
  for (long left = docs.Count(); left > 0; --left) {
    const auto doc = docs.Item(docs.Count());
    doc->SetSaved(true);
    doc->Close();
  }
}

}  // namespace

const std::vector<ConformanceCase>& ConformanceCases() {
  static const std::vector<ConformanceCase> cases = {
      {"TypingAroundABookmark", TypingAroundABookmark},
      {"SettingABookmarksTextKeepsIt", SettingABookmarksTextKeepsIt},
      {"InsertedFileCarriesItsBookmarks", InsertedFileCarriesItsBookmarks},
      {"PastedTextCarriesItsBookmarks", PastedTextCarriesItsBookmarks},
      {"RevisionsOnlyProtectionRecordsEveryEdit", RevisionsOnlyProtectionRecordsEveryEdit},
      {"ProtectionRefusesASecondProtectAndAWrongPassword",
       ProtectionRefusesASecondProtectAndAWrongPassword},
      {"AcceptingAllRevisionsLeavesPlainText", AcceptingAllRevisionsLeavesPlainText},
      {"RecordedReplacementsStartWhereTheOldText", RecordedReplacementsStartWhereTheOldText},
      {"UndoTakesBackExactlyTheEditsAsked", UndoTakesBackExactlyTheEditsAsked},
      {"SaveAndReopenKeepEverything", SaveAndReopenKeepEverything},
      {"BookmarksByPositionThenName", BookmarksByPositionThenName},
      {"HandlesOfAClosedDocumentAreDeleted", HandlesOfAClosedDocumentAreDeleted},
      {"PictureLandsAtThePagePosition", PictureLandsAtThePagePosition},
  };
  return cases;
}

void RunConformanceCases(const HostFactory& host) {
  for (const ConformanceCase& c : ConformanceCases()) {
    SCOPED_TRACE(c.name);
    if (c.run == nullptr) {
      std::cout << "[ NOT YET  ] " << c.name << "\n";
      continue;
    }
    try {
      c.run(host);
    } catch (const Error& e) {
      ADD_FAILURE() << c.name << ": host error " << e.number() << ": " << U8(e.description());
    }
    try {
      CloseAll(host());
    } catch (const Error& e) {
      ADD_FAILURE() << c.name << ": closing its documents: " << U8(e.description());
    }
  }
}

}  // namespace qnmuro::conformance
