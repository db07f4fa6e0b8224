// RequestForUrl: the session cookie and the credentials stay with their origin, and a stored
// value that would add header lines of its own is refused with a log line.
#include "transfer/url_request.h"

#include <ostream>
#include <string>

#include "common/cipher.h"
#include "support/transfer_fixture.h"

namespace qnmuro {
namespace {

struct OriginCase {
  const char* name;         // the test's name
  const char16_t* session;  // the URL the session belongs to; nullptr: the request's own
  const char16_t* url;      // where the request goes
  bool carried;             // cookie and credentials go along
};

void PrintTo(const OriginCase& c, std::ostream* os) {
  *os << U8(c.url);
}

class RequestOriginTest : public test::TransferTest,
                          public testing::WithParamInterface<OriginCase> {};

TEST_P(RequestOriginTest, CarriesTheSessionOnlyToItsOrigin) {
  const OriginCase& c = GetParam();
  SetSessionCookie(u"SessionID=abc");
  UrlOperation url;
  url.SetUrl(c.url);
  RequestParty party{true, u"zhangsan", EncryptString(ctx_, u"secret"), std::nullopt};
  if (c.session != nullptr) {
    UrlOperation session;
    session.SetUrl(c.session);
    party.origin = OriginOf(session);
  }
  const HttpRequest request = RequestForUrl(ctx_, url, "POST", party);
  EXPECT_EQ(request.cookie, c.carried ? "SessionID=abc" : "");
  EXPECT_EQ(request.user, c.carried ? "zhangsan" : "");
  EXPECT_EQ(request.password, c.carried ? "secret" : "");
  // The address itself is the URL's, whoever the request speaks for.
  EXPECT_EQ(request.host, ToAnsi(url.Host()));
  EXPECT_EQ(request.port, url.Port());
  EXPECT_TRUE(LogLines().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RequestOriginTest,
    testing::Values(
        OriginCase{"OwnOrigin", nullptr, u"http://127.0.0.1:8080/a", true},
        OriginCase{"SameOriginOtherPath", u"http://127.0.0.1:8080/a?x", u"http://127.0.0.1:8080/b",
                   true},
        OriginCase{"HostCaseIgnored", u"http://OA.Example/a", u"http://oa.example/b", true},
        OriginCase{"DefaultPortWrittenOut", u"http://oa.example/a", u"http://oa.example:80/b",
                   true},
        OriginCase{"HttpsDefaultPort", u"https://oa.example/a", u"HTTPS://oa.example:443/b", true},
        OriginCase{"OtherHost", u"http://127.0.0.1:8080/a", u"http://localhost:8080/a", false},
        OriginCase{"OtherPort", u"http://127.0.0.1:8080/a", u"http://127.0.0.1:8081/a", false},
        OriginCase{"OtherPortDefault", u"http://oa.example/a", u"http://oa.example:8080/a", false},
        OriginCase{"HttpsToHttp", u"https://oa.example:8443/a", u"http://oa.example:8443/a", false},
        OriginCase{"HttpToHttps", u"http://oa.example:8080/a", u"https://oa.example:8080/a", false},
        OriginCase{"SubdomainIsOther", u"http://example.com/a", u"http://oa.example.com/a", false}),
    [](const testing::TestParamInfo<OriginCase>& info) { return std::string(info.param.name); });

class RequestValueTest : public test::TransferTest {};

// CR LF in the stored session (or in the user name, which a digest answer quotes) would put
// a header of the sender's choosing on the wire: the value is left out and the log says why.
TEST_F(RequestValueTest, AValueWithAControlCharacterIsRefusedWithALogLine) {
  struct Case {
    const char* name;
    std::u16string cookie;
    std::u16string user;
    const char* cookie_sent;
    const char* user_sent;
    std::vector<std::string> lines;
  };
  const std::string url = "http://127.0.0.1:8080/db/a.doc";
  const std::string cookie_line =
      "注册表值sid含有控制字符，不作为会话Cookie发送到" + url + " Err.Source= Err.Number=0";
  const std::string user_line =
      "用户名含有控制字符，不作为凭据发送到" + url + " Err.Source= Err.Number=0";
  const Case cases[] = {
      {"clean", u"SessionID=abc", u"zhangsan", "SessionID=abc", "zhangsan", {}},
      {"GBK text is no control",
       u"SessionID=张三",
       u"张三",
       "SessionID=\xD5\xC5\xC8\xFD",
       "\xD5\xC5\xC8\xFD",
       {}},
      {"CR LF in the cookie", u"a=b\r\nX-Evil: 1", u"zhangsan", "", "zhangsan", {cookie_line}},
      {"LF in the cookie", u"a=b\nX-Evil: 1", u"zhangsan", "", "zhangsan", {cookie_line}},
      {"CR in the cookie", u"a=b\rX", u"zhangsan", "", "zhangsan", {cookie_line}},
      {"tab in the cookie", u"a=\tb", u"zhangsan", "", "zhangsan", {cookie_line}},
      {"DEL in the cookie", u"a=b\x7F", u"zhangsan", "", "zhangsan", {cookie_line}},
      {"CR LF in the user",
       u"SessionID=abc",
       u"zhang\r\nX-Evil: 1",
       "SessionID=abc",
       "",
       {user_line}},
      {"both", u"a\x01", u"a\x1F", "", "", {cookie_line, user_line}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RestartLog();
    SetSessionCookie(c.cookie);
    UrlOperation address;
    address.SetUrl(U16(url));
    const HttpRequest request = RequestForUrl(
        ctx_, address, "POST", RequestParty{true, c.user, EncryptString(ctx_, u"pw"), {}});
    EXPECT_EQ(request.cookie, c.cookie_sent);
    EXPECT_EQ(request.user, c.user_sent);
    EXPECT_EQ(request.password, std::string(c.user_sent).empty() ? "" : "pw");
    std::vector<std::string> lines;
    for (const auto& line : LogLines()) lines.push_back(U8(line));
    EXPECT_EQ(lines, c.lines);
  }
}

// What the code page carries goes as its bytes; a stretch holding anything else as UTF-8,
// percent-encoded, so that no "?" stands for a lost character.
TEST(RequestTargetTest, PercentEncodesOnlyStretchesTheCodePageCannotCarry) {
  const struct {
    std::u16string object;
    std::string target;
  } cases[] = {
      {u"/db/0/U1/$file/a.doc?x=1&y=2", "/db/0/U1/$file/a.doc?x=1&y=2"},
      {u"/db/0/U1/$file/公文.doc", "/db/0/U1/$file/\xB9\xAB\xCE\xC4.doc"},
      {u"/db/0/U1/$file/草稿😀.doc", "/db/0/U1/$file/%E8%8D%89%E7%A8%BF%F0%9F%98%80.doc"},
      {u"/公/x😀?n=公😀&m=文", "/\xB9\xAB/x%F0%9F%98%80?n=%E5%85%AC%F0%9F%98%80&m=\xCE\xC4"},
      {std::u16string(u"/a\xD800"), "/a%EF%BF%BD"},
      {u"/a?b?", "/a?b?"},
      {u"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(RequestTarget(c.object), c.target) << U8(c.object);
}

}  // namespace
}  // namespace qnmuro
