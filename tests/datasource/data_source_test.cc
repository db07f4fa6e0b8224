#include "datasource/data_source.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/text.h"
#include "common/shared_state.h"
#include "common/velto_log.h"
#include "platform/clock.h"
#include "support/event_log.h"
#include "support/stderr_capture.h"
#include "support/temp_dir.h"
#include "support/xml_encodings.h"

namespace qnmuro {
namespace {

namespace fs = std::filesystem;

const std::u16string kIndent = u"\u3000\u3000\u3000\u3000\u3000\u3000\u3000";
const std::string kNotSet = "Object variable or With block variable not set(91:0)";

class DataSourceTest : public testing::Test {
 protected:
  DataSourceTest() : clock_(NewVirtualClock(FromLocalTime({2026, 12, 7, 9, 30, 0}))) {
    state_.eventLog = std::make_unique<VeltoLog>(FromPath(dir_.path()), clock_.get(),
                                                 &state_.records.commonInfo.clientLog);
    example_ = FromPath(fs::path(QNMURO_SOURCE_DIR) / "examples" / "notice.ds.xml");
    SetLastSystemError(0);
  }
  ~DataSourceTest() override { state_.eventLog.reset(); }

  std::u16string Write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
    return FromPath(dir_ / name);
  }
  // A data source holding `items` inside <r><items>...</items></r>.
  std::u16string WriteItems(const std::string& items) {
    return Write("items.ds.xml", "<r><items>" + items + "</items></r>");
  }

  std::vector<std::u16string> LogLines() { return test_util::ReadEventLogLines(dir_.path()); }

