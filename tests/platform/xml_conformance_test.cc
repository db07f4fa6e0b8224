// What the XML DOM does on every platform, whichever backend the platform's build links in.
#include "platform/xml.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "base/error.h"
#include "base/text.h"
#include "support/stderr_capture.h"
#include "support/temp_dir.h"

namespace qnmuro {
namespace {

namespace fs = std::filesystem;

// The backend is the build's; the parameter names it in the test's name.
class XmlTest : public testing::TestWithParam<const char*> {
 protected:
  std::u16string Write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
    return FromPath(dir_ / name);
  }
  std::string Read(const std::string& name) {
    std::ifstream in(dir_ / name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  test_util::TempDir dir_;
};

TEST_P(XmlTest, LoadDropsBlankTextButKeepsRealText) {
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadText("<r>\n  <a> x </a>\n  <b>\t</b>\n  <c xml:space='preserve'> </c></r>"));
  XmlNode root = doc.DocumentElement();
  EXPECT_EQ(root.Name(), u"r");
  ASSERT_EQ(root.Children().size(), 3u);
  EXPECT_EQ(root.FirstChild().Name(), u"a");
  EXPECT_EQ(root.FirstChild().Text(), u" x ");
  EXPECT_FALSE(root.ChildElement(u"b").FirstChild());
  EXPECT_EQ(root.ChildElement(u"c").Text(), u" ");
}

TEST_P(XmlTest, NodeNamesFollowTheDom) {
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadText("<p:r xmlns:p='urn:x'>t<![CDATA[c]]><!--m--><?pi d?><e a='1'/></p:r>"));
  std::vector<std::u16string> names;
  for (XmlNode n : doc.DocumentElement().Children()) names.push_back(n.Name());
  EXPECT_EQ(names,
            (std::vector<std::u16string>{u"#text", u"#cdata-section", u"#comment", u"pi", u"e"}));
  EXPECT_EQ(doc.DocumentElement().Name(), u"p:r");
  EXPECT_EQ(doc.DocumentElement().Text(), u"tc");
  EXPECT_EQ(doc.Root().Name(), u"#document");
  XmlNode e = doc.DocumentElement().ChildElement(u"e");
  EXPECT_EQ(e.Attribute(u"a"), u"1");
  EXPECT_EQ(e.Attribute(u"b"), std::nullopt);
  EXPECT_EQ(XmlNode().Name(), u"");
  EXPECT_EQ(XmlNode().Text(), u"");
}

// What a reader of namespaced documents walks: every child (white space kept on request),
// names by namespace, attributes by namespace; a default namespace holds no attribute.
TEST_P(XmlTest, NamespacedNodesAndKeptWhiteSpace) {
  XmlDocument doc;
  doc.set_keep_blank_text(true);
  ASSERT_TRUE(doc.LoadText(
      "<!DOCTYPE o:r [<!ENTITY e 'boom'>]><o:r xmlns:o='urn:o' xmlns='urn:d' xmlns:t='urn:t'>"
      "<o:p t:name='a&e;b' name='plain'> <t:s/>x\u00e9 </o:p> <q/></o:r>"));
  XmlNode root = doc.DocumentElement();
  EXPECT_EQ(root.NamespaceUri(), u"urn:o");
  EXPECT_EQ(root.LocalName(), u"r");
  std::vector<XmlNode> children = root.Children();
  ASSERT_EQ(children.size(), 3u);  // o:p, the blank between, q
  EXPECT_TRUE(children[1].IsText());
  EXPECT_EQ(children[1].Text(), u" ");
  EXPECT_EQ(children[0].NextSibling(), children[1]);
  EXPECT_FALSE(children[2].NextSibling());
  EXPECT_TRUE(children[2].IsElement(u"urn:d", u"q"));
  EXPECT_FALSE(children[2].IsElement(u"", u"q"));
  XmlNode p = children[0];
  EXPECT_TRUE(p.IsElement(u"urn:o", u"p"));
  EXPECT_FALSE(p.IsElement(u"urn:t", u"p"));
  EXPECT_FALSE(p.FirstChild().IsElement(u"urn:o", u"p"));
  EXPECT_TRUE(p.FirstChild().IsText());
  EXPECT_TRUE(p.FirstChild().NextSibling().IsElement(u"urn:t", u"s"));
  EXPECT_EQ(p.FirstChild().NextSibling().NextSibling().Text(), u"x\u00e9 ");
  EXPECT_EQ(p.AttributeNs(u"urn:t", u"name").value_or(u"?").substr(0, 1), u"a");
  EXPECT_EQ(p.AttributeNs(u"", u"name"), u"plain");
  EXPECT_EQ(p.AttributeNs(u"urn:d", u"name"), std::nullopt);
  EXPECT_EQ(children[1].LocalName(), u"");
  EXPECT_EQ(XmlNode().NamespaceUri(), u"");
}

TEST_P(XmlTest, BadInputFailsWithCodeAndReason) {
  struct Case {
    const char* label;
    std::string bytes;
  } cases[] = {
      {"not xml", "hello"},
      {"truncated", "<config><common><clientLog>true</client"},
      {"empty", ""},
      {"two roots", "<a/><b/>"},
      {"bad encoding name", "<?xml version='1.0' encoding='nonsense'?><a/>"},
      {"undefined entity", "<a>&nope;</a>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    XmlDocument doc;
    SetLastSystemError(0);
    EXPECT_FALSE(doc.LoadText(c.bytes));
    EXPECT_FALSE(doc.loaded());
    EXPECT_NE(doc.parse_error().code, 0);
    EXPECT_FALSE(doc.parse_error().reason.empty());
    EXPECT_EQ(LastSystemError(), doc.parse_error().code);
    EXPECT_FALSE(doc.DocumentElement());
  }
}

TEST_P(XmlTest, MissingFileSetsErrno) {
  XmlDocument doc;
  EXPECT_FALSE(doc.LoadFile(FromPath(dir_ / "absent.xml")));
  EXPECT_EQ(LastSystemError(), ENOENT);
  EXPECT_NE(doc.parse_error().code, 0);
}

TEST_P(XmlTest, HugeOrHostileInputFailsCleanly) {
  // 50 MB of nesting: libxml2's depth limit ends the parse, nothing overflows.
  std::string deep;
  deep.reserve(50u << 20);
  while (deep.size() < (50u << 20) - 8) deep += "<a>";
  XmlDocument doc;
  EXPECT_FALSE(doc.LoadText(deep));

  // External entities are never fetched, whatever the document asks for.
  const std::u16string secret = Write("secret.txt", "TOPSECRET");
  const std::string xxe = "<!DOCTYPE r [<!ENTITY s SYSTEM 'file://" + U8(secret) + "'>]><r>&s;</r>";
  if (doc.LoadText(xxe)) {
    EXPECT_EQ(doc.DocumentElement().Text().find(u"TOPSECRET"), std::u16string::npos);
  }

  const std::string pe =
      "<!DOCTYPE r [<!ENTITY % p SYSTEM 'file://" + U8(secret) + "'> %p;]><r>x</r>";
  if (doc.LoadText(pe)) {
    EXPECT_EQ(U8(doc.ToXml()).find("TOPSECRET"), std::string::npos);
  }

  // Entity expansion bombs are refused.
  std::string bomb = "<!DOCTYPE r [<!ENTITY e0 'xxxxxxxxxx'>";
  for (int i = 1; i < 12; ++i) {
    bomb += "<!ENTITY e" + std::to_string(i) + " '";
    for (int j = 0; j < 10; ++j) bomb += "&e" + std::to_string(i - 1) + ";";
    bomb += "'>";
  }
  bomb += "]><r>&e11;</r>";
  EXPECT_FALSE(doc.LoadText(bomb));
}

TEST_P(XmlTest, XPathSelectsInDocumentOrderRelativeToANode) {
  XmlDocument doc;
  ASSERT_TRUE(
      doc.LoadText("<r><items><item><name>a</name></item><item><name>b</name></item></items>"
                   "<x><items><item><name>a</name><v>2</v></item></items></x></r>"));
  std::vector<XmlNode> all = doc.Root().SelectNodes("//items/item[name='a']");
  ASSERT_EQ(all.size(), 2u);
  EXPECT_FALSE(all[0].ChildElement(u"v"));
  EXPECT_EQ(all[1].ChildElement(u"v").Text(), u"2");
  XmlNode x = doc.DocumentElement().SelectSingleNode("x");
  EXPECT_EQ(x.SelectSingleNode("items/item/v").Text(), u"2");
  EXPECT_FALSE(x.SelectSingleNode("nothing"));
  EXPECT_TRUE(doc.Root().SelectNodes("//zzz").empty());
}

TEST_P(XmlTest, VariablesAreBoundAsValuesNeverAsQueryText) {
  XmlDocument doc;
  ASSERT_TRUE(
      doc.LoadText("<r><item><name>it's</name></item><item><name>x' or '1'='1</name></item>"
                   "<item><name>plain</name></item></r>"));
  const char* query = "//item[name=$key]";
  struct Case {
    std::u16string key;
    size_t expected;
  } cases[] = {{u"it's", 1}, {u"x' or '1'='1", 1}, {u"' or ''='", 0}, {u"plain", 1}, {u"", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(U8(c.key));
    std::vector<XmlNode> found = doc.Root().SelectNodes(query, {{"key", c.key}});
    ASSERT_EQ(found.size(), c.expected);
    if (c.expected == 1) {
      EXPECT_EQ(found[0].ChildElement(u"name").Text(), c.key);
    }
  }
}

TEST_P(XmlTest, InvalidXPathThrows) {
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadText("<r><item/></r>"));
  for (const char* bad : {"//item[name='a]", "//item[name=$unbound]", "count(//r)", "]["}) {
    SCOPED_TRACE(bad);
    try {
      doc.Root().SelectNodes(bad);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), kErrInvalidCall);
    }
  }
  EXPECT_THROW(XmlNode().SelectNodes("a"), Error);
}

