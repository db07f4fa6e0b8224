// The parts the XML backends share that only a backend without its own XPath variables or
// without every code page 936 label uses: checked here on every platform.
#include "platform/xml_backend.h"

#include <gtest/gtest.h>

#include "platform/xml_text.h"

namespace qnmuro {
namespace {

TEST(XmlBackendTest, BoundVariablesAreLiteralsThatCannotChangeTheQuery) {
  const XPathVariables variables = {
      {"v", u"x"}, {"q", u"it's"}, {"both", u"a'b\"c"}, {"n-2.x", u"数"}};
  const struct {
    const char16_t* query;
    const char16_t* bound;
  } cases[] = {
      {u"//a[@n=$v]", u"//a[@n='x']"},
      {u"//a[.=$q]", u"//a[.=\"it's\"]"},
      {u"//a[.=$both]", u"//a[.=concat('','a',\"'\",'b\"c')]"},
      {u"//a[.=$n-2.x]", u"//a[.='数']"},
      {u"//a[.='$v' or .=\"$v\"]", u"//a[.='$v' or .=\"$v\"]"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(xml_backend::BindVariables(c.query, variables), c.bound);
  }
  try {
    xml_backend::BindVariables(u"//a[.=$missing]", variables);
    ADD_FAILURE() << "an unbound variable was accepted";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kErrInvalidCall);
    EXPECT_EQ(e.description(), u"XPath \"//a[.=$missing]\": undefined variable $missing");
  }
}

TEST(XmlBackendTest, CodePage936LabelsAreRelabelledGbk) {
  const struct {
    const char* bytes;
    const char* relabelled;
    const char* alias;
    bool gbk;
  } cases[] = {
      {"<?xml version='1.0' encoding='gb2312'?><a/>", "<?xml version='1.0' encoding='GBK'?><a/>",
       "gb2312", true},
      {"<?xml version=\"1.0\" encoding = \"CP936\"?><a/>",
       "<?xml version=\"1.0\" encoding = \"GBK\"?><a/>", "CP936", true},
      {"<?xml version='1.0' encoding='gbk'?><a/>", "", "", true},
      {"<?xml version='1.0' encoding='UTF-8'?><a/>", "", "", false},
      {"<a encoding='gb2312'/>", "", "", false},
  };
  for (const auto& c : cases) {
    const GbkRelabelled out = RelabelGbk(c.bytes);
    EXPECT_EQ(out.bytes, c.relabelled) << c.bytes;
    EXPECT_EQ(out.alias, c.alias) << c.bytes;
    EXPECT_EQ(out.gbk, c.gbk) << c.bytes;
  }
}

}  // namespace
}  // namespace qnmuro
