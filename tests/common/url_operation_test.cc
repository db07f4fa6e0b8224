#include "common/url_operation.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "base/text.h"

namespace qnmuro {
namespace {

struct UrlCase {
  const char* name;  // the test's name
  const char16_t* url;
  const char16_t* protocol;
  const char16_t* host;
  int32_t port;
  const char16_t* object;
  bool ssl;
};

// The URL, for the test listing.
void PrintTo(const UrlCase& c, std::ostream* os) {
  *os << '"' << U8(c.url) << '"';
}

class UrlOperationTable : public ::testing::TestWithParam<UrlCase> {};

TEST_P(UrlOperationTable, SplitsTheUrl) {
  const UrlCase& c = GetParam();
  UrlOperation url;
  url.SetUrl(c.url);
  EXPECT_EQ(url.Url(), c.url);
  EXPECT_EQ(U8(url.Protocol()), U8(c.protocol));
  EXPECT_EQ(U8(url.Host()), U8(c.host));
  EXPECT_EQ(url.Port(), c.port);
  EXPECT_EQ(U8(url.UrlObject()), U8(c.object));
  EXPECT_EQ(url.CheckSSLHttp(), c.ssl);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UrlOperationTable,
    ::testing::Values(
        UrlCase{"PortPathAndQuery", u"http://oa.example:8080/db/doc?OpenDocument&a=1", u"http",
                u"oa.example", 8080, u"/db/doc?OpenDocument&a=1", false},
        UrlCase{"UppercaseHttpsDefaultsTo443", u"HTTPS://oa.example/db", u"HTTPS", u"oa.example",
                443, u"/db", true},
        UrlCase{"FtpDefaultsTo21", u"ftp://files.example", u"ftp", u"files.example", 21, u"",
                false},
        UrlCase{"NoSchemeWithPort", u"oa.example:81/a", u"", u"oa.example", 81, u"/a", false},
        UrlCase{"NoSchemeDefaultsTo80", u"oa.example/a", u"", u"oa.example", 80, u"/a", false},
        UrlCase{"PortThatIsNoNumber", u"http://oa.example:x1/a", u"http", u"oa.example", 0, u"/a",
                false},
        // The first ":" lies in the path: the host runs up to it and the port text is "b".
        UrlCase{"ColonInThePath", u"http://oa.example/a:b", u"http", u"oa.example/a", 0, u"/a:b",
                false},
        // Only the scheme decides: "https" elsewhere in the URL does not.
        UrlCase{"HttpsInThePathIsNoSsl", u"http://oa.example/docs/https_guide.doc", u"http",
                u"oa.example", 80, u"/docs/https_guide.doc", false},
        UrlCase{"HttpsInTheQueryIsNoSsl", u"http://oa.example/save?filename=https.doc", u"http",
                u"oa.example", 80, u"/save?filename=https.doc", false},
        UrlCase{"HttpsInTheHostIsNoSsl", u"http://https.example:8080/a", u"http", u"https.example",
                8080, u"/a", false},
        UrlCase{"MixedCaseHttpsScheme", u"hTTpS://oa.example:8443/a", u"hTTpS", u"oa.example", 8443,
                u"/a", true},
        UrlCase{"NoSchemeIsNoSsl", u"https.example/a", u"", u"https.example", 80, u"/a", false},
        UrlCase{"Empty", u"", u"", u"", 0, u"", false},
        UrlCase{"Blanks", u"   ", u"", u"", 0, u"", false},
        UrlCase{"PortWithBlanks", u"http://oa.example: 82 /a", u"http", u"oa.example", 82, u"/a",
                false},
        UrlCase{"PortOutOfRange", u"http://oa.example:99999999999/a", u"http", u"oa.example", 0,
                u"/a", false},
        UrlCase{"PathOnly", u"/only/a/path", u"", u"", 80, u"/only/a/path", false},
        UrlCase{"SchemeOnly", u"http://", u"http", u"", 80, u"", false},
        UrlCase{"NonAsciiHostAndPath", u"https://主机.example:8443/文件", u"https", u"主机.example",
                8443, u"/文件", true}),
    [](const ::testing::TestParamInfo<UrlCase>& info) { return std::string(info.param.name); });

TEST(UrlOperationTest, EveryReadReflectsTheUrlStoredAtThatMoment) {
  UrlOperation url;
  url.SetUrl(u"http://a.example:1/x");
  EXPECT_EQ(url.Port(), 1);
  url.SetUrl(u"https://b.example/y");
  EXPECT_EQ(U8(url.Host()), "b.example");
  EXPECT_EQ(url.Port(), 443);
}

}  // namespace
}  // namespace qnmuro
