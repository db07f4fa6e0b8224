#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/cli_runner.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

using Outcome = qnmuro::test_util::CliResult;

const std::string kIndent = "\u3000\u3000\u3000\u3000\u3000\u3000\u3000";

class DataSourceCliTest : public testing::Test {
 protected:
  DataSourceCliTest() {
    file_ = (dir_ / "notice.ds.xml").string();
    fs::copy_file(fs::path(QNMURO_SOURCE_DIR) / "examples" / "notice.ds.xml", file_);
  }

  Outcome Run(const std::vector<std::string>& args) {
    return qnmuro::test_util::RunQnmuro(args, {}, scratch_);
  }

  qnmuro::test_util::TempDir scratch_;
  qnmuro::test_util::TempDir dir_;
  std::string file_;
};

TEST_F(DataSourceCliTest, Getters) {
  struct Case {
    std::vector<std::string> args;
    std::string out;
  } cases[] = {
      {{"get-desc", "docNumber"}, "文号\n"},
      {{"get-value", "signer"}, "李四\n"},
      {{"get-value-by-desc", "发文单位"}, "青禾市人民政府办公室\n"},
      {{"get-value-by-desc", "领导意见"},
       "同意，请办公室抓紧办理。\r" + kIndent + "李四 2026-12-07 \r已阅。\r" + kIndent +
           "王五 2026-12-07 \n"},
      {{"get-extend", "docNumber", "prefix"}, "青办\n"},
      {{"get-extend", "docNumber", "missing"}, "\n"},
      {{"has-extend", "docNumber"}, "true\n"},
      {{"has-extend", "sender"}, "false\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"datasource", file_};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Outcome o = Run(args);
    EXPECT_EQ(o.status, 0) << c.args[0] << o.err;
    EXPECT_EQ(o.out, c.out) << c.args[0];
  }
}

TEST_F(DataSourceCliTest, SettersSaveTheFile) {
  Outcome o = Run({"datasource", file_, "set-value", "signer", "王五's \"签\""});
  ASSERT_EQ(o.status, 0) << o.err;
  o = Run({"datasource", file_, "set-value-by-desc", "领导意见", "同意。"});
  ASSERT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(Run({"datasource", file_, "get-value", "signer"}).out, "王五's \"签\"\n");
  EXPECT_EQ(Run({"datasource", file_, "get-value-by-desc", "领导意见"}).out, "同意。\n");
  // Content the data source does not interpret survives.
  EXPECT_NE(qnmuro::test_util::ReadBytes(file_).find("<generator>OA 公文库</generator>"),
            std::string::npos);
}

TEST_F(DataSourceCliTest, FailuresExitOneAndLeaveTheFileAlone) {
  const std::string before = qnmuro::test_util::ReadBytes(file_);
  Outcome o = Run({"datasource", file_, "set-value", "nobody", "x"});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err, "qnmuro: datasource: no item with name \"nobody\" in " + file_ + "\n");
  o = Run({"datasource", file_, "get-value-by-desc", "' or ''='"});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(qnmuro::test_util::ReadBytes(file_), before);

  const std::string broken = (dir_ / "broken.ds.xml").string();
  std::ofstream(broken) << "<document><items><item><name>a</name><desc>空</desc><value/></item>"
                           "</items></document>";
  o = Run({"datasource", broken, "get-value-by-desc", "空"});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err,
            "qnmuro: 无法取得desc=空对应的value！Object variable or With block variable not "
            "set(91:0)\n");
  // A file that does not load: why in words, then the add-in's line.
  std::ofstream(broken) << "<document><items>";
  const std::string absent = (dir_ / "absent.ds.xml").string();
  for (const auto& [path, reason] : {std::pair(broken, "not well-formed XML: line 1, column "),
                                     std::pair(absent, "there is no such file")}) {
    o = Run({"datasource", path, "get-value", "a"});
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err.rfind("qnmuro: datasource: " + path + ": " + reason, 0), 0u) << o.err;
    EXPECT_NE(o.err.find("(the add-in logs: 无法装载数据源：" + path + "！(0:"), std::string::npos)
        << o.err;
  }
  EXPECT_EQ(Run({"datasource", file_, "frobnicate", "a"}).status, 2);
}

}  // namespace
