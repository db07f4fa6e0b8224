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

using qnmuro::test_util::CountLines;

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
       {"commonInfo\n  name = zhangsan\n", "  transferMethod = 51 (HttpStreamBinary)\n",
        "  clientLog = true\n", "binarys[1]\n  type = 71 (attachment)\n",
        "binaryAssistants[0]\n  type = 77 (itemSchema)\n",
        "wordNames[0]\n  name = 通知\n  unid = A1B2C3\n  templateName[0] = 红头通知\n"
        "  templateFile[0] = notice_red.doc\n",
        "  action = 10 (DraftDocument)\n", "  valueType = 62 (xmlText)\n",
        "  database.server.address = 127.0.0.1\n",
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

TEST_F(ConfigCliTest, StrictNamesWhatTheAddInWouldAcceptSilently) {
  struct Case {
    const char* from;
    const char* to;
    const char* element;
  };
  const Case cases[] = {
      {"<action>DraftDocument</action>", "<action>Drafting</action>", "/config/document/action"},
      {"<type>attachment</type>", "<type>attachement</type>", "/config/binarys/binary[2]/type"},
      {"HttpStreamBinary", "HttpStream", "/config/common/transferMethod"},
      {"查看原文,", "查看原稿,", "/config/document/button: \"查看原稿\""},
      {"<type>content</type>", "<type>attachment</type>", "/config/binarys: no binary of type"},
      {"<uploadUrl>http://127.0.0.1:8080/oa/doc.nsf/upload?OpenAgent&amp;unid=6F2A</uploadUrl>",
       "<uploadUrl></uploadUrl>", "/config/binarys/binary/uploadUrl"},
      {"<rootUrl>http://127.0.0.1:8080/oa/doc.nsf</rootUrl>", "<rootUrl>oa/doc.nsf</rootUrl>",
       "/config/common/http/rootUrl"},
      {"<http>", "<ftp>", "/config/common/ftp/rootUrl"},
  };
  for (const Case& c : cases) {
    std::string xml = example_;
    xml.replace(xml.find(c.from), std::string(c.from).size(), c.to);
    if (std::string(c.from) == "<http>") {
      xml.replace(xml.find("</http>"), 7, "</ftp>");
      xml.replace(xml.find("http://127.0.0.1:8080/oa/doc.nsf<"), 32, "ftp://127.0.0.1/oa/doc.nsf");
    }
    const std::string file = Write("s.xml", xml);
    const Outcome loose = Run({"config", "check", file});
    EXPECT_EQ(loose.status, 0) << c.element;  // what the add-in accepts, the check accepts
    EXPECT_NE(loose.err.find(std::string("warning: ") + c.element), std::string::npos)
        << c.element << "\n"
        << loose.err;
    const Outcome strict = Run({"config", "check", "--strict", file});
    EXPECT_EQ(strict.status, 1) << c.element;
    EXPECT_EQ(CountLines(strict.err), 1) << strict.err;
    EXPECT_NE(strict.err.find(c.element), std::string::npos) << strict.err;
  }
  const Outcome clean = Run({"config", "check", "--strict", Write("a.xml", example_)});
  EXPECT_EQ(clean.status, 0) << clean.err;
  EXPECT_EQ(clean.err, "");
}

TEST_F(ConfigCliTest, JsonForProgramsFromConfigCheckAndDataSourceDump) {
  const Outcome o = Run({"config", "check", "--json", Write("a.xml", example_)});
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(o.out.rfind("{\"commonInfo\":{\"name\":\"zhangsan\",", 0), 0u) << o.out;
  EXPECT_NE(o.out.find("\"action\":{\"code\":10,\"name\":\"DraftDocument\"}"), std::string::npos);
  EXPECT_NE(o.out.find("\"templateName\":[\"红头通知\",\"普通通知\"]"), std::string::npos);
  EXPECT_NE(o.out.find("\"binarys\":[{\"type\":{\"code\":70,"), std::string::npos);
  EXPECT_EQ(o.out.substr(o.out.size() - 15), "\"findings\":[]}\n");
  const std::string ds = (fs::path(QNMURO_SOURCE_DIR) / "examples" / "notice.ds.xml").string();
  const Outcome d = Run({"datasource", ds, "dump", "--json"});
  EXPECT_EQ(d.status, 0) << d.err;
  EXPECT_EQ(d.out.rfind("{\"items\":[{\"name\":\"title\",\"desc\":\"标题\",", 0), 0u) << d.out;
  EXPECT_NE(d.out.find("\"extend\":[{\"name\":\"prefix\",\"value\":\"青办\"}"), std::string::npos);
  const Outcome text = Run({"datasource", ds, "dump"});
  EXPECT_NE(text.out.find("item[1]\n  name = docNumber\n  desc = 文号\n"), std::string::npos)
      << text.out;
}

}  // namespace
