// qnmuro handover (the OA system's side of a hand-over) and handover check (what the add-in
// will make of a work directory), and qnmuro log.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/text.h"
#include "support/cli_runner.h"
#include "support/temp_dir.h"

namespace qnmuro::test_util {
namespace {

namespace fs = std::filesystem;

class HandoverCliTest : public ::testing::Test {
 protected:
  HandoverCliTest() {
    fs::create_directories(work());
    control_ = ReadBytes(fs::path(QNMURO_SOURCE_DIR) / "examples" / "control.xml");
    WriteBytes(
        dir_ / "make.run",
        "new\ntype \"标题\\r正文\\r\"\nselect 0 2\nbookmark 标题\nsave-as made.doc\nclose\n");
  }
  fs::path work() const { return dir_ / "work"; }
  CliResult Run(const std::vector<std::string>& args) {
    return RunQnmuro(args,
                     {"QNMURO_WORKDIR=" + work().string(),
                      "QNMURO_REGISTRY=" + (dir_ / "registry.reg").string()},
                     scratch_);
  }
  // A document with the bookmark 标题, handed over as t.doc with `control` and `data`.
  CliResult HandOver(const std::string& control, const std::string& data) {
    EXPECT_EQ(Run({"run", (dir_ / "make.run").string()}).status, 0);
    fs::rename(work() / "made.doc", dir_ / "source.doc");
    WriteBytes(dir_ / "c.xml", control);
    WriteBytes(dir_ / "d.xml", data);
    return Run({"handover", (dir_ / "source.doc").string(), "--name", "t.doc", "--config",
                (dir_ / "c.xml").string(), "--datasource", (dir_ / "d.xml").string()});
  }

