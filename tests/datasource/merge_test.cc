// Merging a data source into the active document's bookmarks and writing them back, on the
// simulated word processor.
#include "datasource/merge.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/addin_fixture.h"

namespace qnmuro::test_util {
namespace {

std::string Items(const std::string& items) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><root><items>" + items + "</items></root>";
}

std::string Item(const std::string& name, const std::string& desc, const std::string& value) {
  return "<item><name>" + name + "</name><desc>" + desc + "</desc><value>" + value +
         "</value></item>";
}

class MergeTest : public AddinTest {
 protected:
  // A plain (non-workflow) document "m.doc" with the given text and bookmarks, open and active.
  std::shared_ptr<host::Document> OpenDoc(const DocumentLayout& layout) {
    MakeDocument(u"m.doc", layout);
    return Open(u"m.doc");
  }
  struct Mark {
    long start, end;
    std::u16string text;
  };
  Mark Of(host::Document& doc, std::u16string_view name) {
    const auto b = doc.GetBookmarks().Item(name);
    return {b->Start(), b->End(), b->GetRange()->Text()};
  }
};

TEST_F(MergeTest, EachBookmarkEnclosesExactlyItsValue) {
  const auto doc = OpenDoc(
      {u"[甲][乙][丙][丁]\r", {{u"甲", 1, 2}, {u"乙", 4, 5}, {u"丙", 7, 8}, {u"丁", 10, 11}}, {}});
  WriteDataSource(u"m.doc",
                  Items(Item("a", "甲", "一二三") + Item("b", "乙", "") + Item("c", "丙", "x") +
                        Item("c2", "丙", "second") + Item("d", "丁x", "none")));
  EXPECT_FALSE(addin_->MergeDataSource());
  EXPECT_EQ(doc->Content()->Text(), u"[一二三][][x][]\r");
  const struct {
    const char16_t* name;
    long start, end;
    const char16_t* text;
  } cases[] = {
      {u"甲", 1, 4, u"一二三"},
      {u"乙", 6, 6, u""},    // an empty value collapses the bookmark at its old start
      {u"丙", 8, 9, u"x"},   // the first of two items with the same desc
      {u"丁", 11, 11, u""},  // no item: emptied
  };
  for (const auto& c : cases) {
    const Mark m = Of(*doc, c.name);
    EXPECT_EQ(m.start, c.start) << U8(c.name);
    EXPECT_EQ(m.end, c.end) << U8(c.name);
    EXPECT_EQ(m.text, c.text) << U8(c.name);
  }
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(MergeTest, OpinionListWithCarriageReturns) {
  const auto doc = OpenDoc({u"意见：X。\r", {{u"领导意见", 3, 4}}, {}});
  WriteDataSource(u"m.doc", ExampleDataSource());
  addin_->MergeDataSource();
  const std::u16string expected =
      u"同意，请办公室抓紧办理。\r\u3000\u3000\u3000\u3000\u3000\u3000\u3000李四 2026-12-07 "
      u"\r已阅。\r\u3000\u3000\u3000\u3000\u3000\u3000\u3000王五 2026-12-07 ";
  const Mark m = Of(*doc, u"领导意见");
  EXPECT_EQ(m.text, expected);
  EXPECT_EQ(m.end - m.start, static_cast<long>(expected.size()));
  EXPECT_EQ(doc->Content()->Text(), u"意见：" + expected + u"。\r");
}

TEST_F(MergeTest, NoDataSourceDoesNothing) {
  const auto doc = OpenDoc({u"abc\r", {{u"甲", 0, 3}}, {}});
  const size_t lines = LogLines().size();
  addin_->MergeDataSource();
  addin_->SetDataSource();
  EXPECT_EQ(doc->Content()->Text(), u"abc\r");
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(LogLines().size(), lines);
}

// A file without items (a misspelt `items`) would empty every bookmark: it fails as a
// malformed one does.
TEST_F(MergeTest, MalformedOrItemlessDataSourceIsReportedTwice) {
  for (const char* xml : {"<root><items><item>",
                          "<root><itemz><item><desc>甲</desc><value>x"
                          "</value></item></itemz></root>"}) {
    SCOPED_TRACE(xml);
    ui_.ClearRecords();
    const size_t before = LogLines().size();
    const auto doc = OpenDoc({u"abc\r", {{u"甲", 0, 3}}, {}});
    WriteDataSource(u"m.doc", xml);
    addin_->MergeDataSource();
    EXPECT_EQ(doc->Content()->Text(), u"abc\r");
    const std::u16string path = PathOf(u"m.ds.xml");
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, u"数据源无法初始化，文档可能不正常，请联系系统管理员！");
    EXPECT_EQ(boxes[0].title, u"QNSoft");
    EXPECT_EQ(boxes[0].icon, MsgIcon::kInformation);
    const std::u16string head =
        u"MergeDataSource错误：数据源“" + path + u"”无法初始化，文档可能不正常！(0:";
    EXPECT_EQ(boxes[1].text.rfind(head, 0), 0u) << U8(boxes[1].text);
    EXPECT_EQ(boxes[1].title, u"");
    EXPECT_EQ(boxes[1].icon, MsgIcon::kNone);
    // A new log starts with its heading line; then the data source's line and the merge's.
    const auto lines = LogLines();
    const size_t at = std::max<size_t>(before, 1);
    ASSERT_EQ(lines.size(), at + 2);
    EXPECT_NE(lines[at].find(u"： 无法装载数据源：" + path + u"！(0:"), std::u16string::npos)
        << U8(lines[at]);
    EXPECT_NE(lines[at + 1].find(u"： " + boxes[1].text + u" Err.Source= Err.Number=0"),
              std::u16string::npos);

    ui_.ClearRecords();
    addin_->SetDataSource();
    ASSERT_EQ(Boxes().size(), 2u);
    EXPECT_EQ(Boxes()[0].text, u"数据源无法初始化，文档数据回传可能不正常，请联系系统管理员！");
    EXPECT_EQ(
        Boxes()[1].text.rfind(
            u"SetDataSource错误：数据源“" + path + u"”无法初始化，文档数据回传可能不正常！(0:", 0),
        0u);
    doc->SetSaved(true);
    doc->Close();
  }
}

TEST_F(MergeTest, WriteBackSkipsBlankBookmarks) {
  OpenDoc(
      {u"新值|   |\t|Abc\r", {{u"甲", 0, 2}, {u"乙", 3, 6}, {u"丙", 7, 8}, {u"丁", 9, 12}}, {}});
  WriteDataSource(u"m.doc", Items(Item("a", "甲", "old") + Item("a2", "甲", "keep") +
                                  Item("b", "乙", "old-b") + Item("c", "丙", "old-c") +
                                  Item("d", "丁", "old-d") + Item("e", "无", "old-e")));
  EXPECT_FALSE(addin_->SetDataSource());
  const std::string saved = ReadBytes(dir_ / "m.ds.xml");
  EXPECT_NE(saved.find("<value>新值</value>"), std::string::npos) << saved;
  EXPECT_NE(saved.find("<value>keep</value>"), std::string::npos) << "only the first";
  EXPECT_NE(saved.find("<value>old-b</value>"), std::string::npos) << "spaces only: skipped";
  EXPECT_NE(saved.find("<value>\t</value>"), std::string::npos) << "a tab is written back";
  EXPECT_NE(saved.find("<value>Abc</value>"), std::string::npos);
  EXPECT_NE(saved.find("<value>old-e</value>"), std::string::npos);
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(MergeTest, PathUsesTheDocumentNameWithoutExtension) {
  EXPECT_EQ(DataSourcePath(ctx_, u"report.doc"), WorkDir() + u"/report.ds.xml");
  EXPECT_EQ(DataSourcePath(ctx_, u"a.b.wps"), WorkDir() + u"/a.b.ds.xml");
}

}  // namespace
}  // namespace qnmuro::test_util
