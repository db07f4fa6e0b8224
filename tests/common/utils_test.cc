#include "common/utils.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "base/error.h"
#include "base/text.h"
#include "common/context.h"
#include "common/shared_state.h"
#include "common/velto_log.h"
#include "platform/clock.h"
#include "platform/ui.h"
#include "support/event_log.h"
#include "support/shell_fake.h"
#include "support/temp_dir.h"

namespace qnmuro {
namespace {

namespace fs = std::filesystem;
using test_util::ReadBytes;
using test_util::TempDir;
using test_util::WriteBytes;

struct PathCase {
  const char16_t* path;
  const char16_t* extension;
  const char16_t* without_extension;
  const char16_t* name;
  const char16_t* folder;
};

TEST(PathTest, SplitsPaths) {
  const PathCase cases[] = {
      {u"C:\\OAWork\\公文.doc", u".doc", u"C:\\OAWork\\公文", u"公文.doc", u"C:\\OAWork\\"},
      {u"/home/u/OAWork/a.docx", u".docx", u"/home/u/OAWork/a", u"a.docx", u"/home/u/OAWork/"},
      {u"dir.x\\name", u".x\\name", u"dir", u"name", u"dir.x\\"},
      {u"a/b\\c.txt", u".txt", u"a/b\\c", u"c.txt", u"a/b\\"},
      {u"noext", u"", u"noext", u"noext", u"noext"},
      {u"x.tar.gz", u".gz", u"x.tar", u"x.tar.gz", u"x.tar.gz"},
      {u"C:\\OAWork\\", u"", u"C:\\OAWork\\", u"", u"C:\\OAWork\\"},
      {u".doc", u".doc", u"", u".doc", u".doc"},
      // Shorter than four characters: the first test fails, the result is the whole text.
      {u"a.b", u"a.b", u"", u"a.b", u"a.b"},
      {u"", u"", u"", u"", u""},
      {u"   ", u"   ", u"", u"", u""},
  };
  for (const PathCase& c : cases) {
    SCOPED_TRACE(U8(c.path));
    EXPECT_EQ(GetFileExtension(c.path), c.extension);
    EXPECT_EQ(RemoveFileExtension(c.path), c.without_extension);
    EXPECT_EQ(GetFileName(c.path), c.name);
    EXPECT_EQ(GetFilePath(c.path), c.folder);
  }
}

TEST(UrlTest, AppendsParameters) {
  const struct {
    const char16_t* url;
    const char16_t* parameter;
    const char16_t* expected;
  } cases[] = {
      {u"http://h/p", u"&a=1", u"http://h/p?a=1"},
      {u"http://h/p", u"?a=1", u"http://h/p?a=1"},
      {u"http://h/p", u"a=1", u"http://h/p?a=1"},
      {u"http://h/p", u"  &a=1", u"http://h/p?a=1"},
      {u"http://h/p", u"", u"http://h/p"},
      {u"http://h/p?x=1&", u"a=1", u"http://h/p?x=1&a=1"},
      {u"http://h/p?x=1&  ", u"a=1", u"http://h/p?x=1&  a=1"},
      {u"http://h/p?x=1", u"&a=1", u"http://h/p?x=1&a=1"},
      {u"http://h/p?", u"a=1", u"http://h/p?&a=1"},
      {u"http://h/p", u" b", u"http://h/p? b"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(AppendUrlParameter(c.url, c.parameter), c.expected) << U8(c.url) << U8(c.parameter);
  }
}

TEST(EncodeFileNameTest, EncodesGbkBytesAndEscapesPlusAndSlash) {
  EXPECT_EQ(EncodeFileName(u"公文.doc"), u"uavOxC5kb2M=");
  EXPECT_EQ(EncodeFileName(u"?"
                           "?>???"),
            u"Pz8%2BPz8%2F");
  EXPECT_EQ(EncodeFileName(u""), u"");
  for (const char16_t* text : {u"a/b+c", u"测试文件名称很长的一个文档.wps", u"~~~>>>?"}) {
    const std::u16string out = EncodeFileName(text);
    EXPECT_EQ(out.find(u'+'), std::u16string::npos);
    EXPECT_EQ(out.find(u'/'), std::u16string::npos);
  }
}

TEST(EscapeTextTest, KeepsExactlyTheSixtyNineCharacters) {
  const std::u16string kept =
      u"*+-./0123456789@ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz";
  ASSERT_EQ(kept.size(), 69u);
  for (char16_t c = 0; c < 0x80; ++c) {
    const std::u16string one(1, c);
    const bool keep = kept.find(c) != std::u16string::npos;
    EXPECT_EQ(EscapeText(one) == one, keep) << static_cast<int>(c);
  }
  EXPECT_EQ(EscapeText(kept), kept);
}

TEST(EscapeTextTest, EscapesInFourWidths) {
  EXPECT_EQ(EscapeText(u"\n"), u"%0A");
  EXPECT_EQ(EscapeText(std::u16string(1, u'\0')), u"%00");
  EXPECT_EQ(EscapeText(u" "), u"%20");
  EXPECT_EQ(EscapeText(u"~%"), u"%7E%25");
  EXPECT_EQ(EscapeText(u"é"), u"%E9");
  EXPECT_EQ(EscapeText(u"\u0100"), u"%u0100");
  EXPECT_EQ(EscapeText(u"\u0FFF"), u"%u0FFF");
  EXPECT_EQ(EscapeText(u"公文"), u"%u516C%u6587");
  EXPECT_EQ(EscapeText(u"\uFFFF"), u"%uFFFF");
  EXPECT_EQ(EscapeText(std::u16string(1, 0xD800)), u"%uD800");
  EXPECT_EQ(EscapeText(u"a b.doc"), u"a%20b.doc");
}

class FileUtilsTest : public ::testing::Test {
 protected:
  FileUtilsTest() : clock_(NewVirtualClock(FromLocalTime(LocalTime{2026, 12, 7, 1, 25, 13}))) {
    ctx_.clock = clock_.get();
    ctx_.ui = &ui_;
    ctx_.shell = &shell_;
    ctx_.state = &state_;
    ctx_.work_dir = (dir_ / "OAWork").u16string();
    state_.eventLog = std::make_unique<VeltoLog>(dir_.path().u16string(), clock_.get(),
                                                 &state_.records.commonInfo.clientLog);
  }
  std::u16string Log() { return test_util::ReadEventLog(dir_.path()); }
  void Age(const fs::path& file, std::chrono::hours age) {
    const auto when = clock_->Now() - age;
    fs::last_write_time(file, std::chrono::file_clock::from_sys(when));
  }

  TempDir dir_;
  std::unique_ptr<VirtualClock> clock_;
  ScriptedUi ui_;
  FakeShell shell_;
  SharedState state_;
  Context ctx_;
};

TEST_F(FileUtilsTest, BackupCopiesIntoTheFolderBesideTheDocument) {
  WriteBytes(dir_ / "公文.doc", "content");
  ASSERT_TRUE(BackupFile(ctx_, (dir_ / "公文.doc").u16string()));
  EXPECT_EQ(ReadBytes(dir_ / "qnoawork.bak" / "20261207012513公文.doc"), "content");
  // A copy of the same second keeps the first one and takes a numbered stamp.
  for (const char* later : {"changed", "changed again"}) {
    WriteBytes(dir_ / "公文.doc", later);
    ASSERT_TRUE(BackupFile(ctx_, (dir_ / "公文.doc").u16string()));
  }
  EXPECT_EQ(ReadBytes(dir_ / "qnoawork.bak" / "20261207012513公文.doc"), "content");
  EXPECT_EQ(ReadBytes(dir_ / "qnoawork.bak" / "20261207012513-2公文.doc"), "changed");
  EXPECT_EQ(ReadBytes(dir_ / "qnoawork.bak" / "20261207012513-3公文.doc"), "changed again");
}

TEST_F(FileUtilsTest, BackupAcceptsBackslashPaths) {
  WriteBytes(dir_ / "a.doc", "x");
  std::u16string path = dir_.path().u16string() + u"\\a.doc";
  ASSERT_TRUE(BackupFile(ctx_, path));
  EXPECT_TRUE(fs::exists(dir_ / "qnoawork.bak" / "20261207012513a.doc"));
}

TEST_F(FileUtilsTest, BackupNameKeepsThirtyTwoCharactersWhole) {
  const std::string name32 = std::string(28, 'n') + ".doc";
  const std::string name33 = std::string(29, 'm') + ".doc";
  WriteBytes(dir_ / name32, "32");
  WriteBytes(dir_ / name33, "33");
  ASSERT_TRUE(BackupFile(ctx_, (dir_ / name32).u16string()));
  ASSERT_TRUE(BackupFile(ctx_, (dir_ / name33).u16string()));
  EXPECT_EQ(ReadBytes(dir_ / "qnoawork.bak" / ("20261207012513" + name32)), "32");
  EXPECT_EQ(ReadBytes(dir_ / "qnoawork.bak" / "20261207012513c"), "33");
}

TEST_F(FileUtilsTest, BackupFailsQuietly) {
  EXPECT_FALSE(BackupFile(ctx_, (dir_ / "missing.doc").u16string()));
  EXPECT_FALSE(BackupFile(ctx_, u"no-folder.doc"));
  EXPECT_FALSE(BackupFile(ctx_, u""));
  WriteBytes(dir_ / "file", "x");
  EXPECT_FALSE(BackupFile(ctx_, (dir_ / "file" / "a.doc").u16string()));
}

TEST_F(FileUtilsTest, PrepareBackupFolderDeletesFilesOlderThanSevenDays) {
  const fs::path folder = dir_ / "qnoawork.bak";
  PrepareBackupFolder(ctx_, folder.u16string());
  ASSERT_TRUE(fs::is_directory(folder));
  WriteBytes(folder / "old", "");
  WriteBytes(folder / ".hidden-old", "");
  WriteBytes(folder / "recent", "");
  WriteBytes(folder / "almost", "");
  fs::create_directory(folder / "sub");
  Age(folder / "old", std::chrono::hours(8 * 24));
  Age(folder / ".hidden-old", std::chrono::hours(7 * 24 + 1));
  Age(folder / "recent", std::chrono::hours(6 * 24));
  Age(folder / "almost", std::chrono::hours(7 * 24));
  Age(folder / "sub", std::chrono::hours(30 * 24));
  PrepareBackupFolder(ctx_, folder.u16string());
  EXPECT_FALSE(fs::exists(folder / "old"));
  EXPECT_FALSE(fs::exists(folder / ".hidden-old"));
  EXPECT_TRUE(fs::exists(folder / "recent"));
  EXPECT_TRUE(fs::exists(folder / "almost"));  // exactly 7 days is not more than 7 days
  EXPECT_TRUE(fs::exists(folder / "sub"));
  PrepareBackupFolder(ctx_, (dir_ / "no" / "parent").u16string());  // ignored
}

TEST_F(FileUtilsTest, ShellOpenFileReturnsTheShellResult) {
  shell_.openResult = 42;
  EXPECT_EQ(ShellOpenFile(ctx_, u"/x/原稿.doc"), 42);
  EXPECT_EQ(shell_.calls, std::vector<std::u16string>{u"open /x/原稿.doc|" + ctx_.work_dir});
  EXPECT_EQ(Log().find(u"#1"), std::u16string::npos);
}

TEST_F(FileUtilsTest, ShellOpenFileFailureIsLogged) {
  SetLastSystemError(0);
  shell_.openResult = 31;
  EXPECT_EQ(ShellOpenFile(ctx_, u"/x/a.doc"), 0);
  EXPECT_NE(Log().find(u"#1： 启动/x/a.doc失败！31(0:0) Err.Source= Err.Number=0\r\n"),
            std::u16string::npos)
      << U8(Log());
  ctx_.shell = nullptr;
  EXPECT_EQ(ShellOpenFile(ctx_, u"/x/a.doc"), 0);
  EXPECT_NE(Log().find(u"#2： 启动/x/a.doc失败！0Object variable or With block variable not "
                       u"set(91:0) Err.Source=QNMuroWPS Err.Number=91\r\n"),
            std::u16string::npos)
      << U8(Log());
}

TEST_F(FileUtilsTest, FindAssociatedProgramAsksForNameInFolder) {
  shell_.program = u"/usr/bin/wps";
  EXPECT_EQ(FindAssociatedProgram(ctx_, u"C:\\OAWork\\a.doc"), u"/usr/bin/wps");
  EXPECT_EQ(shell_.calls, std::vector<std::u16string>{u"find a.doc|C:\\OAWork\\"});
  shell_.program = u"/bin/p" + std::u16string(1, u'\0') + u"junk";
  EXPECT_EQ(FindAssociatedProgram(ctx_, u"/a.doc"), u"/bin/p");
  shell_.program = std::u16string(300, u'p');
  EXPECT_EQ(FindAssociatedProgram(ctx_, u"/a.doc").size(), 255u);
  shell_.findResult = 32;
  EXPECT_EQ(FindAssociatedProgram(ctx_, u"/a.doc"), u"");
  ctx_.shell = nullptr;
  EXPECT_EQ(FindAssociatedProgram(ctx_, u"/a.doc"), u"");
}

TEST_F(FileUtilsTest, KillProcessEndsTheFirstHiddenMatch) {
  // 15 is the user's own instance, or another user's: never the add-in's to end.
  shell_.processes = {{10, u"explorer.exe", true},
                      {15, u"winword.exe"},
                      {20, u"WINWORD.EXE", true},
                      {30, u"winword.exe", true}};
  KillProcess(ctx_, u"C:\\Program Files\\Office\\winword.exe");
  EXPECT_EQ(shell_.calls, (std::vector<std::u16string>{u"list", u"visible 20", u"end 20"}));
  EXPECT_NE(Log().find(u"#1： 强行关闭进程：WINWORD.EXE20\r\n"), std::u16string::npos) << U8(Log());
}

TEST_F(FileUtilsTest, KillProcessLeavesAVisibleProgramAlone) {
  shell_.processes = {{20, u"wps", true}, {30, u"wps", true}};
  shell_.visibleWindows = {20};
  KillProcess(ctx_, u"/usr/bin/wps");
  EXPECT_EQ(shell_.calls, (std::vector<std::u16string>{u"list", u"visible 20"}));
  EXPECT_EQ(Log().find(u"#1"), std::u16string::npos);
}

TEST_F(FileUtilsTest, KillProcessDoesNothingWithoutMatchOrWhenSomethingFails) {
  shell_.processes = {{20, u"wps", true}};
  KillProcess(ctx_, u"/usr/bin/et");
  KillProcess(ctx_, u"");
  shell_.endOk = false;
  KillProcess(ctx_, u"wps");
  shell_.listOk = false;
  KillProcess(ctx_, u"wps");
  EXPECT_EQ(shell_.calls, (std::vector<std::u16string>{u"list", u"list", u"list", u"visible 20",
                                                       u"end 20", u"list"}));
  ctx_.shell = nullptr;
  KillProcess(ctx_, u"wps");
  EXPECT_EQ(Log().find(u"#1"), std::u16string::npos);
}

TEST_F(FileUtilsTest, KillProcessLogsOnlyWhileTheSwitchIsOn) {
  state_.records.commonInfo.clientLog = false;
  shell_.processes = {{7, u"wps", true}};
  KillProcess(ctx_, u"wps");
  EXPECT_EQ(shell_.calls.back(), u"end 7");
  EXPECT_EQ(Log().find(u"强行关闭进程"), std::u16string::npos);
}

TEST_F(FileUtilsTest, SetCursorShapeGoesThroughTheUi) {
  SetCursorShape(ctx_, 32514);
  EXPECT_EQ(ui_.cursor(), 32514);
  SetCursorShape(ctx_, 32512);
  EXPECT_EQ(ui_.cursor(), 32512);
  ctx_.ui = nullptr;
  SetCursorShape(ctx_, 32514);
}

}  // namespace
}  // namespace qnmuro
