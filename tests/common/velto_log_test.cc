#include "common/velto_log.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "base/error.h"
#include "common/shared_state.h"
#include "platform/clock.h"
#include "support/temp_dir.h"

namespace qnmuro {
namespace {

namespace fs = std::filesystem;
using test_util::ReadBytes;
using test_util::TempDir;
using test_util::WriteBytes;

// The GBK bytes of the fixed texts.
const std::string kStartWords = "\xC8\xD5\xD6\xBE\xBF\xAA\xCA\xBC\xD3\xDA";  // 日志开始于
const std::string kEndWords = "\xC8\xD5\xD6\xBE\xBD\xE1\xCA\xF8\xD3\xDA";    // 日志结束于
const std::string kColon = "\xA3\xBA ";                                      // "： "

std::string StartBanner(const std::string& time) {
  return "**********QNSoft" + kStartWords + time + "**********\r\n";
}
std::string EndBanner(const std::string& time) {
  return "**********QNSoft" + kEndWords + time + "**********\r\n";
}

class VeltoLogTest : public ::testing::Test {
 protected:
  VeltoLogTest() : clock_(NewVirtualClock(FromLocalTime(LocalTime{2026, 12, 7, 1, 25, 13}))) {}

  std::unique_ptr<VeltoLog> Open() {
    return std::make_unique<VeltoLog>(dir_.path().u16string(), clock_.get(), &switch_);
  }
  std::string Log() const { return ReadBytes(dir_ / "comlog.txt"); }

