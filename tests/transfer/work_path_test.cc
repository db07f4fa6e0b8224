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
    fs::create_directory_symlink(base_ / "work" / "sub", base_ / "work" / "inner");
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
      // ".." over a folder that is not there, then a link: the system would follow the link.
      {u"x/../link/evil.draft.doc", false},
      {u"x/../a.doc", false},
      {work_ + u"/x/../link/evil", false},
      {work_ + u"/link/../a.doc", false},  // the system steps back from the link's target
      {u"inner/a.doc", false},             // no link is followed, even one that stays inside
      {u"sub/new/../a.doc", false},
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

TEST(FileNamePartTest, OneNameWithoutSeparatorsOrDevices) {
  struct Case {
    std::u16string name;
    bool posix;
    bool windows;
  };
  const Case cases[] = {
      {u"6F2A.draft.doc", true, true},
      {u"公章.png", true, true},
      {u"a..b.doc", true, true},
      {u"", false, false},
      {u".", false, false},
      {u"..", false, false},
      {u"x/../link/evil.draft.doc", false, false},
      {u"5EA1./../link/evil.png", false, false},
      {u"a\\b.doc", false, false},
      {std::u16string(u"a\0b.doc", 7), false, false},
      {u"CON", true, false},
      {u"con.doc", true, false},
      {u"Nul.tar.gz", true, false},
      {u"COM1.png", true, false},
      {u"lpt9", true, false},
      {u"aux .doc", true, false},
      {u"COM0.doc", true, true},
      {u"COM10.doc", true, true},
      {u"CONSOLE.doc", true, true},
      {u"a:stream.doc", true, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsFileNamePart(c.name, false), c.posix) << U8(c.name);
    EXPECT_EQ(IsFileNamePart(c.name, true), c.windows) << U8(c.name);
  }
}

}  // namespace
}  // namespace qnmuro
