#include "simhost/sim_text.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "base/text.h"

namespace qnmuro::simhost {
namespace {

using Mode = TextStore::Mode;

// "0123456789" with bookmark B over "345" ([3, 6]) and bookmark C collapsed at 3.
TextStore Sample() {
  TextStore s;
  s.Load(u"0123456789", {{0, u"B", 3, 6}, {0, u"C", 3, 3}}, {}, {});
  return s;
}

struct Span {
  long start, end;  // -1, -1: the bookmark is gone
  bool operator==(const Span&) const = default;
};

Span SpanOf(const TextStore& s, std::u16string_view name) {
  long i = s.FindBookmark(name);
  return i < 0 ? Span{-1, -1} : Span{s.BookmarkStart(i), s.BookmarkEnd(i)};
}

struct EditCase {
  const char* name;  // the test's name
  long start, end;
  const char16_t* text;
  Mode mode;
  Span b, c;
};

// The edit as the call that makes it, for the test listing: Replace(1, 1, "XY", typing).
void PrintTo(const EditCase& k, std::ostream* os) {
  *os << "Replace(" << k.start << ", " << k.end << ", \"" << U8(k.text) << "\", "
      << (k.mode == Mode::kTyping ? "typing" : "set text") << ")";
}

class SimBookmarkMovementTest : public ::testing::TestWithParam<EditCase> {};

TEST_P(SimBookmarkMovementTest, FollowsTheEdit) {
  const EditCase& k = GetParam();
  TextStore s = Sample();
  s.Replace(k.start, k.end, k.text, k.mode, 0, {});
  EXPECT_EQ(SpanOf(s, u"B"), k.b) << k.name;
  EXPECT_EQ(SpanOf(s, u"C"), k.c) << k.name;
}

INSTANTIATE_TEST_SUITE_P(
    SimTable, SimBookmarkMovementTest,
    ::testing::Values(
        EditCase{"InsertBefore", 1, 1, u"XY", Mode::kTyping, {5, 8}, {5, 5}},
        EditCase{"InsertInside", 4, 4, u"XY", Mode::kTyping, {3, 8}, {3, 3}},
        EditCase{"InsertAtStartGoesBefore", 3, 3, u"XY", Mode::kTyping, {5, 8}, {5, 5}},
        EditCase{"InsertAtEndStaysOutside", 6, 6, u"XY", Mode::kTyping, {3, 6}, {3, 3}},
        EditCase{"InsertAfter", 8, 8, u"XY", Mode::kTyping, {3, 6}, {3, 3}},
        EditCase{"DeleteBefore", 0, 2, u"", Mode::kTyping, {1, 4}, {1, 1}},
        EditCase{"DeleteTouchingStart", 1, 3, u"", Mode::kTyping, {1, 4}, {1, 1}},
        EditCase{"DeleteInside", 4, 5, u"", Mode::kTyping, {3, 5}, {3, 3}},
        EditCase{"DeleteAcrossStartClips", 2, 4, u"", Mode::kTyping, {2, 4}, {2, 2}},
        EditCase{"DeleteAcrossEndClips", 5, 8, u"", Mode::kTyping, {3, 5}, {3, 3}},
        EditCase{"DeleteExactlyRemoves", 3, 6, u"", Mode::kTyping, {-1, -1}, {3, 3}},
        EditCase{"DeleteCoveringRemoves", 2, 7, u"", Mode::kTyping, {-1, -1}, {2, 2}},
        EditCase{"DeleteTouchingEnd", 6, 8, u"", Mode::kTyping, {3, 6}, {3, 3}},
        EditCase{"DeleteAfter", 7, 9, u"", Mode::kTyping, {3, 6}, {3, 3}},
        EditCase{"TypingOverTheBookmarkRemovesIt", 3, 6, u"Z", Mode::kTyping, {-1, -1}, {4, 4}},
        EditCase{"SetTextOfExactlyTheSpanKeepsIt",
                 3,
                 6,
                 u"ABCDEFG",
                 Mode::kReplaceRange,
                 {3, 10},
                 {10, 10}},
        EditCase{"SetEmptyTextKeepsItCollapsed", 3, 6, u"", Mode::kReplaceRange, {3, 3}, {3, 3}},
        EditCase{"SetTextInsideGrows", 4, 5, u"XYZ", Mode::kReplaceRange, {3, 8}, {3, 3}},
        EditCase{"SetTextAcrossStart", 2, 4, u"Q", Mode::kReplaceRange, {3, 5}, {3, 3}},
        EditCase{"SetTextEndingAtItsEndKeepsIt", 4, 6, u"QQQ", Mode::kReplaceRange, {3, 7}, {3, 3}},
        EditCase{
            "SetTextOverMoreThanItRemovesIt", 2, 7, u"Z", Mode::kReplaceRange, {-1, -1}, {3, 3}},
        EditCase{"SetTextAtAPointIsAnInsertion", 3, 3, u"AB", Mode::kReplaceRange, {5, 8}, {5, 5}}),
    [](const ::testing::TestParamInfo<EditCase>& info) { return std::string(info.param.name); });

TEST(SimTextStoreTest, RangeOfACollapsedBookmarkKeepsThatBookmarkOnly) {
  TextStore s;
  s.Load(u"0123456789", {{0, u"X", 3, 3}, {0, u"Y", 3, 3}}, {}, {});
  uint64_t x = s.BookmarkId(s.FindBookmark(u"X"));
  s.Replace(3, 3, u"AB", Mode::kReplaceRange, x, {});
  EXPECT_EQ(SpanOf(s, u"X"), (Span{3, 5}));
  EXPECT_EQ(SpanOf(s, u"Y"), (Span{5, 5}));
  EXPECT_EQ(s.BookmarkName(0), u"X");
}

TEST(SimTextStoreTest, DataMergeFillsEveryBookmarkInTurn) {
  TextStore s;
  std::u16string text;
  std::vector<BookmarkRec> marks;
  for (int i = 0; i < 20; ++i) {
    long start = static_cast<long>(text.size()) + 3;
    text += u"F: " + ToText(i) + u"\r";
    // Even ones cover the number, odd ones are collapsed.
    long end = i % 2 == 0 ? static_cast<long>(text.size()) - 1 : start;
    marks.push_back({0, u"m" + ToText(100 + i), start, end});
  }
  s.Load(text, marks, {}, {});
  for (long i = 0; i < s.BookmarkCount(); ++i) {
    std::u16string value = i % 3 == 0 ? u"" : u"值" + ToText(i * 7);
    long start = s.BookmarkStart(i);
    s.Replace(start, s.BookmarkEnd(i), value, Mode::kReplaceRange, s.BookmarkId(i), {});
    long len = static_cast<long>(value.size());
    s.MoveBookmark(i, start, start + len);
  }
  for (long i = 0; i < s.BookmarkCount(); ++i) {
    std::u16string value = i % 3 == 0 ? u"" : u"值" + ToText(i * 7);
    EXPECT_EQ(s.BookmarkName(i), u"m" + ToText(100 + i));
    EXPECT_EQ(s.Slice(s.BookmarkStart(i), s.BookmarkEnd(i)), value) << i;
  }
}

TEST(SimTextStoreTest, UndoRestoresTextAndBookmarks) {
  TextStore s = Sample();
  s.Replace(3, 6, u"", Mode::kTyping, 0, {});  // removes B
  s.Replace(0, 0, u"AB", Mode::kTyping, 0, {});
  s.AddBookmark(u"N", 0, 2);
  s.DeleteBookmark(s.FindBookmark(u"C"));
  EXPECT_EQ(s.UndoDepth(), 4);
  ASSERT_TRUE(s.Undo());  // the delete of C
  EXPECT_EQ(SpanOf(s, u"C"), (Span{5, 5}));
  ASSERT_TRUE(s.Undo());  // the add of N
  EXPECT_EQ(SpanOf(s, u"N"), (Span{-1, -1}));
  ASSERT_TRUE(s.Undo());
  ASSERT_TRUE(s.Undo());
  EXPECT_EQ(s.Text(), u"0123456789");
  EXPECT_EQ(SpanOf(s, u"B"), (Span{3, 6}));
  EXPECT_EQ(SpanOf(s, u"C"), (Span{3, 3}));
  EXPECT_FALSE(s.Undo());
}

TEST(SimTextStoreTest, UndoOfAMergeStepRestoresTheBookmarkSpan) {
  TextStore s;
  s.Load(u"ab\rcd\ref", {{0, u"P", 0, 2}, {0, u"Q", 3, 5}, {0, u"R", 6, 8}}, {}, {});
  long q = s.FindBookmark(u"Q");
  s.Replace(3, 5, u"LONGER", Mode::kReplaceRange, s.BookmarkId(q), {});
  s.MoveBookmark(q, 3, 9);
  EXPECT_EQ(SpanOf(s, u"R"), (Span{10, 12}));
  ASSERT_TRUE(s.Undo());
  EXPECT_EQ(s.Text(), u"ab\rcd\ref");
  EXPECT_EQ(SpanOf(s, u"P"), (Span{0, 2}));
  EXPECT_EQ(SpanOf(s, u"Q"), (Span{3, 5}));
  EXPECT_EQ(SpanOf(s, u"R"), (Span{6, 8}));
}

TEST(SimTextStoreTest, PasteReplacesSameNamedBookmarksAndUndoBringsThemBack) {
  TextStore s = Sample();
  Fragment f;
  f.text = u"xyz";
  f.bookmarks = {{0, u"B", 1, 2}, {0, u"D", 0, 3}};
  s.InsertFragment(8, 8, f, {});
  EXPECT_EQ(s.Text(), u"01234567xyz89");
  EXPECT_EQ(SpanOf(s, u"B"), (Span{9, 10}));
  EXPECT_EQ(SpanOf(s, u"D"), (Span{8, 11}));
  ASSERT_TRUE(s.Undo());
  EXPECT_EQ(s.Text(), u"0123456789");
  EXPECT_EQ(SpanOf(s, u"B"), (Span{3, 6}));
  EXPECT_EQ(SpanOf(s, u"D"), (Span{-1, -1}));
}

TEST(SimTextStoreTest, CopyTakesWholeBookmarksAndPicturesOnly) {
  TextStore s = Sample();
  ShapeRec pic;
  pic.name = u"P";
  pic.anchor = 4;
  s.AddShape(pic);
  Fragment f = s.Copy(2, 7);
  EXPECT_EQ(f.text, u"23456");
  ASSERT_EQ(f.bookmarks.size(), 2u);
  EXPECT_EQ(f.bookmarks[0].name, u"B");
  EXPECT_EQ(f.bookmarks[0].start, 1);
  ASSERT_EQ(f.shapes.size(), 1u);
  EXPECT_EQ(f.shapes[0].anchor, 2);
  EXPECT_TRUE(s.Copy(4, 9).bookmarks.empty());
}

TEST(SimTextStoreTest, DeletingTheAnchorRemovesThePicture) {
  TextStore s = Sample();
  ShapeRec pic;
  pic.anchor = 4;
  s.AddShape(pic);
  s.Replace(0, 2, u"", Mode::kTyping, 0, {});
  ASSERT_EQ(s.Shapes().size(), 1u);
  EXPECT_EQ(s.Shapes()[0].anchor, 2);
  s.Replace(1, 3, u"", Mode::kTyping, 0, {});
  EXPECT_TRUE(s.Shapes().empty());
  s.Undo();
  EXPECT_EQ(s.Shapes().size(), 1u);
}

TEST(SimTextStoreTest, TrackedEditsBecomeRevisions) {
  TextStore s;
  s.Load(u"hello world", {}, {}, {});
  TrackInfo a{true, u"甲", TimePoint{}};
  TrackInfo b{true, u"乙", TimePoint{}};
  s.Replace(5, 5, u",", Mode::kTyping, 0, a);
  s.Replace(6, 6, u"!", Mode::kTyping, 0, a);  // continues the same insertion
  s.Replace(0, 5, u"", Mode::kTyping, 0, b);
  s.Replace(1, 1, u"Z", Mode::kTyping, 0, b);  // inside 甲's insertion: splits it
  EXPECT_EQ(s.Text(), u",Z! world");
  const auto& r = s.Revisions();
  ASSERT_EQ(r.size(), 4u);
  EXPECT_EQ(r[0].kind, hostkit::RevisionInfo::Kind::kDelete);
  EXPECT_EQ(r[0].deleted_text, u"hello");
  EXPECT_EQ(r[0].author, u"乙");
  EXPECT_EQ(s.Slice(r[1].start, r[1].end), u",");
  EXPECT_EQ(r[1].author, u"甲");
  EXPECT_EQ(s.Slice(r[2].start, r[2].end), u"Z");
  EXPECT_EQ(r[2].author, u"乙");
  EXPECT_EQ(s.Slice(r[3].start, r[3].end), u"!");
  s.AcceptAllRevisions();
  EXPECT_TRUE(s.Revisions().empty());
  EXPECT_EQ(s.Text(), u",Z! world");
}

TEST(SimTextStoreTest, UntrackedEditsMoveRevisions) {
  TextStore s;
  s.Load(u"abc", {}, {}, {});
  s.Replace(1, 1, u"XX", Mode::kTyping, 0, {true, u"a", TimePoint{}});
  s.Replace(0, 0, u">>", Mode::kTyping, 0, {});
  ASSERT_EQ(s.Revisions().size(), 1u);
  EXPECT_EQ(s.Slice(s.Revisions()[0].start, s.Revisions()[0].end), u"XX");
  s.Replace(3, 5, u"", Mode::kTyping, 0, {});
  EXPECT_TRUE(s.Revisions().empty());
}

TEST(SimTextStoreTest, LoadKeepsTheLastOfTwoSameNamedBookmarks) {
  TextStore s;
  s.Load(u"abcdef", {{0, u"A", 0, 2}, {0, u"B", 1, 1}, {0, u"A", 3, 9}}, {}, {});
  ASSERT_EQ(s.BookmarkCount(), 2);
  EXPECT_EQ(SpanOf(s, u"A"), (Span{3, 6}));  // clamped to the text
  EXPECT_EQ(s.BookmarkName(0), u"B");
}

// Everything an undo must put back, as text.
std::string Dump(const TextStore& s) {
  std::string out = U8(s.Text()) + "|";
  for (long i = 0; i < s.BookmarkCount(); ++i) {
    out += U8(s.BookmarkName(i)) + ":" + std::to_string(s.BookmarkStart(i)) + "-" +
           std::to_string(s.BookmarkEnd(i)) + " ";
  }
  out += "|";
  for (const auto& p : s.Shapes()) {
    out += U8(p.name) + "@" + std::to_string(p.anchor) + "z" + std::to_string(p.z) + " ";
  }
  out += "|";
  for (const auto& r : s.Revisions()) {
    out += (r.kind == hostkit::RevisionInfo::Kind::kDelete ? "D" : "I") + std::to_string(r.start) +
           "-" + std::to_string(r.end) + U8(r.author) + U8(r.deleted_text) + " ";
  }
  return out;
}

// A merge over many bookmarks sharing one place, beside revisions and pictures: each step
// holds only what it changed (a copy of them all made the history grow quadratically), and
// undoing every step gives back exactly the document as it was loaded.
TEST(SimTextStoreTest, UndoHistoryHoldsOnlyWhatEachStepChanged) {
  constexpr int kShared = 2000, kSteps = 200;
  std::u16string text(1000, u'x');
  std::vector<BookmarkRec> marks = {{0, u"Whole", 0, 1000}, {0, u"Head", 0, 4}};
  for (int i = 0; i < kShared; ++i) marks.push_back({0, u"m" + ToText(10000 + i), 500, 500});
  std::vector<ShapeRec> pictures;
  std::vector<RevisionRec> revisions;
  for (int i = 0; i < 300; ++i) {
    pictures.push_back({0, u"P" + ToText(i), 3 * i, 0, 0, 1, 1, true, false, i, nullptr});
    RevisionRec r;
    r.kind =
        i % 2 == 0 ? hostkit::RevisionInfo::Kind::kInsert : hostkit::RevisionInfo::Kind::kDelete;
    r.start = 3 * i;
    r.end = r.start + (i % 2 == 0 ? 2 : 0);
    r.deleted_text = i % 2 == 0 ? u"" : u"gone";
    r.author = u"乙";
    revisions.push_back(std::move(r));
  }
  TextStore s;
  s.Load(text, marks, pictures, revisions);
  const std::string loaded = Dump(s);
  const TrackInfo tracked{true, u"甲", TimePoint{}};
  for (int i = 0; i < kSteps; ++i) {
    long k = s.FindBookmark(u"m" + ToText(10000 + i));
    long start = s.BookmarkStart(k);
    s.Replace(start, s.BookmarkEnd(k), u"值", Mode::kReplaceRange, s.BookmarkId(k),
              i % 2 == 0 ? tracked : TrackInfo{});
    s.MoveBookmark(s.FindBookmark(u"m" + ToText(10000 + i)), start, start + 1);
  }
  EXPECT_LT(s.UndoBytes(), size_t{kSteps} * 1024) << "per step, bytes";
  // Steps of every kind, each undone in turn.
  Fragment f;
  f.text = u"粘贴";
  f.bookmarks = {{0, u"Head", 0, 1}, {0, u"New", 1, 2}};
  f.shapes = {pictures[0]};
  s.InsertFragment(10, 20, f, tracked);
  s.Replace(290, 700, u"", Mode::kTyping, 0, tracked);
  s.Replace(0, 100, u"前", Mode::kReplaceRange, 0, {});
  s.AddBookmark(u"Whole", 3, 5);
  s.DeleteBookmark(s.FindBookmark(u"Whole"));
  s.DeleteShape(1);
  s.AddShape(pictures[2]);
  s.AcceptAllRevisions();
  while (s.Undo()) {
  }
  EXPECT_EQ(Dump(s), loaded);
  EXPECT_EQ(s.UndoBytes(), 0u);
}

TEST(SimTextStoreTest, UndoHistoryKeepsWithinItsBudget) {
  TextStore s;
  s.Load(std::u16string(1000, u'a'), {}, {}, {});
  s.SetUndoBudget(64 << 10);
  for (int i = 0; i < 100; ++i) {
    s.Replace(0, 1000, std::u16string(1000, i % 2 == 0 ? u'b' : u'a'), Mode::kTyping, 0, {});
  }
  EXPECT_LE(s.UndoBytes(), size_t{64} << 10);
  EXPECT_GT(s.UndoDepth(), 10);
  EXPECT_LT(s.UndoDepth(), 40);  // the oldest steps went
  // Undoing what is left gives the text as the first step kept found it (step i wrote 'b'
  // when i was even).
  const long first_kept = 100 - s.UndoDepth();
  while (s.Undo()) {
  }
  EXPECT_EQ(s.Text(), std::u16string(1000, (first_kept - 1) % 2 == 0 ? u'b' : u'a'));
}

TEST(SimGapTextTest, EditsAnywhereKeepTheText) {
  GapText t;
  std::u16string model = u"The quick brown fox";
  t.Assign(model);
  const struct {
    long a, b;
    const char16_t* s;
  } edits[] = {{4, 9, u"slow"}, {0, 0, u">"}, {19, 19, u" jumps"}, {10, 11, u""}, {2, 2, u"🙂"}};
  for (const auto& e : edits) {
    t.Replace(e.a, e.b, e.s);
    model.replace(e.a, e.b - e.a, e.s);
    EXPECT_EQ(t.All(), model);
    EXPECT_EQ(t.Slice(3, 9), model.substr(3, 6));
  }
  EXPECT_EQ(t.Slice(-5, 1000), model);
}

}  // namespace
}  // namespace qnmuro::simhost