  TempDir dir_;
  std::unique_ptr<VirtualClock> clock_;
  bool switch_ = true;
};

TEST_F(VeltoLogTest, BannersAreExactGbkBytesWithCrLf) {
  Open().reset();
  EXPECT_EQ(Log(), StartBanner("2026-12-07 01:25:13") + EndBanner("2026-12-07 01:25:13"));
}

TEST_F(VeltoLogTest, LivesInTheWorkDirectory) {
  EXPECT_EQ(Open()->path(), dir_.path().u16string() + u"/comlog.txt");
}

TEST_F(VeltoLogTest, EndBannerCarriesTheTimeOfClosing) {
  auto log = Open();
  clock_->Advance(std::chrono::hours(23) + std::chrono::seconds(3));
  log.reset();
  EXPECT_EQ(Log(), StartBanner("2026-12-07 01:25:13") + EndBanner("2026-12-08 00:25:16"));
}

TEST_F(VeltoLogTest, EventAndErrorLinesAreNumbered) {
  auto log = Open();
  log->WriteLog(u"WPS插件启动！");
  const Error error(53, u"File not found", u"QNMuroWPS");
  log->WriteErrorLog(u"DocumentOpen错误：File not found(53:2)", &error);
  log->WriteLog(u"third");
  const Error negative(-2147467259, u"Unspecified error", u"WPS");
  log->WriteErrorLog(u"x", &negative);
  log.reset();
  const std::string expected = StartBanner("2026-12-07 01:25:13") + "#1" + kColon +
                               "WPS\xB2\xE5\xBC\xFE\xC6\xF4\xB6\xAF\xA3\xA1\r\n" + "#2" + kColon +
                               "DocumentOpen\xB4\xED\xCE\xF3\xA3\xBA" +
                               "File not found(53:2) Err.Source=QNMuroWPS Err.Number=53\r\n" +
                               "#3" + kColon + "third\r\n" + "#4" + kColon +
                               "x Err.Source=WPS Err.Number=-2147467259\r\n" +
                               EndBanner("2026-12-07 01:25:13");
  EXPECT_EQ(Log(), expected);
}

TEST_F(VeltoLogTest, ErrorLineWithoutPendingErrorHasEmptySourceAndZero) {
  auto log = Open();
  log->WriteErrorLog(u"nothing pending");
  EXPECT_NE(Log().find("#1" + kColon + "nothing pending Err.Source= Err.Number=0\r\n"),
            std::string::npos);
}

TEST_F(VeltoLogTest, SwitchOffSilencesWriteLogButNotWriteErrorLog) {
  auto log = Open();
  switch_ = false;
  log->WriteLog(u"not written");
  log->WriteErrorLog(u"written");
  switch_ = true;
  log->WriteLog(u"on again");
  log.reset();
  const std::string text = Log();
  EXPECT_EQ(text.find("not written"), std::string::npos);
  EXPECT_NE(text.find("#1" + kColon + "written Err.Source= Err.Number=0\r\n"), std::string::npos);
  EXPECT_NE(text.find("#2" + kColon + "on again\r\n"), std::string::npos);
}

TEST_F(VeltoLogTest, LogExactlyAtTheLimitIsRotated) {
  const std::string old(VeltoLog::kRotateSize, 'x');
  WriteBytes(dir_ / "comlog.txt", old);
  WriteBytes(dir_ / "bakcomlog.txt", "previous backup");
  Open().reset();
  EXPECT_EQ(ReadBytes(dir_ / "bakcomlog.txt"), old);
  EXPECT_EQ(Log(), StartBanner("2026-12-07 01:25:13") + EndBanner("2026-12-07 01:25:13"));
}

TEST_F(VeltoLogTest, LogOneByteBelowTheLimitIsKept) {
  const std::string old(VeltoLog::kRotateSize - 1, 'x');
  WriteBytes(dir_ / "comlog.txt", old);
  Open().reset();
  EXPECT_FALSE(fs::exists(dir_ / "bakcomlog.txt"));
  EXPECT_EQ(Log(), old + StartBanner("2026-12-07 01:25:13") + EndBanner("2026-12-07 01:25:13"));
}

TEST_F(VeltoLogTest, NewLogLeavesAnExistingBackupAlone) {
  WriteBytes(dir_ / "bakcomlog.txt", "older generation");
  Open().reset();
  EXPECT_EQ(ReadBytes(dir_ / "bakcomlog.txt"), "older generation");
  EXPECT_EQ(Log().rfind(StartBanner("2026-12-07 01:25:13"), 0), 0u);
}

TEST_F(VeltoLogTest, TwoConnectionsNumberFromOneAgain) {
  for (int i = 0; i < 2; ++i) {
    auto log = Open();
    log->WriteLog(u"a");
    log->WriteLog(u"b");
  }
  const std::string period = StartBanner("2026-12-07 01:25:13") + "#1" + kColon + "a\r\n" + "#2" +
                             kColon + "b\r\n" + EndBanner("2026-12-07 01:25:13");
  EXPECT_EQ(Log(), period + period);
}

TEST_F(VeltoLogTest, CloseLogWritesOneEndBannerAndStopsWriting) {
  auto log = Open();
  log->CloseLog();
  log->WriteLog(u"after close");
  log->WriteErrorLog(u"after close");
  log->CloseLog();
  log.reset();
  EXPECT_EQ(Log(), StartBanner("2026-12-07 01:25:13") + EndBanner("2026-12-07 01:25:13"));
}

TEST_F(VeltoLogTest, UnwritableWorkDirectoryIsSilent) {
  WriteBytes(dir_ / "plain-file", "not a directory");
  const std::u16string work = (dir_ / "plain-file").u16string();
  VeltoLog log(work, clock_.get(), &switch_);
  log.WriteLog(u"lost");
  log.WriteErrorLog(u"lost");
  log.CloseLog();
  VeltoLog missing((dir_ / "no" / "such" / "dir").u16string(), clock_.get(), &switch_);
  missing.WriteLog(u"lost");
  EXPECT_EQ(ReadBytes(dir_ / "plain-file"), "not a directory");
  EXPECT_FALSE(fs::exists(dir_ / "no"));
}

TEST_F(VeltoLogTest, UnmappableAndBrokenTextBecomesQuestionMarks) {
  auto log = Open();
  log->WriteLog(u"a\u0E01b");                // Thai: not in GBK
  log->WriteLog(std::u16string(1, 0xD800));  // an unpaired surrogate
  EXPECT_NE(Log().find("#1" + kColon + "a?b\r\n#2" + kColon + "?\r\n"), std::string::npos);
}

TEST_F(VeltoLogTest, ControlCharactersInAValueAreEscapedSoEachCallIsOneLine) {
  auto log = Open();
  log->WriteLog(u"a\r\n#9： forged\u0001\tb\\x");
  const Error error(5, u"x", u"src\nline");
  log->WriteErrorLog(std::u16string(u"n\0ul", 4), &error);
  log.reset();
  const std::string expected = StartBanner("2026-12-07 01:25:13") + "#1" + kColon +
                               "a\\x0D\\x0A#9" + kColon + "forged\\x01\\x09b\\x\r\n" + "#2" +
                               kColon + "n\\x00ul Err.Source=src\\x0Aline Err.Number=5\r\n" +
                               EndBanner("2026-12-07 01:25:13");
  EXPECT_EQ(Log(), expected);
}

TEST_F(VeltoLogTest, LinesFollowTheLogWhenAnotherProcessRotatesIt) {
  auto first = Open();
  first->WriteLog(u"before");
  // Another add-in finds the log full and rotates it while this one runs.
  WriteBytes(dir_ / "comlog.txt", Log() + std::string(VeltoLog::kRotateSize, 'x'));
  auto second = Open();
  first->WriteLog(u"after");
  second.reset();
  first.reset();
  const std::string backup = ReadBytes(dir_ / "bakcomlog.txt");
  EXPECT_NE(backup.find("#1" + kColon + "before\r\n"), std::string::npos);
  EXPECT_EQ(backup.find("after"), std::string::npos);
  EXPECT_EQ(Log(), StartBanner("2026-12-07 01:25:13") + "#2" + kColon + "after\r\n" +
                       EndBanner("2026-12-07 01:25:13") + EndBanner("2026-12-07 01:25:13"));
}

#ifndef _WIN32
TEST_F(VeltoLogTest, NothingButARegularFileOfItsOwnIsWritten) {
  const fs::path log = dir_ / "comlog.txt";
  const fs::path target = dir_ / "elsewhere" / "profile";
  const struct {
    const char* label;
    std::function<void()> plant;
    bool target_exists;
  } cases[] = {
      {"link to a file", [&] { fs::create_symlink(target, log); }, true},
      {"dangling link", [&] { fs::create_symlink(target, log); }, false},
      {"hard link", [&] { fs::create_hard_link(target, log); }, true},
      {"fifo", [&] { ASSERT_EQ(mkfifo(log.c_str(), 0600), 0); }, false},
      {"folder", [&] { fs::create_directory(log); }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    fs::remove_all(dir_ / "elsewhere");
    fs::remove_all(log);
    fs::create_directory(dir_ / "elsewhere");
    if (c.target_exists) WriteBytes(target, "echo safe\n");
    c.plant();
    {
      auto opened = Open();
      opened->WriteLog(u"x");
      opened->WriteErrorLog(u"y");
    }
    EXPECT_EQ(fs::exists(target), c.target_exists);
    if (c.target_exists) {
      EXPECT_EQ(ReadBytes(target), "echo safe\n");
    }
  }
  // Once the name is free again, the log is written.
  fs::remove_all(log);
  Open()->WriteLog(u"back");
  EXPECT_NE(Log().find("#1" + kColon + "back\r\n"), std::string::npos);
}
#endif

TEST_F(VeltoLogTest, ShorthandsDoNothingWithoutALog) {
  WriteLog(nullptr, u"x");
  WriteErrorLog(nullptr, u"x");
  SharedState state;
  WriteLog(&state, u"x");
  WriteErrorLog(&state, u"x");
  state.eventLog = std::make_unique<VeltoLog>(dir_.path().u16string(), clock_.get(),
                                              &state.records.commonInfo.clientLog);
  state.records.commonInfo.clientLog = false;
  WriteLog(&state, u"off");
  WriteErrorLog(&state, u"always");
  EXPECT_EQ(Log().find("off"), std::string::npos);
  EXPECT_NE(Log().find("#1" + kColon + "always"), std::string::npos);
}

}  // namespace
}  // namespace qnmuro