TEST_P(XmlTest, SetTextReplacesAllContentAndSurvivesSave) {
  XmlDocument doc;
  ASSERT_TRUE(
      doc.LoadText("<r><v><opinion><a>1</a></opinion><opinion/></v><keep>k<!--c--></keep></r>"));
  XmlNode v = doc.DocumentElement().ChildElement(u"v");
  v.SetText(u"line1\rline2 <&> \"q\" 中文");
  ASSERT_EQ(v.Children().size(), 1u);
  EXPECT_EQ(v.FirstChild().Name(), u"#text");
  const std::u16string path = FromPath(dir_ / "out.xml");
  doc.SaveFile(path);

  XmlDocument again;
  ASSERT_TRUE(again.LoadFile(path));
  EXPECT_EQ(again.DocumentElement().ChildElement(u"v").Text(), u"line1\rline2 <&> \"q\" 中文");
  EXPECT_EQ(again.DocumentElement().ChildElement(u"keep").Children().size(), 2u);

  v.SetText(u"");
  EXPECT_FALSE(v.FirstChild());
  EXPECT_THROW(v.SetText(std::u16string(u"bad\x01")), Error);
  EXPECT_THROW(v.SetText(std::u16string(1, char16_t(0xD800))), Error);
  EXPECT_THROW(XmlNode().SetText(u"x"), Error);
}

