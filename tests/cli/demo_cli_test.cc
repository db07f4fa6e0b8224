#include <gtest/gtest.h>

#include <filesystem>

#include "support/cli_runner.h"
#include "support/event_log.h"
#include "support/oa_server_process.h"

namespace qnmuro {
namespace {

using test_util::ReadBytes;
using test_util::ReadEventLog;
using test_util::RunQnmuro;
using test_util::TempDir;

// The demo is the first thing a new user runs: it must complete its round trip on its own.
TEST(DemoCliTest, RoundTripEndsWithTheUploadedNoticeOnTheServer) {
  TempDir scratch;
  const auto dir = scratch / "demo";
  const auto r = RunQnmuro({"demo", "--dir", dir.string()}, {}, scratch);
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("TOOLBAR QNMuroBar visible=1: 返回OA系统[F1] 查看痕迹[F2] 隐藏红头[F3]"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("MSGBOX [QNSoft] question yes-no: 是否要保存文档到服务器？ => yes"),
            std::string::npos);
  EXPECT_NE(r.out.find("DEMO OK"), std::string::npos);
  // The uploaded version is a document of its own on the server, and the log tells the story.
  const std::string uploaded = ReadBytes(dir / "server" / "documents" / "6F2A" / "notice.doc");
  EXPECT_NE(uploaded.find("会议地点另行通知。"), std::string::npos);
  EXPECT_NE(ReadEventLog(dir / "OAWork").find(u"WPS"), std::u16string::npos);
}

// The demo never takes over a folder in use: files there stay as they were.
TEST(DemoCliTest, RefusesAFolderThatIsNotEmpty) {
  TempDir scratch;
  const auto dir = scratch / "home";
  test_util::WriteBytes(dir / "OAWork" / "notice.doc", "the user's own");
  const auto r = RunQnmuro({"demo", "--dir", dir.string()}, {}, scratch);
  EXPECT_EQ(r.status, 2) << r.out << r.err;
  EXPECT_NE(r.err.find("is not an empty folder"), std::string::npos) << r.err;
  EXPECT_EQ(ReadBytes(dir / "OAWork" / "notice.doc"), "the user's own");
  EXPECT_FALSE(std::filesystem::exists(dir / "OAWork" / "notice.xml"));
}

// A run whose upload fails says so, also when the server still holds an earlier run's notice.
TEST(DemoCliTest, AFailedUploadIsNeverReportedAsDone) {
  TempDir scratch;
  const auto served = scratch / "served";
  std::filesystem::create_directories(served);
  test_util::OaServerProcess server(served);
  std::string error;
  ASSERT_TRUE(server.Start(0, &error)) << error;
  const std::vector<std::string> use = {"--server", server.BaseUrl(), "--server-root",
                                        served.string()};
  auto demo = [&](const std::string& dir) {
    std::vector<std::string> args = {"demo", "--dir", (scratch / dir).string()};
    args.insert(args.end(), use.begin(), use.end());
    return RunQnmuro(args, {}, scratch);
  };
  const auto first = demo("first");
  ASSERT_EQ(first.status, 0) << first.out << first.err;
  // Nothing can be received any more.
  std::filesystem::remove_all(served / "incoming");
  test_util::WriteBytes(served / "incoming", "not a folder");
  const auto second = demo("second");
  EXPECT_EQ(second.status, 1) << second.out;
  EXPECT_EQ(second.out.find("DEMO OK"), std::string::npos) << second.out;
  EXPECT_NE(second.out.find("DEMO FAILED"), std::string::npos) << second.out;
}

}  // namespace
}  // namespace qnmuro
