#include "transfer/work_path.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/text.h"
#include "support/temp_dir.h"

namespace qnmuro {
namespace {

namespace fs = std::filesystem;

class WorkPathTest : public ::testing::Test {
 protected:
  WorkPathTest() {
    fs::create_directories(base_ / "work" / "sub");
    fs::create_directories(base_ / "outside");
    fs::create_directory_symlink(base_ / "outside", base_ / "work" / "link");
    work_ = FromPath(base_ / "work");
  }

  test_util::TempDir base_;
  std::u16string work_;
};

TEST_F(WorkPathTest, AcceptsNamesInsideAndRefusesNamesThatLeave) {
  struct Case {
    std::u16string path;
    bool inside;
  };
  const std::u16string outside = FromPath(base_ / "outside" / "x.doc");
  const Case cases[] = {
      {u"a.doc", true},
      {u"sub/a.doc", true},
      {u"sub\\a.doc", true},
      {u"new/deeper/a.doc", true},
      {work_ + u"/a.doc", true},
      {u"sub/../a.doc", true},
      {u"../a.doc", false},
      {u"..\\a.doc", false},
      {u"sub/../../a.doc", false},
      {u"/etc/passwd", false},
      {outside, false},
      {u"link/x.doc", false},  // a symbolic link that points out
      {u".", false},           // the work directory itself is no file
      {u"", false},
      {work_ + u"/../work2/a.doc", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsInsideWorkDir(work_, c.path), c.inside) << U8(c.path);
  }
}

TEST_F(WorkPathTest, ResolvesRelativeNamesAgainstTheWorkDirectory) {
  const auto resolved = ResolveInWorkDir(work_ + u"/", u"sub/./a.doc");
  ASSERT_TRUE(resolved.has_value());
  EXPECT_EQ(ToPath(*resolved), fs::weakly_canonical(base_ / "work" / "sub" / "a.doc"));
}

}  // namespace
}  // namespace qnmuro