TEST_P(XmlTest, SaveKeepsDeclaredEncodingAndReplacesAtomically) {
  const std::string gbk_text = ToCodePage(u"中文", "GBK");
  const std::u16string path =
      Write("gbk.xml", "<?xml version=\"1.0\" encoding=\"GBK\"?><r>" + gbk_text + "</r>");
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadFile(path));
  EXPECT_EQ(doc.DocumentElement().Text(), u"中文");
  doc.DocumentElement().SetText(u"更新");
  doc.SaveFile(path);
  const std::string saved = Read("gbk.xml");
  EXPECT_NE(saved.find("encoding=\"GBK\""), std::string::npos);
  EXPECT_NE(saved.find(ToCodePage(u"更新", "GBK")), std::string::npos);
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(dir_.path())) files += entry.is_regular_file();
  EXPECT_EQ(files, 1u);  // no temporary left behind

  // A target in a missing directory fails with error 75 and leaves nothing.
  try {
    doc.SaveFile(FromPath(dir_ / "no" / "such.xml"));
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kErrPathAccess);
    EXPECT_EQ(LastSystemError(), ENOENT);
  }
  XmlDocument empty;
  EXPECT_THROW(empty.SaveFile(path), Error);
  EXPECT_NE(doc.ToXml().find(u"<r>更新</r>"), std::u16string::npos);
}

TEST_P(XmlTest, ValidatesAgainstSchemaOfRootNamespace) {
  const std::u16string xsd =
      Write("s.xsd",
            "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema' targetNamespace='urn:qn'"
            " elementFormDefault='qualified'>"
            "<xs:element name='config'><xs:complexType><xs:sequence>"
            "<xs:element name='n' type='xs:int'/></xs:sequence></xs:complexType></xs:element>"
            "</xs:schema>");
  XmlSchemaSet schemas;
  schemas.Add(u"urn:qn", xsd);
  XmlDocument doc;
  EXPECT_TRUE(doc.LoadText("<config xmlns='urn:qn'><n>5</n></config>", &schemas));
  EXPECT_FALSE(doc.LoadText("<config xmlns='urn:qn'><n>five</n></config>", &schemas));
  EXPECT_NE(doc.parse_error().code, 0);
  EXPECT_NE(doc.parse_error().reason.find(u"five"), std::u16string::npos);
  EXPECT_FALSE(doc.LoadText("<config><n>5</n></config>", &schemas));
  EXPECT_NE(doc.parse_error().reason.find(u"No schema"), std::u16string::npos);

  XmlSchemaSet other;
  EXPECT_THROW(other.Add(u"urn:other", xsd), Error);
  EXPECT_THROW(other.Add(u"urn:qn", FromPath(dir_ / "missing.xsd")), Error);
  EXPECT_THROW(other.Add(u"urn:qn", Write("bad.xsd", "<notaschema/>")), Error);
}

