#include "config/config.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/text.h"
#include "common/context.h"
#include "common/shared_state.h"
#include "common/velto_log.h"
#include "platform/clock.h"
#include "platform/ui.h"
#include "platform/xml.h"
#include "support/event_log.h"
#include "support/stderr_capture.h"
#include "support/temp_dir.h"
#include "support/xml_encodings.h"

namespace qnmuro {
namespace {

namespace fs = std::filesystem;

// Character data or an attribute value as XML text.
std::string Escaped(std::u16string_view text) {
  std::string out;
  for (char c : U8(text)) {
    const char* reference = c == '&' ? "&amp;" : c == '<' ? "&lt;" : c == '"' ? "&quot;" : nullptr;
    out += reference != nullptr ? std::string_view(reference) : std::string_view(&c, 1);
  }
  return out;
}

// What Rewritten leaves out: an element (`attribute` empty) or one of its attributes.
using DropFn = std::function<bool(const XmlNode& element, std::u16string_view attribute)>;

// The element as XML text without what `drop` names.
std::string Rewritten(const XmlNode& element, const DropFn& drop) {
  const std::string name = U8(element.Name());
  std::string xml = "<" + name;
  for (const XmlNode& a : element.SelectNodes("@*")) {
    if (!drop(element, a.Name())) xml += " " + U8(a.Name()) + "=\"" + Escaped(a.Text()) + "\"";
  }
  std::string inner;
  for (const XmlNode& c : element.Children()) {
    if (!c.IsElement()) {
      inner += c.IsText() ? Escaped(c.Text()) : U8(c.ToXml());
    } else if (!drop(c, u"")) {
      inner += Rewritten(c, drop);
    }
  }
  return xml + (inner.empty() ? "/>" : ">" + inner + "</" + name + ">");
}

class ConfigTest : public testing::Test {
 protected:
  ConfigTest() : clock_(NewVirtualClock(FromLocalTime({2026, 12, 7, 9, 30, 0}))) {
    state_.eventLog = std::make_unique<VeltoLog>(FromPath(dir_.path()), clock_.get(),
                                                 &state_.records.commonInfo.clientLog);
    ctx_.state = &state_;
    ctx_.ui = &ui_;
    ctx_.clock = clock_.get();
    ctx_.work_dir = FromPath(dir_.path());
    example_ = test_util::ReadBytes(fs::path(QNMURO_SOURCE_DIR) / "examples" / "control.xml");
  }
  ~ConfigTest() override { state_.eventLog.reset(); }

  std::u16string Write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
    return FromPath(dir_ / name);
  }

  // The example with `from` replaced by `to` (which must occur).
  std::u16string Edited(const std::string& name, const std::string& from, const std::string& to) {
    std::string text = example_;
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return Write(name, text);
  }

  // The example without the node at `xpath` (an element or an attribute).
  std::u16string Without(const std::string& name, const std::string& xpath) {
    XmlDocument doc;
    EXPECT_TRUE(doc.LoadText(example_));
    const XmlNode node = doc.Root().SelectSingleNode(xpath);
    EXPECT_TRUE(node) << xpath;
    const bool attribute = node && !node.IsElement();
    const XmlNode owner = attribute ? node.SelectSingleNode("..") : node;
    const std::u16string attribute_name = attribute ? node.Name() : u"";
    return Write(
        name, Rewritten(doc.DocumentElement(), [&](const XmlNode& element, std::u16string_view a) {
          return element == owner && a == attribute_name;
        }));
  }

  std::vector<std::u16string> LogLines() { return test_util::ReadEventLogLines(dir_.path()); }

