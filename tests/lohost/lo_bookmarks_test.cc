// Bookmarks of the Writer host read one after the other while a merge replaces their text, as
// the core's merge does: what the host says of them after each step is what Writer has, read
// afresh, and undoing the steps one by one brings each earlier state back.
#include <gtest/gtest.h>

#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/text/XBookmarksSupplier.hpp>

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "base/text.h"
#include "lohost/lo_model.h"
#include "lohost/writer_host.h"
#include "platform/ui.h"
#include "support/temp_dir.h"

namespace qnmuro::lohost {
namespace {

using css::uno::UNO_QUERY_THROW;

struct Mark {
  const char16_t* name;
  long start, end;
};

struct MergeCase {
  const char* name;
  const char16_t* text;
  std::vector<Mark> marks;
  std::map<std::u16string, std::u16string> values;  // by bookmark name
  bool recorded = false;                            // the document records changes
};

const MergeCase kCases[] = {
    {"adjacent",
     u"0123456789",
     {{u"A", 2, 4}, {u"B", 4, 6}, {u"C", 6, 8}},
     {{u"A", u"xyz"}, {u"B", u""}, {u"C", u"p\rq"}}},
    {"nested",
     u"0123456789",
     {{u"Outer", 1, 9}, {u"Inner", 3, 5}, {u"Tail", 9, 10}},
     {{u"Inner", u"abcdef"}, {u"Outer", u"Q"}, {u"Tail", u"t"}}},
    {"collapsed at both ends",
     u"0123456789",
     {{u"P", 3, 3}, {u"B", 3, 6}, {u"Q", 6, 6}},
     {{u"B", u"XY"}, {u"P", u"p"}, {u"Q", u"q"}}},
    {"equal starts",
     u"alpha beta gamma",
     {{u"Zeta", 0, 5}, {u"Alpha", 0, 0}, {u"Mid", 0, 5}},
     {{u"Zeta", u"Z"}, {u"Alpha", u"A"}, {u"Mid", u"M\rM"}}},
    {"paragraphs",
     u"one\rtwo\rthree",
     {{u"A", 0, 3}, {u"B", 4, 7}, {u"C", 8, 13}},
     {{u"B", u"2\r2\r2"}, {u"A", u""}, {u"C", u"three!"}}},
    {"around a merged one",
     u"[head body tail]",
     {{u"All", 1, 15}, {u"Body", 6, 10}},
     {{u"Body", u"BODY TEXT"}}},
    {"recorded",
     u"one\rtwo\rthree",
     {{u"A", 0, 3}, {u"B", 4, 7}, {u"C", 8, 13}},
     {{u"A", u"1"}, {u"B", u"2\r2"}, {u"C", u""}},
     true},
    {"recorded adjacent",
     u"0123456789",
     {{u"A", 2, 4}, {u"B", 4, 6}},
     {{u"A", u"xyz"}, {u"B", u"w"}},
     true},
};

class LoBookmarksTest : public ::testing::TestWithParam<MergeCase> {
 protected:
  static void SetUpTestSuite() {
    if (!WriterInstalled()) return;
    dir_ = new test_util::TempDir;
    hostkit::HostOptions options;
    options.ui = &ui_;
    options.work_dir = FromPath(dir_->path());
    app_ = StartWriterHost(options, {}).release();
  }
  static void TearDownTestSuite() {
    delete app_;
    app_ = nullptr;
    delete dir_;
    dir_ = nullptr;
  }
  void SetUp() override {
    if (!WriterInstalled()) GTEST_SKIP() << "LibreOffice Writer is not installed";
  }
  void TearDown() override {
    if (app_ == nullptr) return;
    while (app_->GetDocuments().Count() > 0) {
      auto doc = app_->GetDocuments().Item(1);
      doc->SetSaved(true);
      doc->Close();
    }
  }

