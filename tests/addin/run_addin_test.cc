// The add-in through `qnmuro run`: the example document handed over, saved and closed, with a
// development OA server on 127.0.0.1 receiving the uploads.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "base/text.h"
#include "oaserver/oa_server.h"
#include "support/cli_runner.h"
#include "support/event_log.h"
#include "support/refusing_port.h"
#include "support/temp_dir.h"

namespace qnmuro::test_util {
namespace {

namespace fs = std::filesystem;

const fs::path kExamples = fs::path(QNMURO_SOURCE_DIR) / "examples";

class RunAddinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(work());
    fs::create_directories(dir_ / "server");
    OaServerOptions options;
    options.root = dir_ / "server";
    server_ = std::make_unique<OaServer>(options);
    std::string error;
    ASSERT_GT(server_->Start("127.0.0.1", 0, &error), 0) << error;
    fs::copy_file(kExamples / "docmarkline.bmp", work() / "docmarkline.bmp");
    ASSERT_EQ(Run(ReadBytes(kExamples / "make_notice.run")).status, 0);
    WriteBytes(work() / "notice.ds.xml", ReadBytes(kExamples / "notice.ds.xml"));
  }
  void TearDown() override { server_->Stop(); }

  fs::path work() const { return dir_ / "OAWork"; }
  void Control(const std::string& action, const std::string& base) {
    std::string xml = ReadBytes(kExamples / "control.xml");
    const std::string from = "<action>DraftDocument</action>";
    xml.replace(xml.find(from), from.size(), "<action>" + action + "</action>");
    for (size_t at; (at = xml.find("http://127.0.0.1:8080")) != std::string::npos;) {
      xml.replace(at, strlen("http://127.0.0.1:8080"), base);
    }
    WriteBytes(work() / "notice.xml", xml);
  }
  CliResult Run(const std::string& script) {
    WriteBytes(dir_ / "script.run", script);
    return RunQnmuro({"run", (dir_ / "script.run").string()},
                     {"QNMURO_WORKDIR=" + work().string(),
                      "QNMURO_REGISTRY=" + (dir_ / "registry.reg").string()},
                     scratch_);
  }
  static int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size()) ++n;
    return n;
  }
  fs::path Uploaded() const { return dir_ / "server" / "documents" / "6F2A" / "notice.doc"; }

  TempDir dir_;
  TempDir scratch_;
  std::unique_ptr<OaServer> server_;
};

constexpr char kOpen[] = "set-registry CurrentFile notice.doc\nopen notice.doc\n";
constexpr char kAsk[] = "MSGBOX [QNSoft] question yes-no: 是否要保存文档到服务器？";

TEST_F(RunAddinTest, UnchangedSaveAsksNothingChangedDraftAsksOnceAndUploads) {
  Control("DraftDocument", server_->BaseUrl());
  // The merge changed the document: the first save asks ("no" saves only locally); the
  // second finds nothing changed and asks nothing.
  const CliResult r = Run(std::string(kOpen) +
                          "answer no\n"
                          "save\n"
                          "save\n"
                          "type 改动\n"
                          "answer yes\n"
                          "save\n"
                          "answer no\n"
                          "close\n"
                          "show toolbar\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Count(r.out, kAsk), 3) << r.out;  // first save, changed save, close
  EXPECT_EQ(Count(r.out, std::string(kAsk) + " => yes"), 1);
  ASSERT_TRUE(fs::exists(Uploaded()));
  EXPECT_EQ(ReadBytes(Uploaded()), ReadBytes(work() / "notice.doc"));
  EXPECT_NE(r.out.find("TOOLBAR none"), std::string::npos) << r.out;
}

TEST_F(RunAddinTest, ViewModeUploadsNothingAndCleansUp) {
  Control("ViewDocument", server_->BaseUrl());
  const CliResult r = Run(std::string(kOpen) + "type 改动\nclose\nshow toolbar\nshow menu\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.find("MSGBOX"), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(dir_ / "server" / "documents"));
  EXPECT_NE(r.out.find("TOOLBAR none"), std::string::npos);
  EXPECT_NE(r.out.find("MENU 工具(&T)/选项(&E)... enabled=1"), std::string::npos) << r.out;
}

TEST_F(RunAddinTest, UploadFailureAtCloseKeepsTheBar) {
  const RefusingPort nowhere;
  Control("ApproveDocument", nowhere.url(""));
  const CliResult r = Run(std::string(kOpen) + "answer yes\nclose\nshow toolbar\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("MSGBOX [QNSoft] information ok: "
                       "文件关闭时发生错误，您对文档的修改可能无法保存或者更新到服务器，"
                       "请联系系统管理员！"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("TOOLBAR QNMuroBar visible=1: 返回OA系统[F1]"), std::string::npos);
}

TEST_F(RunAddinTest, FailedControlFileShowsItsNotice) {
  WriteBytes(work() / "notice.xml", "<config><common>");
  const CliResult r = Run(std::string(kOpen) + "show toolbar\ndisconnect\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("MSGBOX [QNSoft] information ok: "
                       "配置参数无法初始化，文档可能不正常，请联系系统管理员！"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("TOOLBAR none"), std::string::npos);
  const std::u16string log = ReadEventLog(work());
  EXPECT_NE(log.find(u"： DocumentOpen错误：配置参数“" + FromPath(work() / "notice.xml") +
                     u"”无法初始化，文档可能不正常！(0:"),
            std::u16string::npos);
  EXPECT_NE(log.find(u"WPS插件结束！"), std::u16string::npos);
}

}  // namespace
}  // namespace qnmuro::test_util
