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

class ConfigCliTest : public testing::Test {
 protected:
  ConfigCliTest() {
    fs::create_directories(dir_ / "work");
    example_ =
        qnmuro::test_util::ReadBytes(fs::path(QNMURO_SOURCE_DIR) / "examples" / "control.xml");
  }

  Outcome Run(const std::vector<std::string>& args) {
    return qnmuro::test_util::RunQnmuro(args, {"QNMURO_WORKDIR=" + (dir_ / "work").string()},
                                        scratch_);
  }
  std::string Write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
    return (dir_ / name).string();
  }

  qnmuro::test_util::TempDir scratch_;
  qnmuro::test_util::TempDir dir_;
  std::string example_;
};

TEST_F(ConfigCliTest, PrintsTheLoadedRecords) {
  const Outcome o = Run({"config", "check", Write("a.xml", example_)});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.err, "");
  for (const char* expected :
       {"commonInfo\n  name = zhangsan\n", "  transferMethod = 51\n", "  clientLog = true\n",
        "binarys[1]\n  type = 71\n", "binaryAssistants[0]\n  type = 77\n",
        "wordNames[0]\n  name = 通知\n  unid = A1B2C3\n  templateName[0] = 红头通知\n"
        "  templateFile[0] = notice_red.doc\n",
        "  action = 10\n", "  database.server.address = 127.0.0.1\n",
        "extendParameters[2]\n  name = \n  value = \n"}) {
    EXPECT_NE(o.out.find(expected), std::string::npos) << expected;
  }
  EXPECT_TRUE(fs::is_empty(dir_ / "work"));  // no comlog.txt
}

TEST_F(ConfigCliTest, AFailedLoadPrintsTheLoggedReason) {
  std::string broken = example_;
  broken.replace(broken.find("<status>"), 8, "<state>");
  broken.replace(broken.find("</status>"), 9, "</state>");
  const std::string path = Write("broken.xml", broken);
  Outcome o = Run({"config", "check", path});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(o.err,
            "qnmuro: Config.Init() Error:/config/document/statusObject variable or With block "
            "variable not set(91:0)\n");

  o = Run({"config", "check", (dir_ / "absent.xml").string()});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err, "qnmuro: Config.Init() Error:初始化控制参数时，无法打开配置文件：" +
                       (dir_ / "absent.xml").string() + "(0:2)\n");
  EXPECT_TRUE(fs::is_empty(dir_ / "work"));
}

TEST_F(ConfigCliTest, ValidatesFirstWhenGivenASchema) {
  const std::string xsd =
      Write("c.xsd",
            "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema' targetNamespace='urn:qn'>"
            "<xs:element name='config'><xs:complexType><xs:sequence>"
            "<xs:any processContents='skip' namespace='##any' maxOccurs='unbounded'/>"
            "</xs:sequence></xs:complexType></xs:element></xs:schema>");
  std::string namespaced = example_;
  namespaced.replace(namespaced.find("<config>"), 8, "<config xmlns='urn:qn'>");
  Outcome o = Run(
      {"config", "check", Write("ns.xml", namespaced), "--schema", xsd, "--namespace", "urn:qn"});
  // Valid, but the elements are in the namespace, so the un-namespaced paths find nothing.
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("Config.Init() Error:/config/common/clientLog"), std::string::npos);

  o = Run({"config", "check", Write("a.xml", example_), "--schema", xsd, "--namespace", "urn:qn"});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err.rfind("qnmuro: 执行Schema检查时发生错误：", 0), 0u) << o.err;

  o = Run({"config", "check", Write("a.xml", example_), "--namespace", "urn:qn"});
  EXPECT_EQ(o.status, 2);
  o = Run({"config", "check"});
  EXPECT_EQ(o.status, 2);
}

}  // namespace
