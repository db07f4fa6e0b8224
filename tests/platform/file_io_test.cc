#include "platform/file_io.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>

#include "support/temp_dir.h"

namespace qnmuro {
namespace {

namespace fs = std::filesystem;
using test_util::ReadBytes;
using test_util::TempDir;
using test_util::WriteBytes;

// POSIX files in a regular file's place; what every backend does is in
// file_io_conformance_test.cc.
TEST(FileIoTest, ReadsThroughLinksAndNeverBlocksOnAPipeOrADevice) {
  TempDir dir;
  WriteBytes(dir / "a.txt", "twelve bytes");
  fs::create_symlink(dir / "a.txt", dir / "link.txt");
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
  std::string bytes;
  int err = -1;
  EXPECT_EQ(ReadRegularFile(dir / "link.txt", 100, &bytes, &err), FileReadStatus::kOk);
  EXPECT_EQ(bytes, "twelve bytes");
  EXPECT_EQ(ReadRegularFile(dir / "a.txt" / "x", 100, &bytes, &err), FileReadStatus::kMissing);
  // Neither blocks: a pipe without a writer, a device that never ends.
  EXPECT_EQ(ReadRegularFile(dir / "pipe", 100, &bytes, &err), FileReadStatus::kNotRegular);
  EXPECT_EQ(ReadRegularFile("/dev/zero", 100, &bytes, &err), FileReadStatus::kNotRegular);
  EXPECT_TRUE(bytes.empty());
}

TEST(FileIoTest, ReplacesTheFileItselfKeepingItsPermissionsAndLeavingNothingBehind) {
  TempDir dir;
  WriteBytes(dir / "doc", "old");
  ASSERT_EQ(::chmod((dir / "doc").c_str(), 0640), 0);
  ASSERT_EQ(ReplaceFileContents(dir / "doc", "new"), 0);
  EXPECT_EQ(ReadBytes(dir / "doc"), "new");
  EXPECT_EQ(fs::status(dir / "doc").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  // A link in the file's place is replaced, not written through.
  WriteBytes(dir / "victim", "precious");
  fs::create_symlink(dir / "victim", dir / "linked");
  ASSERT_EQ(ReplaceFileContents(dir / "linked", "content"), 0);
  EXPECT_FALSE(fs::is_symlink(dir / "linked"));
  EXPECT_EQ(ReadBytes(dir / "linked"), "content");
  EXPECT_EQ(ReadBytes(dir / "victim"), "precious");
  // A failure leaves the target as it was and no temporary file.
  EXPECT_NE(ReplaceFileContents(dir / "no" / "such" / "folder", "x"), 0);
  int entries = 0;
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    (void)entry;
    ++entries;
  }
  EXPECT_EQ(entries, 3);  // doc, victim, linked
}

// A descriptor the system cannot flush (a pipe) fails the flush behind the writer: the end of
// the writing says so, and SyncFile too, so such a file is never taken as on the disk.
TEST(FileIoTest, AFlushBehindThatFailsIsReportedAtTheEnd) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  std::FILE* file = ::fdopen(fds[1], "wb");
  ASSERT_NE(file, nullptr);
  {
    WriteBehind behind(file);
    ASSERT_GE(std::fputs("x", file), 0);
    EXPECT_EQ(behind.Request(), 0);  // the flush runs on its own, its failure comes later
    EXPECT_EQ(behind.Finish(), EINVAL);
    EXPECT_EQ(behind.Request(), EINVAL);
  }
  EXPECT_EQ(SyncFile(file), EINVAL);
  std::fclose(file);
  ::close(fds[0]);
}

TEST(FileIoTest, TellsWhetherAFileWasOpenedThroughALink) {
  TempDir dir;
  fs::create_directories(dir / "work" / "sub");
  fs::create_directories(dir / "outside");
  fs::create_directory_symlink(dir / "outside", dir / "work" / "link");
  const fs::path work = dir / "work";
  struct Case {
    const char* below;
    bool at;
  };
  for (const Case& c : {Case{"a.doc", true}, Case{"sub/a.doc", true}, Case{"link/a.doc", false}}) {
    std::FILE* file = std::fopen((work / c.below).c_str(), "wb");
    ASSERT_NE(file, nullptr) << c.below;
    EXPECT_EQ(IsOpenedAt(file, work, c.below), c.at) << c.below;
    std::fclose(file);
  }
  EXPECT_FALSE(IsOpenedAt(nullptr, work, "a.doc"));
}

}  // namespace
}  // namespace qnmuro