  std::unique_ptr<VirtualClock> clock_;
  test_util::TempDir dir_;
  SharedState state_;
  std::u16string example_;
};

TEST_F(DataSourceTest, ReadsItemsAndTheirExtensionsByNameAndDescription) {
  DataSource ds(&state_);
  ASSERT_TRUE(ds.LoadXML(example_));
  EXPECT_EQ(ds.ItemGetDescByName(u"docNumber"), u"文号");
  EXPECT_EQ(ds.ItemGetValueByName(u"title"), u"关于召开年度工作会议的通知");
  EXPECT_EQ(ds.ItemGetValueByDesc(u"发文单位"), u"青禾市人民政府办公室");
  EXPECT_EQ(ds.ItemGetExtendValueByName(u"docNumber", u"year"), u"2026");
  EXPECT_EQ(ds.ItemGetExtendValueByName(u"docNumber", u"none"), u"");
  EXPECT_EQ(ds.ItemGetExtendValueByName(u"signer", u"year"), u"");
  // Keys are exact and case-sensitive; no item is no failure.
  EXPECT_EQ(ds.ItemGetValueByDesc(u"标题 "), u"");
  EXPECT_EQ(ds.ItemGetValueByName(u"Title"), u"");
  EXPECT_EQ(ds.ItemGetDescByName(u"nothing"), u"");
  EXPECT_TRUE(ds.HasItemWithDesc(u"签发人"));
  EXPECT_FALSE(ds.HasItemWithName(u"签发人"));
  EXPECT_TRUE(ds.ItemIsExtendExist(u"docNumber"));
  EXPECT_FALSE(ds.ItemIsExtendExist(u"sender"));  // empty extend element
  EXPECT_FALSE(ds.ItemIsExtendExist(u"signer"));
  EXPECT_FALSE(ds.ItemIsExtendExist(u"nobody"));
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(DataSourceTest, OpinionListsAreFormattedWithCrAndIdeographicIndent) {
  DataSource ds(&state_);
  ASSERT_TRUE(ds.LoadXML(example_));
  EXPECT_EQ(ds.ItemGetValueByDesc(u"领导意见"), u"同意，请办公室抓紧办理。\r" + kIndent +
                                                    u"李四 2026-12-07 \r已阅。\r" + kIndent +
                                                    u"王五 2026-12-07 ");

  struct Case {
    const char* label;
    std::string value;
    std::u16string expected;
  } cases[] = {
      {"one entry, long third text", "<opinion><a>T</a><b>S</b><c>0123456789ABCDEF</c></opinion>",
       u"T\r" + kIndent + u"S 0123456789A"},
      {"element names are not examined",
       "<opinion><x>T</x><y>S</y><z>D</z><extra>E</extra></opinion><opinion>t<s>s</s>d</opinion>",
       u"T\r" + kIndent + u"S D\rt\r" + kIndent + u"s d"},
      {"empty texts", "<opinion><a/><b/><c/></opinion>", u"\r" + kIndent + u" "},
      {"plain text", "a &lt;b&gt; c", u"a <b> c"},
      {"first child is another element", "<note>n</note><opinion/>", u"n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ASSERT_TRUE(ds.LoadXML(
        WriteItems("<item><name>n</name><desc>d</desc><value>" + c.value + "</value></item>")));
    EXPECT_EQ(ds.ItemGetValueByDesc(u"d"), c.expected);
  }
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(DataSourceTest, FirstItemInDocumentOrderWinsForReadAndWrite) {
  DataSource ds(&state_);
  ASSERT_TRUE(ds.LoadXML(
      WriteItems("<item><name>a</name><desc>D</desc><value>first</value></item>"
                 "<item><name>b</name><desc>D</desc><value>second</value></item>"
                 "<item><name>c</name><name>a</name><desc>E</desc><value>third</value></item>")));
  EXPECT_EQ(ds.ItemGetValueByDesc(u"D"), u"first");
  EXPECT_EQ(ds.ItemGetValueByName(u"a"), u"first");
  ds.ItemSetValueByDesc(u"D", u"changed");
  EXPECT_EQ(ds.ItemGetValueByName(u"a"), u"changed");
  EXPECT_EQ(ds.ItemGetValueByName(u"b"), u"second");
  EXPECT_EQ(ds.ItemGetValueByName(u"c"), u"third");

  // Items in other `items` containers and nested ones take part too, in document order: the
  // outer item comes first although its key follows the nested item's.
  ASSERT_TRUE(ds.LoadXML(
      Write("nested.xml",
            "<r><items><item><value><items><item><name>k</name><value>inner</value></item></items>"
            "</value><name>k</name></item></items><x><items><item><name>m</name><value>M</value>"
            "</item></items></x></r>")));
  EXPECT_EQ(ds.ItemGetValueByName(u"k"), u"kinner");
  EXPECT_EQ(ds.ItemGetValueByName(u"m"), u"M");
  // Writing the outer value removes the nested item; lookups stay correct afterwards.
  ds.ItemSetValueByName(u"k", u"plain");
  EXPECT_EQ(ds.ItemGetValueByName(u"k"), u"plain");
  EXPECT_EQ(ds.ItemGetValueByName(u"m"), u"M");
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(DataSourceTest, KeysWithQuotesMatchExactlyAndNeverChangeTheLookup) {
  DataSource ds(&state_);
  ASSERT_TRUE(ds.LoadXML(
      Write("q.xml",
            "<r><items>"
            "<item><name>it's</name><desc>a'b\"c</desc><value>1</value>"
            "<extend><parameter><name>p'q</name><value>P</value></parameter></extend></item>"
            "<item><name>x' or '1'='1</name><desc>]//*[</desc><value>2</value></item>"
            "</items></r>")));
  struct Case {
    std::u16string key;
    std::u16string by_name;
  } cases[] = {{u"it's", u"1"},     {u"x' or '1'='1", u"2"},
               {u"' or ''='", u""}, {u"x' or '1'='1'", u""},
               {u"*", u""},         {u"", u""}};
  for (const Case& c : cases) {
    EXPECT_EQ(ds.ItemGetValueByName(c.key), c.by_name) << U8(c.key);
  }
  EXPECT_EQ(ds.ItemGetValueByDesc(u"a'b\"c"), u"1");
  EXPECT_EQ(ds.ItemGetValueByDesc(u"]//*["), u"2");
  EXPECT_EQ(ds.ItemGetExtendValueByName(u"it's", u"p'q"), u"P");
  EXPECT_EQ(ds.ItemGetExtendValueByName(u"it's", u"' or ''='"), u"");
  ds.ItemSetValueByDesc(u"a'b\"c", u"new");
  EXPECT_EQ(ds.ItemGetValueByName(u"it's"), u"new");
  EXPECT_EQ(ds.ItemGetValueByName(u"x' or '1'='1"), u"2");
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(DataSourceTest, MalformedItemsTakeTheirFailurePathWithExactLines) {
  const std::u16string path = WriteItems(
      "<item><name>nodesc</name><value>v</value></item>"
      "<item><name>novalue</name><desc>无值</desc><extend><parameter><name>p</name>"
      "</parameter></extend></item>"
      "<item><name>empty</name><desc>空</desc><value/></item>"
      "<item><name>short</name><desc>短</desc><value><opinion><a>1</a><b>2</b></opinion>"
      "</value></item>");
  DataSource ds(&state_);
  ASSERT_TRUE(ds.LoadXML(path));
  struct Case {
    std::function<std::u16string()> call;
    std::u16string line;
  } cases[] = {
      {[&] { return ds.ItemGetDescByName(u"nodesc"); }, u"无法取得name=nodesc对应的desc！"},
      {[&] { return ds.ItemGetValueByName(u"novalue"); }, u"无法取得name=novalue对应的value！"},
      {[&] { return ds.ItemSetValueByName(u"novalue", u"x"); },
       u"无法设置name=novalue对应的value！"},
      {[&] { return ds.ItemGetValueByDesc(u"空"); }, u"无法取得desc=空对应的value！"},
      {[&] { return ds.ItemGetValueByDesc(u"短"); }, u"无法取得desc=短对应的value！"},
      {[&] { return ds.ItemSetValueByDesc(u"无值", u"x"); }, u"无法设置desc=无值对应的value！"},
      {[&] { return ds.ItemGetExtendValueByName(u"novalue", u"p"); },
       u"无法取得name=novalueextend name=p对应的extend value！"},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(U8(cases[i].line));
    EXPECT_EQ(cases[i].call(), u"");
    const std::vector<std::u16string> lines = LogLines();
    ASSERT_EQ(lines.size(), i + 1);
    const std::u16string expected = u"#" + ToText(i + 1) + u"： " + cases[i].line + U16(kNotSet) +
                                    u" Err.Source=QNMuroWPS Err.Number=91";
    EXPECT_EQ(lines.back(), expected);
    EXPECT_EQ(ds.last_report(), cases[i].line + U16(kNotSet));
  }
  // The exact bytes in the file are GBK.
  const std::string bytes = test_util::ReadBytes(dir_ / "comlog.txt");
  EXPECT_NE(bytes.find(ToCodePage(u"#4： 无法取得desc=空对应的value！", "GBK")), std::string::npos);
  // A text XML cannot carry is refused and the value stays.
  ds.ItemSetValueByName(u"nodesc", std::u16string(u"a\x01"));
  EXPECT_EQ(ds.ItemGetValueByName(u"nodesc"), u"v");
  EXPECT_EQ(LogLines().back().rfind(u"#8： 无法设置name=nodesc对应的value！", 0), 0u);
  EXPECT_FALSE(ds.ItemIsExtendExist(u"nodesc"));
  EXPECT_TRUE(ds.ItemIsExtendExist(u"novalue"));
  EXPECT_EQ(LogLines().size(), 8u);
}

TEST_F(DataSourceTest, FailedLoadIsLoggedAndLookupsFailAfterwards) {
  DataSource ds(&state_);
  ASSERT_TRUE(ds.LoadXML(example_));
  const std::u16string bad = Write("bad.ds.xml", "<items><item><name>a</name></item>");
  EXPECT_FALSE(ds.LoadXML(bad));
  const long code = LastSystemError();
  EXPECT_GT(code, 0);
  const std::u16string missing = FromPath(dir_ / "missing.ds.xml");
  EXPECT_FALSE(ds.LoadXML(missing));
  EXPECT_EQ(ds.ItemGetValueByName(u"title"), u"");
  EXPECT_FALSE(ds.ItemIsExtendExist(u"docNumber"));
  EXPECT_THROW(ds.Save(FromPath(dir_ / "out.xml")), Error);
  const std::vector<std::u16string> lines = LogLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], u"#1： 无法装载数据源：" + bad + u"！(0:" + ToText(code) +
                          u") Err.Source= Err.Number=0");
  EXPECT_EQ(lines[1], u"#2： 无法装载数据源：" + missing + u"！(0:2) Err.Source= Err.Number=0");
  EXPECT_EQ(lines[2].rfind(u"#3： 无法取得name=title对应的value！Object variable", 0), 0u);

  DataSource never_loaded;  // without a log nothing is written, the result is still empty
  EXPECT_EQ(never_loaded.ItemGetValueByDesc(u"标题"), u"");
  EXPECT_FALSE(never_loaded.last_report().empty());
}

TEST_F(DataSourceTest, WritesReplaceTheWholeValueAndSaveKeepsEverythingElse) {
  DataSource ds(&state_);
  ASSERT_TRUE(ds.LoadXML(example_));
  ds.ItemSetValueByDesc(u"领导意见", u"第一行\r第二行 <&> \"引号\"");
  ds.ItemSetValueByName(u"title", u"");
  ds.ItemSetValueByName(u"nobody", u"ignored");
  const std::u16string out = FromPath(dir_ / "notice.ds.xml");
  ds.Save(out);

  DataSource again(&state_);
  ASSERT_TRUE(again.LoadXML(out));
  EXPECT_EQ(again.ItemGetValueByName(u"opinions"), u"第一行\r第二行 <&> \"引号\"");
  EXPECT_EQ(again.ItemGetValueByDesc(u"领导意见"), u"第一行\r第二行 <&> \"引号\"");
  EXPECT_EQ(again.ItemGetValueByName(u"signer"), u"李四");
  EXPECT_EQ(again.ItemGetExtendValueByName(u"docNumber", u"prefix"), u"青办");
  EXPECT_FALSE(again.HasItemWithName(u"nobody"));
  // An emptied value is an empty element.
  EXPECT_EQ(again.ItemGetValueByName(u"title"), u"");
  const std::string saved = test_util::ReadBytes(dir_ / "notice.ds.xml");
  EXPECT_NE(saved.find("<generator>OA 公文库</generator>"), std::string::npos);
  EXPECT_NE(saved.find("<document unid=\"6F2A\">"), std::string::npos);

  try {
    ds.Save(FromPath(dir_ / "missing-dir" / "x.xml"));
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kErrPathAccess);
  }
  EXPECT_TRUE(LogLines().empty());
}

// Data sources come in every encoding the OA servers write; gb2312-labelled ones hold GBK
// (镕 is GBK only). Each loads, its items are found by Chinese keys, a saved change keeps the
// file's encoding and label, and the XML library says nothing on the terminal.
class DataSourceEncodingTest : public DataSourceTest,
                               public testing::WithParamInterface<test_util::XmlEncodingCase> {};

TEST_P(DataSourceEncodingTest, LoadsLooksUpAndSaves) {
  const std::u16string body =
      u"<document><items>"
      u"<item><name>signer</name><desc>签发人</desc><value>朱镕基</value></item>"
      u"<item><name>opinions</name><desc>领导意见</desc><value>"
      u"<opinion><text>同意。镕</text><user>朱镕基</user><date>2026-12-07 09:30:00</date></opinion>"
      u"</value></item>"
      u"</items></document>";
  const std::u16string path = Write("a.ds.xml", test_util::EncodeXml(GetParam(), body));
  test_util::StderrCapture terminal;
  DataSource ds(&state_);
  const bool loaded = ds.LoadXML(path);
  const std::string said = terminal.Stop();
  EXPECT_EQ(said, "");
  ASSERT_TRUE(loaded);
  EXPECT_EQ(U8(ds.ItemGetValueByDesc(u"签发人")), "朱镕基");
  EXPECT_EQ(U8(ds.ItemGetValueByDesc(u"领导意见")),
            U8(u"同意。镕\r" + kIndent + u"朱镕基 2026-12-07 "));
  EXPECT_EQ(U8(ds.ItemGetDescByName(u"signer")), "签发人");

  ds.ItemSetValueByDesc(u"签发人", u"镕基");
  ds.Save(path);
  const std::string saved = test_util::ReadBytes(dir_ / "a.ds.xml");
  if (GetParam().form == test_util::XmlEncodingCase::Form::kGbk) {
    EXPECT_NE(saved.find(std::string("encoding=\"") + GetParam().label + "\""), std::string::npos)
        << saved;
    EXPECT_NE(saved.find(ToCodePage(u"<value>镕基</value>", "GBK")), std::string::npos);
  }
  DataSource again(&state_);
  ASSERT_TRUE(again.LoadXML(path));
  EXPECT_EQ(U8(again.ItemGetValueByName(u"signer")), "镕基");
  EXPECT_TRUE(LogLines().empty());
}

INSTANTIATE_TEST_SUITE_P(Encodings, DataSourceEncodingTest,
                         testing::ValuesIn(test_util::XmlEncodingCases()),
                         [](const testing::TestParamInfo<test_util::XmlEncodingCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace qnmuro
