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
        "  templateFile[0] = notice_red.wps\n",
        "  action = 10 (DraftDocument)\n", "  valueType = 62 (xmlText)\n",
        "  database.server.address = 127.0.0.1\n",
        "extendParameters[2]\n  name = \n  value = \n"}) {
    EXPECT_NE(o.out.find(expected), std::string::npos) << expected;
  }
  EXPECT_TRUE(fs::is_empty(dir_ / "work"));  // no comlog.txt
}

TEST_F(ConfigCliTest, AFailedLoadSaysWhyAndTheLineTheAddInLogs) {
  std::string no_status = example_;
  no_status.replace(no_status.find("<status>"), 8, "<state>");
  no_status.replace(no_status.find("</status>"), 9, "</state>");
  std::string gbk_undeclared = example_;  // 张三 in GBK, and no encoding named
  gbk_undeclared.replace(gbk_undeclared.find(" encoding=\"UTF-8\""), 17, "");
  gbk_undeclared.replace(gbk_undeclared.find("<lastName>张三</lastName>"), 26,
                         "<lastName>\xD5\xC5\xC8\xFD</lastName>");
  const struct {
    const char* name;
    std::string bytes;  // none: the file is not there
    const char* reason;
    const char* element;  // in the JSON error object; nullptr: null
    std::string logged;
  } cases[] = {
      {"no_status.xml", no_status, "the required element /config/document/status is missing",
       "/config/document/status",
       "Config.Init() Error:/config/document/statusObject variable or With block variable not "
       "set(91:0)"},
      {"absent.xml", "", "there is no such file", nullptr,
       "Config.Init() Error:初始化控制参数时，无法打开配置文件：" + (dir_ / "absent.xml").string() +
           "(0:2)"},
      {"cut.xml", "<config><common>", "not well-formed XML: line 1, column 17: ", nullptr,
       "Config.Init() Error:初始化控制参数时，无法打开配置文件："},
      {"gbk.xml", gbk_undeclared,
       "encoding: the file is not UTF-8 and its XML declaration "
       "names no encoding",
       nullptr, "Config.Init() Error:初始化控制参数时，无法打开配置文件："},
  };
  for (const auto& c : cases) {
    const std::string path = c.bytes.empty() ? (dir_ / c.name).string() : Write(c.name, c.bytes);
    const Outcome o = Run({"config", "check", path});
    EXPECT_EQ(o.status, 1) << c.name;
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(CountLines(o.err), 1) << o.err;
    EXPECT_EQ(o.err.rfind("qnmuro: config check: " + path + ": " + c.reason, 0), 0u) << o.err;
    EXPECT_NE(o.err.find("(the add-in logs: " + c.logged), std::string::npos) << o.err;
    const Outcome json = Run({"config", "check", "--json", path});
    EXPECT_EQ(json.status, 1);
    const std::string element =
        c.element == nullptr ? "null" : std::string("\"") + c.element + "\"";
    EXPECT_EQ(json.out.rfind("{\"error\":{\"file\":\"" + path + "\",\"element\":" + element +
                                 ",\"reason\":\"" + c.reason,
                             0),
              0u)
        << json.out;
  }
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
  EXPECT_NE(o.err.find(": not valid against the schema: "), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("(the add-in logs: 执行Schema检查时发生错误："), std::string::npos) << o.err;

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
    int lines = 1;  // findings
  };
  const Case cases[] = {
      {"<binarys>", "<binaries>",
       "/config/binaries: no such element: the add-in does not read "
       "it (did you mean <binarys>?)",
       2},
      {"<uploadUrl>http://127.0.0.1:8080/oa/doc.nsf/upload?OpenAgent",
       "<uploadUrl>upload?OpenAgent",
       "/config/binarys/binary/uploadUrl: \"upload?OpenAgent&unid=6F2A\" is no absolute http"},
      {"<unid>6F2A</unid>", "<unid>6F2A</unid><unid>7B00</unid>",
       "/config/document/unid: appears more than once"},
      {"<status>拟稿</status>", "<status>拟稿</status><statu/>",
       "/config/document/statu: no such element: the add-in does not read it (did you mean "
       "<status>?)"},
      {"<password>3A7F0C21B4</password>", "<password>secret!</password>",
       "/config/common/user/password: is not enciphered"},
      {"notice_plain.wps", "notice_plain.doc",
       "/config/wordConfig/wordName[1]/templateFile: \"notice_plain.doc\" is never offered"},
      {"unid=\"5EA1\"", "unid=\"\"",
       "/config/sealConfig: the button list shows 加盖印章 but no seal"},
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
    if (std::string(c.from) == "<binarys>") xml.replace(xml.find("</binarys>"), 10, "</binaries>");
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
    EXPECT_EQ(CountLines(strict.err), c.lines) << strict.err;
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
