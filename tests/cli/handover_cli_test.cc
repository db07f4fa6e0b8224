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

std::string Item(const char* desc) {
  return std::string("<document><items><item><name>n</name><desc>") + desc +
         "</desc><value>v</value></item></items></document>";
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

TEST_F(HandoverCliTest, CheckSaysWhatTheAddInWillDoAndWhatIsWrong) {
  std::string view = control_;
  view.replace(view.find("DraftDocument"), 13, "ViewDocument");
  view.replace(view.find("查看原文"), 12, "查看原稿");
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
  };
  for (const Case& c : cases) {
    ASSERT_EQ(HandOver(c.control, c.data).status, 0) << c.what;
    if (c.spoil) c.spoil(work());
    const CliResult r = Run({"handover", "check"});
    EXPECT_EQ(r.status, c.status) << c.what << "\n" << r.out << r.err;
    EXPECT_NE((c.status == 0 ? r.out : r.err).find(c.says), std::string::npos) << c.what << "\n"
                                                                               << r.out << r.err;
  }
  // The view case: the action by name, and the caption the add-in passes over silently.
  ASSERT_EQ(HandOver(view, Item("标题")).status, 0);
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
