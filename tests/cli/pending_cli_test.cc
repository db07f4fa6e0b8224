// qnmuro pending: what waits for the server, shown to a person and to a program, retried, and
// dropped only when the person says so.
#include <gtest/gtest.h>

#include "support/cli_runner.h"
#include "support/refusing_port.h"
#include "support/transfer_fixture.h"
#include "transfer/pending_uploads.h"
#include "transfer/version_tags.h"

namespace qnmuro {
namespace {

using test_util::RunQnmuro;

class PendingCliTest : public test::TransferTest {
 protected:
  test_util::CliResult Run(const std::vector<std::string>& args) {
    return RunQnmuro(args,
                     {"QNMURO_WORKDIR=" + work_.string(),
                      "QNMURO_REGISTRY=" + (root_ / "registry.reg").string()},
                     scratch_);
  }
  test_util::TempDir scratch_;
  test_util::RefusingPort nowhere_;
};

TEST_F(PendingCliTest, ListsRetriesAndDropsOnlyWhenTold) {
  test_util::CliResult r = Run({"pending", "list"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "no pending uploads\n");
  EXPECT_EQ(Run({"pending", "list", "--json"}).out, "[]\n");

  test_util::WriteBytes(work_ / "公文.doc", "saved bytes");
  const UploadJob job{U16(nowhere_.url("/oa/save?OpenAgent&action=upload&unid=U7")), u"U7",
                      u"clerk", u""};
  const std::optional<PendingEntry> kept =
      PendingUploads(ctx_).Keep(FromPath(work_ / "公文.doc"), job);
  ASSERT_TRUE(kept);
  const std::string id = U8(kept->id);

  r = Run({"pending", "retry"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out.rfind("0 uploaded, 1 failed", 0), 0u) << r.out;
  r = Run({"pending", "list"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find(id + "  公文.doc  unid U7  11 bytes"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("pending\n    last error: 通过wininet上传文件时发生错误："),
            std::string::npos)
      << r.out;
  r = Run({"pending", "list", "--json"});
  EXPECT_NE(
      r.out.find("{\"id\":\"" + id + "\",\"document\":\"公文.doc\",\"unid\":\"U7\",\"size\":11"),
      std::string::npos)
      << r.out;

  // Asked, with nobody to say yes: nothing goes.
  r = Run({"pending", "drop", id});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("[y/N]"), std::string::npos);
  EXPECT_EQ(PendingUploads(ctx_).List().size(), 1u);
  EXPECT_EQ(Run({"pending", "drop", "nonesuch", "--yes"}).status, 1);
  r = Run({"pending", "drop", id, "--yes"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(PendingUploads(ctx_).List().empty());
}

// Folders nobody kept as entries (a crash, a hand): shown as unusable in both forms, their
// names never reaching the terminal raw, and dropped for real or not said to be.
TEST_F(PendingCliTest, OddFoldersAreShownSafelyAndDroppedForReal) {
  for (const char* name : {"bad\x1b[2Jname", "\xff\xfe"}) {
    std::filesystem::create_directories(work_ / "pending" / name);
  }
  test_util::CliResult r = Run({"pending", "list"});
  EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("bad\\x1b[2Jname"), std::string::npos) << r.out;
  r = Run({"pending", "list", "--json"});
  EXPECT_EQ(r.out.find("\"state\":\"pending\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"state\":\"unusable\""), std::string::npos) << r.out;
  for (const PendingEntry& e : PendingUploads(ctx_).List()) {
    r = Run({"pending", "drop", U8(e.id), "--yes"});
    EXPECT_EQ(r.status, 0) << r.err;
  }
  EXPECT_FALSE(std::filesystem::exists(work_ / "pending"));

  // A tag held for a document: forgotten on request, once.
  RecordVersionTag(ctx_, {u"U7", u"公文.doc"}, u"\"v1\"");
  r = Run({"pending", "forget-tag", "U7", "公文.doc"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("forgot \"v1\""), std::string::npos) << r.out;
  EXPECT_TRUE(HeldVersionTag(ctx_, {u"U7", u"公文.doc"}).empty());
  EXPECT_NE(Run({"pending", "forget-tag", "U7", "公文.doc"}).out.find("no version tag"),
            std::string::npos);
}

}  // namespace
}  // namespace qnmuro
