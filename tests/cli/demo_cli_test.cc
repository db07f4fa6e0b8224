#include <gtest/gtest.h>

#include <filesystem>

#include "support/cli_runner.h"
#include "support/event_log.h"

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

}  // namespace
}  // namespace qnmuro