  static inline ScriptedUi ui_;
  static inline test_util::TempDir* dir_ = nullptr;
  static inline hostkit::ScriptHost* app_ = nullptr;
};

// "A[2,4] B[4,6]": the bookmarks as the host reads them, in collection order.
std::string HostMarks(host::Document& doc) {
  host::Bookmarks& marks = doc.GetBookmarks();
  std::string out;
  for (long i = 1; i <= marks.Count(); ++i) {
    const auto mark = marks.Item(i);
    out += (out.empty() ? "" : " ") + U8(mark->Name()) + "[" + std::to_string(mark->Start()) + "," +
           std::to_string(mark->End()) + "]";
  }
  return out;
}

// The same, read from Writer with nothing of the host's in between: each bookmark measured
// from the start of the text, in order of start, then name.
std::string WriterMarks(LoDocument& doc) {
  const Reference<css::text::XText> text = doc.model()->getText();
  const Reference<css::container::XNameAccess> all =
      Reference<css::text::XBookmarksSupplier>(doc.model(), UNO_QUERY_THROW)->getBookmarks();
  std::vector<std::pair<std::pair<long, std::u16string>, long>> spans;
  for (const OUString& name : all->getElementNames()) {
    Reference<css::text::XTextContent> mark;
    all->getByName(name) >>= mark;
    const Reference<css::text::XTextRange> anchor = mark->getAnchor();
    const Reference<css::text::XTextCursor> cursor =
        text->createTextCursorByRange(text->getStart());
    cursor->gotoRange(anchor->getStart(), true);
    const long start = cursor->getString().getLength();
    spans.push_back({{start, U16(name)}, start + anchor->getString().getLength()});
  }
  std::sort(spans.begin(), spans.end());
  std::string out;
  for (const auto& [key, end] : spans) {
    out += (out.empty() ? "" : " ") + U8(key.second) + "[" + std::to_string(key.first) + "," +
           std::to_string(end) + "]";
  }
  return out;
}

TEST_P(LoBookmarksTest, MergeStepsReadAsWriterHasThemAndUndoBackStepByStep) {
  const MergeCase& c = GetParam();
  auto doc = app_->GetDocuments().Add();
  app_->GetSelection()->TypeText(c.text);
  for (const Mark& m : c.marks) doc->GetBookmarks().Add(m.name, m.start, m.end);
  if (c.recorded) doc->SetTrackRevisions(true);
  LoDocument& writer = dynamic_cast<LoDocument&>(*doc);
  std::vector<std::string> states = {HostMarks(*doc)};
  ASSERT_EQ(states.back(), WriterMarks(writer));

  // The core's merge: by position in the collection, the text of each, its span set again
  // (the count read each time: Writer drops a bookmark that lay within a replaced text).
  host::Bookmarks& bookmarks = doc->GetBookmarks();
  int steps = 0;
  for (long i = 1; i <= bookmarks.Count(); ++i) {
    const auto mark = bookmarks.Item(i);
    const auto value = c.values.find(mark->Name());
    if (value == c.values.end()) continue;
    SCOPED_TRACE(U8(mark->Name()));
    const long start = mark->Start();
    mark->GetRange()->SetText(value->second);
    mark->SetStart(start);
    mark->SetEnd(start + static_cast<long>(value->second.size()));
    ++steps;
    EXPECT_EQ(U8(mark->GetRange()->Text()), U8(value->second));
    states.push_back(HostMarks(*doc));
    EXPECT_EQ(states.back(), WriterMarks(writer)) << "after step " << steps;
  }
  EXPECT_GT(steps, 0);

  for (int step = steps; step > 0; --step) {
    EXPECT_TRUE(doc->Undo(1));
    EXPECT_EQ(HostMarks(*doc), states[step - 1]) << "step " << step << " undone";
    EXPECT_EQ(HostMarks(*doc), WriterMarks(writer)) << "step " << step << " undone";
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, LoBookmarksTest, ::testing::ValuesIn(kCases), [](const auto& info) {
  std::string name = info.param.name;
  for (char& ch : name) ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
  return name;
});

}  // namespace
}  // namespace qnmuro::lohost
