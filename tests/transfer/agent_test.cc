#include "transfer/agent.h"

#include "oaserver/oa_server.h"
#include "support/refusing_port.h"
#include "support/transfer_fixture.h"
#include "transfer/raw_http_server.h"

namespace qnmuro {
namespace {

using test::RawHttpServer;
using test::RawRequest;

class AgentTest : public test::TransferTest {};

TEST_F(AgentTest, WithoutAStoredSessionNoCookieIsSent) {
  RawHttpServer server([](const RawRequest&, int) { return RawHttpServer::Reply(200, "<r/>"); });
  ExecuteAgent(ctx_, U16(server.url("")), u"a", u"", std::nullopt, false);
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_FALSE(server.requests()[0].has_header("Cookie"));
}

TEST_F(AgentTest, FailuresBecomeTheErrorTextAndThePointerIsRestored) {
  RawHttpServer garbage(
      [](const RawRequest&, int) { return RawHttpServer::Reply(200, "this is not xml"); });
  const test_util::RefusingPort nowhere;
  const std::string refused = nowhere.url("/oa");
  for (const std::string& root : {garbage.url("/oa"), refused, std::string("no-host")}) {
    ui_.SetCursorShape(32514);  // the caller's own wait cursor
    ui_.ClearRecords();
    const std::string result =
        U8(ExecuteAgent(ctx_, U16(root), u"GetInfo", u"", std::nullopt, true));
    EXPECT_EQ(result.rfind("执行代理 GetInfo 发生错误：", 0), 0u) << result;
    EXPECT_GT(result.size(), std::string("执行代理 GetInfo 发生错误：").size());
    EXPECT_EQ(ui_.cursor(), 32514);
  }
  // The wait pointer was shown during the call.
  bool waited = false;
  for (const UiRecord& r : ui_.records())
    waited |= r.kind == UiRecord::Kind::kCursor && r.cursor == kAppStartingCursor;
  EXPECT_TRUE(waited);
  EXPECT_TRUE(LogLines().empty());  // agents never log
}

TEST_F(AgentTest, TheDevelopmentServerEchoesAndChecksTheSession) {
  std::filesystem::create_directories(root_ / "oa");
  OaServerOptions options;
  options.root = root_ / "oa";
  options.users = {OaUser{"zhangsan", "secret", "SessionID=abc"}};
  OaServer server(options);
  ASSERT_GT(server.Start("127.0.0.1", 0, nullptr), 0);
  const std::u16string root = U16(server.BaseUrl() + "/oa/doc.nsf");
  EXPECT_EQ(U8(ExecuteAgent(ctx_, root, u"echo", u"&x=1", u"正文", false)), "no valid session");
  SetSessionCookie(u"SessionID=abc");
  EXPECT_EQ(U8(ExecuteAgent(ctx_, root, u"echo", u"&x=1", u"正文", false)),
            U8(u"echoOpenAgent&x=1&Login&Seq=正文zhangsan"));
  EXPECT_EQ(U8(ExecuteAgent(ctx_, root, u"ping", u"", std::nullopt, false)), "success");
}

// A stored session holding CR LF would add header lines of its own: the call goes without
// it, and (unlike a call that merely fails) the refusal is written to the event log.
TEST_F(AgentTest, ASessionValueWithLineBreaksIsRefusedWithALogLine) {
  SetSessionCookie(u"a=b\r\nX-Evil: 1");
  RawHttpServer server(
      [](const RawRequest&, int) { return RawHttpServer::Reply(200, "<r>ok</r>"); });
  const std::u16string root = U16(server.url("/oa"));
  EXPECT_EQ(U8(ExecuteAgent(ctx_, root, u"a", u"", std::nullopt, false)), "ok");
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_FALSE(server.requests()[0].has_header("X-Evil"));
  EXPECT_FALSE(server.requests()[0].has_header("Cookie"));
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(U8(lines[0]), "注册表值sid含有控制字符，不作为会话Cookie发送到" +
                              server.url("/oa/a?OpenAgent&Login&Seq=") +
                              " Err.Source= Err.Number=0");
}

}  // namespace
}  // namespace qnmuro