  TempDir dir_;
  TempDir scratch_;
  std::string control_;
};

std::string Items(const std::vector<std::string>& descs) {
  std::string items;
  for (const std::string& desc : descs) {
    items += "<item><name>n</name><desc>" + desc + "</desc><value>v</value></item>";
  }
  return "<document><items>" + items + "</items></document>";
}

std::string Item(const char* desc) {
  return Items({desc});
}

TEST_F(HandoverCliTest, PlacesTheFilesAndSetsCurrentFile) {
  const CliResult r = HandOver(control_, Item("标题"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out + r.err, "");  // quiet unless --verbose
  EXPECT_EQ(ReadBytes(work() / "t.doc"), ReadBytes(dir_ / "source.doc"));
  EXPECT_EQ(ReadBytes(work() / "t.xml"), control_);
  EXPECT_EQ(ReadBytes(work() / "t.ds.xml"), Item("标题"));
  EXPECT_EQ(Run({"registry", "get", "CurrentFile"}).out, "t.doc\n");
}

// A link planted in the work directory under one of the hand-over's names is never written
// through: the hand-over fails, says which, and the file outside stays as it was; a name the
// code page cannot carry is refused, naming the character.
TEST_F(HandoverCliTest, PlantedLinksAndNamesTheCodePageCannotCarryAreRefused) {
  ASSERT_EQ(HandOver(control_, Item("标题")).status, 0);
  for (const char* planted : {"t.doc", "t.xml", "t.ds.xml"}) {
    SCOPED_TRACE(planted);
    WriteBytes(dir_ / "outside.txt", "outside");
    fs::remove(work() / planted);
    fs::create_symlink(dir_ / "outside.txt", work() / planted);
    const CliResult r =
        Run({"handover", (dir_ / "source.doc").string(), "--name", "t.doc", "--config",
             (dir_ / "c.xml").string(), "--datasource", (dir_ / "d.xml").string()});
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find((work() / planted).string() + " is a link"), std::string::npos) << r.err;
    EXPECT_EQ(ReadBytes(dir_ / "outside.txt"), "outside");
    fs::remove(work() / planted);
  }
  const CliResult r = Run({"handover", (dir_ / "source.doc").string(), "--name", "📄报告.doc",
                           "--config", (dir_ / "c.xml").string()});
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("U+1F4C4 (📄)"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(work() / "📄报告.doc"));
}

// The control file for the view action, with a caption the add-in does not know.
std::string ViewControl(std::string control) {
  control.replace(control.find("DraftDocument"), 13, "ViewDocument");
  control.replace(control.find("查看原文"), 12, "查看原稿");
  return control;
}

TEST_F(HandoverCliTest, CheckSaysWhatTheAddInWillDoAndWhatIsWrong) {
  const auto Spoilt = [this](const std::string& from, const std::string& to) {
    std::string xml = control_;
    xml.replace(xml.find(from), from.size(), to);
    return xml;
  };
  const std::string view = ViewControl(control_);
  struct Case {
    const char* what;
    std::string control, data;
    std::function<void(const fs::path&)> spoil;
    int status;
    const char* says;  // on stdout when usable, on stderr when not
  };
  const Case cases[] = {
      {"usable", control_, Item("标题"), nullptr, 0, "bookmarks filled: 标题\n"},
      {"view", view, Item("标题"), nullptr, 0, "save and close: nothing is uploaded"},
      {"no control file", control_, Item("标题"),
       [](const fs::path& w) { fs::remove(w / "t.xml"); }, 1, "there is no control file"},
      {"not XML", control_, "<items>", nullptr, 1, "is not XML"},
      {"no items", control_, "<document/>", nullptr, 1, "has no items"},
      {"fills nothing", control_, Item("别的"), nullptr, 1, "fills none of the document's 1"},
      {"taken up", control_, Item("标题"),
       [this](const fs::path&) {
         Run({"registry", "set", "CurrentFile", ""});
       },
       1, "CurrentFile is empty"},
      // The add-in opened it already, for a clerk who may not clear CurrentFile.
      {"taken once", control_, Item("标题"),
       [this](const fs::path&) {
         fs::permissions(dir_ / "registry.reg", fs::perms::owner_read);
         WriteBytes(dir_ / "open.run", "open t.doc\n");
         Run({"run", (dir_ / "open.run").string()});
       },
       1, "this hand-over was taken already"},
      {"relative upload address",
       Spoilt("<uploadUrl>http://127.0.0.1:8080/oa/doc.nsf/", "<uploadUrl>"), Item("标题"), nullptr,
       1, "\"upload?OpenAgent&unid=6F2A\" is no absolute http"},
      {"misspelt action", Spoilt("DraftDocument", "DraftDocment"), Item("标题"), nullptr, 1,
       "(did you mean DraftDocument?)"},
      {"an item without bookmark", control_, Items({"标题", "别的"}), nullptr, 0,
       "items that fill nothing (no bookmark of that name): 别的\n"},
      {"a document no host reads", control_, Item("标题"),
       [](const fs::path& w) { WriteBytes(w / "t.doc", "\xD0\xCF\x11\xE0 a Word 97 file"); }, 0,
       "warning: cannot read the bookmarks of"},
  };
  std::error_code ec;  // the registry file is made by the first hand-over
  for (const Case& c : cases) {
    fs::permissions(dir_ / "registry.reg", fs::perms::owner_read | fs::perms::owner_write, ec);
    fs::remove(work() / "handover.taken");
    ASSERT_EQ(HandOver(c.control, c.data).status, 0) << c.what;
    if (c.spoil) c.spoil(work());
    // The simulated word processor alone, so that the result does not depend on Writer.
    const CliResult r = Run({"handover", "check", "--host", "sim"});
    EXPECT_EQ(r.status, c.status) << c.what << "\n" << r.out << r.err;
    EXPECT_NE((r.out + r.err).find(c.says), std::string::npos) << c.what << "\n" << r.out << r.err;
    if (std::string(c.what) == "taken once") {
      EXPECT_NE(r.err.find("warning: CurrentFile cannot be written"), std::string::npos) << r.err;
    }
  }
  fs::permissions(dir_ / "registry.reg", fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(HandoverCliTest, CheckGivesProgramsTheSameFactsAndLogsNothing) {
  // For programs: the same facts as one JSON object.
  ASSERT_EQ(HandOver(control_, Items({"标题", "别的"})).status, 0);
  const CliResult json = Run({"handover", "check", "--json"});
  EXPECT_EQ(json.status, 0) << json.err;
  EXPECT_EQ(
      json.out.rfind("{\"workDirectory\":\"" + work().string() + "\",\"currentFile\":\"t.doc\"", 0),
      0u)
      << json.out;
  for (const char* part :
       {"\"action\":{\"code\":10,\"name\":\"DraftDocument\",",
        "\"readBy\":\"sim\",\"bookmarksFilled\":[\"标题\"],\"bookmarksEmptied\":[],"
        "\"itemsUnused\":[\"别的\"]",
        "\"problems\":[],\"warnings\":[],\"usable\":true}\n"}) {
    EXPECT_NE(json.out.find(part), std::string::npos) << part << "\n" << json.out;
  }
  // The view case: the action by name, and the caption the add-in passes over silently.
  ASSERT_EQ(HandOver(ViewControl(control_), Item("标题")).status, 0);
  const std::string log = ReadBytes(work() / "comlog.txt");
  const CliResult r = Run({"handover", "check", work().string()});
  EXPECT_NE(r.out.find("action: 11 (ViewDocument): view:"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("warning: /config/document/button: \"查看原稿\""), std::string::npos)
      << r.err;
  EXPECT_EQ(ReadBytes(work() / "comlog.txt"), log);  // the check logs nothing
}

TEST_F(HandoverCliTest, LogPrintsTheCodePageLogInUtf8AndFollowsIt) {
  const std::string gbk = ToCodePage(u"#1： 开始\r\n#2： 文档“甲”\r\n#3： 结束\r\n", "GBK");
  WriteBytes(work() / "comlog.txt", gbk);
  CliResult r = Run({"log"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "#1： 开始\n#2： 文档“甲”\n#3： 结束\n");
  EXPECT_EQ(Run({"log", "--tail", "1"}).out, "#3： 结束\n");
  EXPECT_EQ(ReadBytes(work() / "comlog.txt"), gbk);  // the log itself stays as written
  // --follow prints what is appended, until it is stopped.
  WriteBytes(dir_ / "follow.sh",
             "\"$1\" log --tail 0 --follow & pid=$!\nsleep 0.6\n"
             "cat \"$2\" >>\"$QNMURO_WORKDIR/comlog.txt\"\nsleep 0.8\nkill $pid\n");
  WriteBytes(dir_ / "more", ToCodePage(u"#4： 追加\r\n", "GBK"));
  r = RunProgram("/bin/sh", {(dir_ / "follow.sh").string(), QNMURO_BIN, (dir_ / "more").string()},
                 {"QNMURO_WORKDIR=" + work().string()}, scratch_);
  EXPECT_EQ(r.out, "#4： 追加\n");

  // A rotation right after a line was written (the add-in's way: copied to the backup, then a
  // new log), and a log replaced by a longer file: no line lost, none printed from mid-line.
  WriteBytes(dir_ / "rotate.sh",
             "cd \"$QNMURO_WORKDIR\"\n\"$1\" log --tail 0 --follow & pid=$!\nsleep 0.6\n"
             "printf '#5: last\\r\\n' >>comlog.txt; cp comlog.txt bakcomlog.txt\n"
             "printf '#1: new\\r\\n' >comlog.txt.new; mv comlog.txt.new comlog.txt\nsleep 0.8\n"
             "printf '#1: another log, longer than the one before it was\\r\\n' >x\n"
             "mv x comlog.txt\nsleep 0.8\nkill $pid\n");
  r = RunProgram("/bin/sh", {(dir_ / "rotate.sh").string(), QNMURO_BIN},
                 {"QNMURO_WORKDIR=" + work().string()}, scratch_);
  EXPECT_EQ(r.out, "#5: last\n#1: new\n#1: another log, longer than the one before it was\n");
}

}  // namespace
}  // namespace qnmuro::test_util
