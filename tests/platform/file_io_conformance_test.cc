// What the file I/O backend of every platform does with whole files: a bounded read of a
// regular file only, a replacement that leaves nothing behind, appends that create the file,
// names of any characters, leftovers removed only when nothing holds them, and a long file
// flushed behind its writer.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/file_io.h"
#include "support/temp_dir.h"

namespace qnmuro {
namespace {

namespace fs = std::filesystem;
using test_util::ReadBytes;
using test_util::TempDir;
using test_util::WriteBytes;

// The backend is the build's; the parameter names it in the test's name.
class FileIoConformanceTest : public testing::TestWithParam<const char*> {
 protected:
  size_t Entries() const {
    size_t n = 0;
    for (const auto& entry : fs::directory_iterator(dir_.path())) n += entry.exists() ? 1 : 0;
    return n;
  }
  TempDir dir_;
};

TEST_P(FileIoConformanceTest, ReadsOnlyRegularFilesWithinTheirBound) {
  WriteBytes(dir_ / u"公文.txt", "twelve bytes");
  fs::create_directory(dir_ / "folder");
  std::string bytes;
  int err = -1;
  EXPECT_EQ(ReadRegularFile(dir_ / u"公文.txt", 12, &bytes, &err), FileReadStatus::kOk);
  EXPECT_EQ(bytes, "twelve bytes");
  EXPECT_EQ(err, 0);
  EXPECT_EQ(ReadRegularFile(dir_ / u"公文.txt", 11, &bytes, &err), FileReadStatus::kTooLarge);
  EXPECT_EQ(ReadRegularFile(dir_ / "missing", 100, &bytes, &err), FileReadStatus::kMissing);
  EXPECT_EQ(ReadRegularFile(dir_ / "missing" / "x", 100, &bytes, &err), FileReadStatus::kMissing);
  EXPECT_EQ(ReadRegularFile(dir_ / "folder", 100, &bytes, &err), FileReadStatus::kNotRegular);
  EXPECT_TRUE(bytes.empty());
}

TEST_P(FileIoConformanceTest, ReplacesAndAppendsLeavingNothingBehind) {
  const fs::path doc = dir_ / u"公文.doc";
  ASSERT_EQ(ReplaceFileContents(doc, "first"), 0);
  ASSERT_EQ(ReplaceFileContents(doc, "new"), 0);
  EXPECT_EQ(ReadBytes(doc), "new");
  EXPECT_NE(ReplaceFileContents(dir_ / "no" / "such" / "folder", "x"), 0);
  const fs::path log = dir_ / u"日志.txt";
  EXPECT_EQ(AppendToRegularFile(log, "a\n"), AppendStatus::kWritten);
  EXPECT_EQ(AppendToRegularFile(log, "b\n"), AppendStatus::kWritten);
  EXPECT_EQ(ReadBytes(log), "a\nb\n");
  EXPECT_EQ(AppendToRegularFile(dir_.path(), "x"), AppendStatus::kRefused);
  EXPECT_EQ(SyncFolder(dir_.path()), 0);
  EXPECT_EQ(Entries(), 2u);  // the document and the log, no temporary file
}

// The writer goes on while its earlier stretches are flushed; the bytes are the writer's, in
// order, whether Finish or the destructor ends the flushing.
TEST_P(FileIoConformanceTest, FlushesBehindTheWriterWithoutChangingTheBytes) {
  for (const bool finish : {true, false}) {
    const fs::path path = dir_ / (finish ? "finished.bin" : "dropped.bin");
    std::FILE* file = OpenPath(path, "wb");
    ASSERT_NE(file, nullptr);
    std::string expected;
    {
      WriteBehind behind(file);
      for (int stretch = 0; stretch < 20; ++stretch) {
        const std::string bytes(64 * 1024 + stretch, static_cast<char>('a' + stretch));
        ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
        expected += bytes;
        ASSERT_EQ(behind.Request(), 0) << stretch;
      }
      if (finish) {
        EXPECT_EQ(behind.Finish(), 0);
        EXPECT_EQ(behind.Finish(), 0);  // a second end is harmless
      }
    }
    EXPECT_EQ(SyncFile(file), 0);
    ASSERT_EQ(std::fclose(file), 0);
    EXPECT_EQ(ReadBytes(path), expected) << path;
  }
}

TEST_P(FileIoConformanceTest, OpensNamesOfAnyCharactersAndTellsWhereTheyAre) {
  fs::create_directories(dir_ / u"子目录");
  std::FILE* file = OpenPath(dir_ / u"子目录" / u"朱镕基.doc", "wb");
  ASSERT_NE(file, nullptr);
  EXPECT_GE(std::fputs("x", file), 0);
  EXPECT_TRUE(IsOpenedAt(file, dir_.path(), fs::path(u"子目录") / u"朱镕基.doc"));
  EXPECT_FALSE(IsOpenedAt(file, dir_.path(), u"朱镕基.doc"));
  std::fclose(file);
  EXPECT_EQ(ReadBytes(dir_ / u"子目录" / u"朱镕基.doc"), "x");
  EXPECT_EQ(OpenPath(dir_ / "missing" / "a.doc", "rb"), nullptr);
  EXPECT_FALSE(IsOpenedAt(nullptr, dir_.path(), "a.doc"));
}

TEST_P(FileIoConformanceTest, RemovesALeftoverOnlyWhenNothingHoldsIt) {
  WriteBytes(dir_ / "left.part", "x");
  EXPECT_TRUE(RemoveLeftover(dir_ / "left.part"));
  EXPECT_FALSE(fs::exists(dir_ / "left.part"));
  std::FILE* held = OpenPath(dir_ / "held.part", "wb");
  ASSERT_NE(held, nullptr);
  MarkInUse(held);
  EXPECT_FALSE(RemoveLeftover(dir_ / "held.part"));
  EXPECT_TRUE(fs::exists(dir_ / "held.part"));
  std::fclose(held);
  fs::create_directory(dir_ / "folder.part");
  EXPECT_FALSE(RemoveLeftover(dir_ / "folder.part"));
  EXPECT_FALSE(RemoveLeftover(dir_ / "missing.part"));
}

#ifdef _WIN32
INSTANTIATE_TEST_SUITE_P(Backends, FileIoConformanceTest, testing::Values("Windows"),
                         [](const auto& info) { return std::string(info.param); });
#else
INSTANTIATE_TEST_SUITE_P(Backends, FileIoConformanceTest, testing::Values("Posix"),
                         [](const auto& info) { return std::string(info.param); });
#endif

}  // namespace
}  // namespace qnmuro