// The labels OA servers put on code page 936 text are read as GBK, in any letter case; 镕 is
// in GBK but not in GB2312 proper.
TEST_P(XmlTest, Gb2312AndItsAliasesReadAsGbk) {
  const std::string body = "<r>" + ToCodePage(u"朱镕基", "GBK") + "</r>";
  for (const char* label : {"gb2312", "GB2312", "Gb2312", "GB_2312-80", "gb_2312-80", "csGB2312",
                            "CP936", "cp936", "GBK", "gbk"}) {
    SCOPED_TRACE(label);
    XmlDocument doc;
    ASSERT_TRUE(doc.LoadText("<?xml version='1.0' encoding='" + std::string(label) + "'?>" + body))
        << U8(doc.parse_error().reason);
    EXPECT_EQ(U8(doc.DocumentElement().Text()), "朱镕基");
  }
}

// libxml2 reports some faults (bytes its converter refuses, an encoder that cannot write a
// character) on its global error channel, which is standard error unless told otherwise; the
// add-in's terminal stays clean, on every thread.
TEST_P(XmlTest, TheLibraryNeverWritesToTheTerminal) {
  const std::string cases[] = {
      "<?xml version='1.0' encoding='GBK'?><r>\x81\x20</r>",
      "<?xml version='1.0' encoding='gb2312'?><r>\xFF\xFF\xFF</r>",
      "<?xml version='1.0' encoding='UTF-8'?><r>\xC3\x28</r>",
      "<?xml version='1.0' encoding='ISO-2022-JP'?><r>\x1B$B\xFF\xFF</r>",
      "<?xml version='1.0' encoding='nonsense'?><r/>",
  };
  const std::u16string out = FromPath(dir_ / "out.xml");
  auto run = [&] {
    for (const std::string& bytes : cases) {
      XmlDocument doc;
      EXPECT_FALSE(doc.LoadText(bytes)) << bytes;
      EXPECT_NE(doc.parse_error().code, 0);
    }
    // A character the declared encoding cannot hold is written as a character reference.
    XmlDocument doc;
    ASSERT_TRUE(doc.LoadText("<?xml version='1.0' encoding='ISO-8859-1'?><r/>"));
    doc.DocumentElement().SetText(u"朱镕基");
    doc.SaveFile(out);
    XmlDocument again;
    ASSERT_TRUE(again.LoadFile(out));
    EXPECT_EQ(U8(again.DocumentElement().Text()), "朱镕基");
  };
  test_util::StderrCapture terminal;
  run();
  std::thread other(run);  // a thread that has never used the library
  other.join();
  EXPECT_EQ(terminal.Stop(), "");
}

TEST_P(XmlTest, ANodeAsXmlHasNoDeclarationAndNoLineBreaksOfItsOwn) {
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadText(
      "<?xml version='1.0' encoding='GBK'?>\r\n<result>\r\n  <code a='1&#10;2'>" +
      ToCodePage(u"失败", "GBK") + "</code>\r\n  <why>&lt;x&gt; &amp; y</why>\r\n</result>\r\n"));
  EXPECT_EQ(U8(doc.DocumentElement().ToXml()),
            "<result><code a=\"1&#10;2\">失败</code><why>&lt;x&gt; &amp; y</why></result>");
  EXPECT_EQ(U8(doc.DocumentElement().FirstChild().ToXml()), "<code a=\"1&#10;2\">失败</code>");
  EXPECT_EQ(XmlNode().ToXml(), u"");
}

#ifdef _WIN32
INSTANTIATE_TEST_SUITE_P(Backends, XmlTest, testing::Values("Msxml"),
                         [](const auto& info) { return std::string(info.param); });
#else
INSTANTIATE_TEST_SUITE_P(Backends, XmlTest, testing::Values("Libxml2"),
                         [](const auto& info) { return std::string(info.param); });
#endif

}  // namespace
}  // namespace qnmuro