  std::unique_ptr<VirtualClock> clock_;
  test_util::TempDir dir_;
  SharedState state_;
  ScriptedUi ui_;
  Context ctx_;
  std::string example_;
};

TEST_F(ConfigTest, LoadsEveryField) {
  Config config(ctx_);
  ASSERT_TRUE(config.Init(Write("a.xml", example_)));
  EXPECT_TRUE(config.initialised());
  EXPECT_FALSE(state_.controlLoadFailed);
  const ControlRecords& r = state_.records;
  EXPECT_EQ(r.commonInfo.name, u"zhangsan");
  EXPECT_EQ(r.commonInfo.dept, u"办公室");
  EXPECT_EQ(r.commonInfo.lastName, u"张三");
  EXPECT_EQ(r.commonInfo.fullName, u"张三/办公室/青禾");
  EXPECT_EQ(r.commonInfo.password, u"3A7F0C21B4");
  EXPECT_EQ(r.commonInfo.rootUrl, u"http://127.0.0.1:8080/oa/doc.nsf");
  EXPECT_EQ(r.commonInfo.transferMethod, kTransferHttpStreamBinary);
  EXPECT_TRUE(r.commonInfo.clientLog);

  ASSERT_EQ(r.binarys.size(), 2u);
  EXPECT_EQ(r.binarys[0].type, kBinaryContent);
  EXPECT_EQ(r.binarys[0].valueType, kValueStreamBinary);
  EXPECT_EQ(r.binarys[0].fileName, u"notice.doc");
  EXPECT_EQ(r.binarys[0].uploadUrl, u"http://127.0.0.1:8080/oa/doc.nsf/upload?OpenAgent&unid=6F2A");
  EXPECT_EQ(r.binarys[0].draftUrl,
            u"http://127.0.0.1:8080/oa/doc.nsf/0/6F2A/$file/notice_draft.doc");
  EXPECT_EQ(r.binarys[1].type, kBinaryAttachment);
  EXPECT_EQ(r.binarys[1].draftUrl, u"");
  ASSERT_EQ(r.binaryAssistants.size(), 1u);
  EXPECT_EQ(r.binaryAssistants[0].type, kBinaryItemSchema);
  EXPECT_EQ(r.binaryAssistants[0].valueType, kValueXmlText);
  EXPECT_EQ(r.binaryAssistants[0].draftUrl, u"");

  ASSERT_EQ(r.wordNames.size(), 2u);
  EXPECT_EQ(r.wordNames[0].name, u"通知");
  EXPECT_EQ(r.wordNames[0].unid, u"A1B2C3");
  EXPECT_EQ(r.wordNames[0].templateName, (std::vector<std::u16string>{u"红头通知", u"普通通知"}));
  EXPECT_EQ(r.wordNames[0].templateFile,
            (std::vector<std::u16string>{u"notice_red.wps", u"notice_plain.wps"}));
  ASSERT_EQ(r.sealWordNames.size(), 1u);
  EXPECT_EQ(r.sealWordNames[0].templateFile, std::vector<std::u16string>{u"office_seal.gif"});

  const DocumentInfo& d = r.documentInfo;
  EXPECT_EQ(d.action, kActionDraftDocument);
  EXPECT_EQ(d.binaryDatabase.fileName, u"oa/binary.nsf");
  EXPECT_EQ(d.binaryDatabase.title, u"附件库");
  EXPECT_EQ(d.database.filePath, u"oa\\doc.nsf");
  EXPECT_EQ(d.database.server.address, u"127.0.0.1");
  EXPECT_EQ(d.database.server.name, u"CN=OA01/O=QN");
  EXPECT_EQ(d.database.server.title, u"OA服务器");
  EXPECT_EQ(d.status, u"拟稿");
  EXPECT_EQ(d.unid, u"6F2A");
  EXPECT_EQ(d.button, u"查看痕迹,隐藏红头,引入文章,引入签报,更换模板,查看原文,加盖印章");

  // Two parameters give three entries, the last one empty.
  ASSERT_EQ(r.extendParameters.size(), 3u);
  EXPECT_EQ(r.extendParameters[0].name, u"docNumber");
  EXPECT_EQ(r.extendParameters[1].value, u"急");
  EXPECT_EQ(r.extendParameters[2].name, u"");
  EXPECT_EQ(r.extendParameters[2].value, u"");
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(ConfigTest, EmptyListsStillHoldEntryZero) {
  XmlDocument doc;
  ASSERT_TRUE(doc.LoadText(example_));
  std::set<XmlNode> dropped;
  for (const char* path :
       {"/config/binarys/binary", "/config/binaryAssistants/binary", "/config/wordConfig/wordName",
        "/config/sealConfig/wordName", "/config/extend/parameter"}) {
    for (XmlNode n : doc.Root().SelectNodes(path)) dropped.insert(n);
  }
  // A word entry without templates has empty template lists.
  std::string text = Rewritten(doc.DocumentElement(), [&](const XmlNode& e, std::u16string_view a) {
    return a.empty() && dropped.count(e) != 0;
  });
  ASSERT_NE(text.find("<wordConfig/>"), std::string::npos);
  text.replace(text.find("<wordConfig/>"), 13,
               "<wordConfig><wordName name='n' unid='u'/></wordConfig>");
  ASSERT_TRUE(doc.LoadText(text));
  const std::u16string path = FromPath(dir_ / "empty.xml");
  doc.SaveFile(path);

  Config config(ctx_);
  ASSERT_TRUE(config.Init(path));
  const ControlRecords& r = state_.records;
  ASSERT_EQ(r.binarys.size(), 1u);
  EXPECT_EQ(r.binarys[0].type, 0);
  EXPECT_EQ(r.binarys[0].uploadUrl, u"");
  ASSERT_EQ(r.binaryAssistants.size(), 1u);
  ASSERT_EQ(r.wordNames.size(), 1u);
  EXPECT_EQ(r.wordNames[0].name, u"n");
  EXPECT_TRUE(r.wordNames[0].templateName.empty());
  ASSERT_EQ(r.sealWordNames.size(), 1u);
  EXPECT_EQ(r.sealWordNames[0].name, u"");
  ASSERT_EQ(r.extendParameters.size(), 1u);
}

// The path of an element or attribute with its positions taken out: /a/b[2]/c -> /a/b/c.
std::string WithoutIndexes(std::string path) {
  for (size_t at; (at = path.find('[')) != std::string::npos;) {
    path.erase(at, path.find(']', at) - at + 1);
  }
  return path;
}

// The leaf elements (no element children) and attributes of an element, as index-free paths.
void LeafPaths(const XmlNode& node, const std::string& at, std::set<std::string>& out) {
  for (const XmlNode& a : node.SelectNodes("@*")) out.insert(at + "/@" + U8(a.LocalName()));
  bool leaf = true;
  for (const XmlNode& c : node.Children()) {
    if (!c.IsElement()) continue;
    leaf = false;
    LeafPaths(c, at + "/" + U8(c.LocalName()), out);
  }
  if (leaf) out.insert(at);
}

// Nested elements for index-free paths below `prefix`, each leaf holding "1".
std::string ElementsFor(const std::set<std::string>& paths, const std::string& prefix) {
  std::string xml;
  std::set<std::string> done;
  for (const std::string& p : paths) {
    if (p.rfind(prefix + "/", 0) != 0) continue;
    const std::string rest = p.substr(prefix.size() + 1);
    const std::string name = rest.substr(0, rest.find('/'));
    if (!done.insert(name).second) continue;
    const std::string inner = ElementsFor(paths, prefix + "/" + name);
    xml += "<" + name + ">" + (inner.empty() ? "1" : inner) + "</" + name + ">";
  }
  return xml;
}

// docs/integrator.md lists every element and attribute of the control file in a table whose
// rows start with the path in backticks and say whether it is required. The list must be what
// the loader reads: the example's leaves plus those the loader asks for, one by one, when it
// is handed less and less (which finds the alternatives the example does not use); and
// "required" must be exactly what a load without it refuses, naming it.
TEST_F(ConfigTest, TheIntegratorsElementListIsWhatTheLoaderReads) {
  std::map<std::string, bool> documented;
  std::istringstream doc(
      test_util::ReadBytes(fs::path(QNMURO_SOURCE_DIR) / "docs" / "integrator.md"));
  for (std::string line; std::getline(doc, line);) {
    if (line.rfind("| `/config", 0) != 0) continue;
    const size_t end = line.find('`', 3);
    const size_t cell = line.find('|', end) + 1;
    const std::string required = line.substr(cell, line.find('|', cell) - cell);
    documented[line.substr(3, end - 3)] = required.find("yes") != std::string::npos;
  }

  std::set<std::string> example;
  XmlDocument parsed;
  ASSERT_TRUE(parsed.LoadText(example_));
  LeafPaths(parsed.DocumentElement(), "/config", example);

  std::set<std::string> read = example;
  std::set<std::string> asked;
  for (int round = 0; round < 100; ++round) {
    Config config(ctx_);
    if (config.Init(Write("walk.xml", "<config>" + ElementsFor(asked, "/config") + "</config>"))) {
      break;
    }
    const std::string where = WithoutIndexes(U8(config.last_error()));
    ASSERT_TRUE(asked.insert(where).second) << where;
    read.insert(where);
  }
  std::set<std::string> listed;
  for (const auto& [path, required] : documented) listed.insert(path);
  EXPECT_EQ(listed, read);

  for (const std::string& path : example) {
    SCOPED_TRACE(path);
    Config config(ctx_);
    const bool loads = config.Init(Without("w.xml", path));
    const bool names_it = !loads && WithoutIndexes(U8(config.last_error())) == path;
    EXPECT_EQ(documented[path], names_it) << "loads without it: " << loads;
  }
}

TEST_F(ConfigTest, RootUrlFromHttpElseFtp) {
  const std::string http =
      "<http>\n      <rootUrl>http://127.0.0.1:8080/oa/doc.nsf</rootUrl>\n    </http>";
  struct Case {
    const char* label;
    std::string replacement;
    bool ok;
    std::u16string root;
  } cases[] = {
      {"both", http + "<ftp><rootUrl>ftp://x</rootUrl></ftp>", true,
       u"http://127.0.0.1:8080/oa/doc.nsf"},
      {"ftp first, then http", "<ftp><rootUrl>ftp://x</rootUrl></ftp>" + http, true,
       u"http://127.0.0.1:8080/oa/doc.nsf"},
      {"only ftp", "<ftp><rootUrl>ftp://x</rootUrl></ftp>", true, u"ftp://x"},
      {"neither", "", false, u""},
      {"http without rootUrl, ftp with", "<http/><ftp><rootUrl>ftp://x</rootUrl></ftp>", false,
       u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    state_.records = ControlRecords();
    Config config(ctx_);
    EXPECT_EQ(config.Init(Edited("r.xml", http, c.replacement)), c.ok);
    EXPECT_EQ(state_.records.commonInfo.rootUrl, c.root);
  }
}

// Every required element and attribute: without it the load fails, the previous records stay
// whole and exactly one error line names what was missing.
TEST_F(ConfigTest, MissingRequiredPartFailsAndKeepsPreviousRecords) {
  const char* required[] = {
      "/config/common/clientLog",
      "/config/common/http/rootUrl",
      "/config/common/user/dept",
      "/config/common/user/name",
      "/config/common/user/lastName",
      "/config/common/user/fullName",
      "/config/common/user/password",
      "/config/common/transferMethod",
      "/config/binarys/binary[1]/uploadUrl",
      "/config/binarys/binary[1]/fileName",
      "/config/binarys/binary[1]/title",
      "/config/binarys/binary[1]/type",
      "/config/binarys/binary[1]/downloadUrl",
      "/config/binarys/binary[1]/valueType",
      "/config/binarys/binary[2]/draftUrl",
      "/config/binaryAssistants/binary[1]/fileName",
      "/config/binaryAssistants/binary[1]/valueType",
      "/config/wordConfig/wordName[2]/@name",
      "/config/wordConfig/wordName[1]/@unid",
      "/config/sealConfig/wordName[1]/@unid",
      "/config/document/action",
      "/config/document/binaryDatabase/fileName",
      "/config/document/binaryDatabase/filePath",
      "/config/document/binaryDatabase/server/address",
      "/config/document/binaryDatabase/server/name",
      "/config/document/binaryDatabase/server/title",
      "/config/document/binaryDatabase/title",
      "/config/document/database/fileName",
      "/config/document/database/server/title",
      "/config/document/database/title",
      "/config/document/status",
      "/config/document/unid",
      "/config/document/button",
      "/config/extend/parameter[2]/name",
      "/config/extend/parameter[1]/value",
  };
  std::string previous = example_;
  previous.replace(previous.find("zhangsan"), 8, "lisi");
  previous.replace(previous.find("<status>拟稿</status>"), 21, "<status>已发</status>");
  const std::u16string previous_path = Write("previous.xml", previous);
  for (const char* path : required) {
    SCOPED_TRACE(path);
    Config config(ctx_);
    ASSERT_TRUE(config.Init(previous_path));
    const size_t lines_before = LogLines().size();
    EXPECT_FALSE(config.Init(Without("missing.xml", path)));
    EXPECT_FALSE(config.initialised());
    EXPECT_TRUE(state_.controlLoadFailed);
    EXPECT_EQ(state_.records.commonInfo.name, u"lisi");
    EXPECT_EQ(state_.records.documentInfo.status, u"已发");
    EXPECT_EQ(state_.records.extendParameters.size(), 3u);
    EXPECT_EQ(config.last_error(), U16(path));
    const std::vector<std::u16string> lines = LogLines();
    ASSERT_EQ(lines.size(), lines_before + 1);
    EXPECT_EQ(lines.back(), u"#" + ToText(lines.size()) + u"： Config.Init() Error:" + U16(path) +
                                u"Object variable or With block variable not set(91:0) "
                                u"Err.Source=QNMuroWPS Err.Number=91");
  }
}

TEST_F(ConfigTest, FileThatCannotBeLoadedLogsItsPath) {
  std::string deep;
  while (deep.size() < (50u << 20)) deep += "<config>";
  struct Case {
    const char* label;
    std::u16string path;
  } cases[] = {
      {"missing", FromPath(dir_ / "absent.xml")},
      {"not xml", Write("text.xml", "this is not xml")},
      {"truncated", Write("cut.xml", example_.substr(0, example_.size() / 2))},
      {"50 MB of nesting", Write("deep.xml", deep)},
      {"directory", FromPath(dir_.path())},
      {"bytes not in its encoding",
       Write("broken.xml", "<?xml version=\"1.0\" encoding=\"GBK\"?><config>\x81\x20</config>")},
  };
  Config first(ctx_);
  ASSERT_TRUE(first.Init(Write("a.xml", example_)));
  state_.records.commonInfo.clientLog = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    Config config(ctx_);
    test_util::StderrCapture terminal;  // the XML library's complaint stays off the terminal
    EXPECT_FALSE(config.Init(c.path));
    EXPECT_EQ(terminal.Stop(), "");
    EXPECT_TRUE(state_.controlLoadFailed);
    EXPECT_EQ(state_.records.commonInfo.name, u"zhangsan");
    EXPECT_EQ(config.last_error(), u"初始化控制参数时，无法打开配置文件：" + c.path);
    const std::u16string line = LogLines().back();
    const std::u16string expected_start =
        u"Config.Init() Error:初始化控制参数时，无法打开配置文件：" + c.path + u"(0:";
    EXPECT_NE(line.find(expected_start), std::u16string::npos) << U8(line);
    EXPECT_TRUE(line.ends_with(u") Err.Source= Err.Number=0")) << U8(line);
  }
  EXPECT_EQ(LogLines()[0], u"#1： Config.Init() Error:初始化控制参数时，无法打开配置文件：" +
                               cases[0].path + u"(0:2) Err.Source= Err.Number=0");
}

TEST_F(ConfigTest, ClientLogWords) {
  struct Case {
    const char* text;
    bool ok;
    bool value;
  } cases[] = {
      {"true", true, true}, {"TRUE", true, true},  {"False", true, false}, {" false ", true, false},
      {"0", true, false},   {"1", true, true},     {"-1", true, true},     {"2.5", true, true},
      {"0.0", true, false}, {"yes", false, false}, {"", false, false},     {"1a", false, false},
      {"-", false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    state_.records.commonInfo.clientLog = true;
    Config config(ctx_);
    EXPECT_EQ(config.Init(Edited("l.xml", "<clientLog>true</clientLog>",
                                 std::string("<clientLog>") + c.text + "</clientLog>")),
              c.ok);
    if (c.ok) {
      EXPECT_EQ(state_.records.commonInfo.clientLog, c.value);
    }
  }
  const std::u16string line = LogLines().back();
  EXPECT_TRUE(
      line.ends_with(u"Config.Init() Error:/config/common/clientLogType mismatch"
                     u"(13:0) Err.Source=QNMuroWPS Err.Number=13"))
      << U8(line);
}

TEST_F(ConfigTest, LogSwitchIsTakenOverEvenWhenTheLoadFailsLater) {
  Config config(ctx_);
  ASSERT_TRUE(config.Init(Write("a.xml", example_)));
  std::string broken = example_;
  broken.replace(broken.find("<clientLog>true"), 15, "<clientLog>false");
  broken.replace(broken.find("<button>"), 8, "<buttons>");
  broken.replace(broken.find("</button>"), 9, "</buttons>");
  EXPECT_FALSE(config.Init(Write("b.xml", broken)));
  EXPECT_FALSE(state_.records.commonInfo.clientLog);
  EXPECT_EQ(state_.records.documentInfo.button,
            u"查看痕迹,隐藏红头,引入文章,引入签报,更换模板,查看原文,加盖印章");
  const size_t before = LogLines().size();
  WriteLog(&state_, u"不应写入");
  EXPECT_EQ(LogLines().size(), before);
}

TEST_F(ConfigTest, TemplateFilesMustCoverTemplateNames) {
  Config config(ctx_);
  const std::string two = "<templateFile>request.wps</templateFile>";
  EXPECT_TRUE(
      config.Init(Edited("more_files.xml", two, two + "<templateFile>extra.doc</templateFile>")));
  EXPECT_EQ(state_.records.wordNames[1].templateName.size(), 1u);
  EXPECT_EQ(state_.records.wordNames[1].templateFile.size(), 1u);
  EXPECT_FALSE(
      config.Init(Edited("fewer_files.xml", two, two + "<templateName>多一个</templateName>")));
  EXPECT_EQ(config.last_error(), u"/config/wordConfig/wordName[2]/templateFile[2]");
}

TEST_F(ConfigTest, KeywordsAreConvertedOnLoad) {
  struct Case {
    const char* action;
    int16_t code;
  } cases[] = {{"DRAFTDOCUMENT", 10},
               {"finalizeDocument", 13},
               {"untrachrevision", 18},
               {"untrackrevision", 102},
               {" viewdocument", 102}};
  for (const Case& c : cases) {
    Config config(ctx_);
    ASSERT_TRUE(config.Init(Edited("k.xml", "<action>DraftDocument</action>",
                                   std::string("<action>") + c.action + "</action>")));
    EXPECT_EQ(state_.records.documentInfo.action, c.code) << c.action;
  }
  Config config(ctx_);
  ASSERT_TRUE(config.Init(Edited("t.xml", "<transferMethod>HttpStreamBinary</transferMethod>",
                                 "<transferMethod></transferMethod>")));
  EXPECT_EQ(state_.records.commonInfo.transferMethod, -1);
}

TEST_F(ConfigTest, CheckInitFlagShowsTheNoticeOnlyWhenNotInitialised) {
  Config config(ctx_);
  EXPECT_FALSE(config.CheckInitFlag());
  ASSERT_EQ(ui_.records().size(), 1u);
  EXPECT_EQ(ui_.records()[0].text, u"对不起，参数没有初始化！");
  EXPECT_EQ(ui_.records()[0].title, u"QN-Velto");
  EXPECT_EQ(ui_.records()[0].icon, MsgIcon::kInformation);
  ASSERT_TRUE(config.Init(Write("a.xml", example_)));
  EXPECT_TRUE(config.CheckInitFlag());
  EXPECT_EQ(ui_.records().size(), 1u);
}

TEST_F(ConfigTest, SchemaCheck) {
  const std::u16string xsd = Write("control.xsd",
                                   "<xs:schema xmlns:xs='http://www.w3.org/2001/XMLSchema'>"
                                   "<xs:element name='config'><xs:complexType><xs:sequence>"
                                   "<xs:any processContents='skip' minOccurs='7' maxOccurs='7'/>"
                                   "</xs:sequence></xs:complexType></xs:element></xs:schema>");
  Config config(ctx_);
  EXPECT_TRUE(config.CheckSchema(Write("a.xml", example_), u"", xsd));
  EXPECT_TRUE(config.InitWithSchemaCheck(Write("a.xml", example_), u"", xsd));
  EXPECT_EQ(state_.records.commonInfo.name, u"zhangsan");
  EXPECT_TRUE(LogLines().empty());

  // Invalid: not loaded at all, the previous records stay, one line with code, blank, reason.
  std::string invalid = example_;
  invalid.replace(invalid.find("zhangsan"), 8, "lisi");
  invalid.replace(invalid.find("<extend>"), 8, "<extend/><more>");
  invalid.replace(invalid.find("</extend>"), 9, "</more>");
  EXPECT_FALSE(config.InitWithSchemaCheck(Write("bad.xml", invalid), u"", xsd));
  EXPECT_FALSE(config.initialised());
  EXPECT_EQ(state_.records.commonInfo.name, u"zhangsan");
  ASSERT_EQ(LogLines().size(), 1u);
  const std::u16string line = LogLines()[0];
  EXPECT_EQ(line.rfind(u"#1： 执行Schema检查时发生错误：" + config.last_error() + u"(0:"), 0u)
      << U8(line);
  EXPECT_TRUE(line.ends_with(u" Err.Source= Err.Number=0"));
  const size_t blank = config.last_error().find(u' ');
  ASSERT_NE(blank, std::u16string::npos);
  EXPECT_GT(std::stol(U8(config.last_error().substr(0, blank))), 0);
  EXPECT_NE(config.last_error().find(u"more"), std::u16string::npos);

  // An unusable schema: the error's own description, the last error as it stood.
  const std::u16string before = config.last_error();
  EXPECT_FALSE(config.CheckSchema(Write("a.xml", example_), u"", FromPath(dir_ / "none.xsd")));
  EXPECT_EQ(config.last_error(), before);
  EXPECT_TRUE(LogLines().back().ends_with(u" Err.Source=QNMuroWPS Err.Number=53"));
  EXPECT_FALSE(config.CheckSchema(Write("a.xml", example_), u"urn:wrong", xsd));
}

// Control files come in every encoding the OA servers write; gb2312-labelled ones hold GBK
// (朱镕基: 镕 is GBK only). Each loads whole, and the XML library says nothing on the terminal.
class ConfigEncodingTest : public ConfigTest,
                           public testing::WithParamInterface<test_util::XmlEncodingCase> {};

TEST_P(ConfigEncodingTest, LoadsTheControlFile) {
  std::string text = example_.substr(example_.find("?>") + 2);  // without its declaration
  for (const auto& [from, to] :
       {std::pair<std::string, std::string>{"<name>zhangsan</name>", "<name>朱镕基</name>"},
        {"<lastName>张三</lastName>", "<lastName>镕基</lastName>"}}) {
    ASSERT_NE(text.find(from), std::string::npos);
    text.replace(text.find(from), from.size(), to);
  }
  const std::u16string path = Write("a.xml", test_util::EncodeXml(GetParam(), U16(text)));
  test_util::StderrCapture terminal;
  Config config(ctx_);
  const bool loaded = config.Init(path);
  EXPECT_EQ(terminal.Stop(), "");
  ASSERT_TRUE(loaded) << U8(config.last_report());
  const ControlRecords& r = state_.records;
  EXPECT_EQ(U8(r.commonInfo.name), "朱镕基");
  EXPECT_EQ(U8(r.commonInfo.lastName), "镕基");
  EXPECT_EQ(U8(r.commonInfo.dept), "办公室");
  EXPECT_EQ(U8(r.documentInfo.database.server.title), "OA服务器");
  EXPECT_EQ(U8(r.documentInfo.button),
            "查看痕迹,隐藏红头,引入文章,引入签报,更换模板,查看原文,加盖印章");
  EXPECT_TRUE(LogLines().empty());
}

INSTANTIATE_TEST_SUITE_P(Encodings, ConfigEncodingTest,
                         testing::ValuesIn(test_util::XmlEncodingCases()),
                         [](const testing::TestParamInfo<test_util::XmlEncodingCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace qnmuro
