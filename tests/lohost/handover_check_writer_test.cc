// handover check on a real Word 97 document, as an OA system hands one over: Writer reads its
// bookmarks, where the simulated word processor cannot.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "lohost/writer_host.h"
#include "support/cli_runner.h"
#include "support/temp_dir.h"

namespace qnmuro::test_util {
namespace {

namespace fs = std::filesystem;

TEST(HandoverCheckWriterTest, WriterReadsTheBookmarksOfAWord97Document) {
  if (!lohost::WriterInstalled()) GTEST_SKIP() << "LibreOffice Writer is not installed";
  const TempDir dir, scratch;
  const fs::path examples = fs::path(QNMURO_SOURCE_DIR) / "examples";
  const std::vector<std::string> env = {"QNMURO_WORKDIR=" + (dir / "work").string(),
                                        "QNMURO_REGISTRY=" + (dir / "registry.reg").string()};
  ASSERT_EQ(RunQnmuro({"handover", (examples / "templates" / "notice.doc").string(), "--config",
                       (examples / "control.xml").string(), "--datasource",
                       (examples / "notice.ds.xml").string()},
                      env, scratch)
                .status,
            0);
  const CliResult chosen = RunQnmuro({"handover", "check"}, env, scratch);
  EXPECT_EQ(chosen.status, 0) << chosen.err;
  EXPECT_NE(chosen.out.find("bookmarks read by: libreoffice\nbookmarks filled: "),
            std::string::npos)
      << chosen.out;
  EXPECT_NE(chosen.out.find("标题"), std::string::npos) << chosen.out;
  EXPECT_EQ(chosen.err, "");
  // The simulated word processor says it cannot, and the check says so without failing.
  const CliResult sim = RunQnmuro({"handover", "check", "--host", "sim"}, env, scratch);
  EXPECT_EQ(sim.status, 0);
  EXPECT_NE(sim.err.find("warning: cannot read the bookmarks of " +
                         (dir / "work" / "notice.doc").string() + ": sim: "),
            std::string::npos)
      << sim.err;
}

}  // namespace
}  // namespace qnmuro::test_util
