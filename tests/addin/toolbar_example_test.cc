// examples/toolbar.sh, as a user runs it: every toolbar button clicked in each workflow action
// against the development OA server, through `qnmuro run`.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/cli_runner.h"
#include "support/temp_dir.h"

namespace qnmuro::test_util {
namespace {

namespace fs = std::filesystem;

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size()) ++n;
  return n;
}

TEST(ToolbarExampleTest, EveryButtonDoesItsJobInEveryAction) {
  const TempDir scratch;
  // No program is associated with the original draft here: the test never starts or ends a
  // program of the machine it runs on.
  const fs::path bin = scratch / "bin";
  WriteBytes(bin / "xdg-mime", "#!/bin/sh\nexit 1\n");
  fs::permissions(bin / "xdg-mime", fs::perms::owner_all);
  const char* path = std::getenv("PATH");
  const CliResult r =
      RunProgram((fs::path(QNMURO_SOURCE_DIR) / "examples" / "toolbar.sh").string(), {QNMURO_BIN},
                 {"TMPDIR=" + scratch.path().string(),
                  "PATH=" + bin.string() + ":" + (path != nullptr ? path : "/usr/bin:/bin")},
                 scratch);
  ASSERT_EQ(r.status, 0) << r.err << r.out;
  const std::string& out = r.out;
  // Four actions, each with its dialogs answered and its document handed back.
  EXPECT_EQ(Count(out, "DIALOG [插入文件] => \"article.doc\""), 4) << out;
  EXPECT_EQ(Count(out, "DIALOG [更换wps模板] => \"请示\" \"红头通知\""), 4);
  EXPECT_EQ(Count(out, "DIALOG [印章选择] => \"财务专用章\""), 4);
  EXPECT_EQ(Count(out, "SETTING UserControl 1"), 4);
  // The template without markers is a mismatch everywhere, the red-head one only after
  // finalisation, which removed the markers; elsewhere the body sits in the new template.
  EXPECT_EQ(Count(out, "critical ok: 您所选模板与当前正文类型不匹配"), 5);
  EXPECT_EQ(Count(out,
                  "TEXT notice.doc: 青禾市人民政府文件\\r青办〔2026〕12号\\r"
                  "关于召开年度工作会议的通知\\r青禾市人民政府办公室\\r正文第一段。\\r"
                  "正文第二段。\\r引入的文章：会议须知。\\r附：签报——"),
            3);
  EXPECT_EQ(
      Count(out, "MSGBOX [QNSoft] information ok: 无法找到文件“6F2A.draft.doc”对应的启动程序"), 4);
  // One seal a document, behind the text.
  EXPECT_EQ(Count(out, "SHAPE Seal2"), 4);
  EXPECT_EQ(Count(out, "behind-text=1"), 4);
  // Draft, approve and finalise upload; viewing does not.
  EXPECT_NE(out.find("documents/6F2A/notice.doc.v2\n"), std::string::npos);
  EXPECT_EQ(out.find("documents/6F2A/notice.doc.v3"), std::string::npos);
  // Only finalisation, which left no bookmark to select, has host errors.
  EXPECT_EQ(Count(out, "HOST-ERROR"), 2);
}

}  // namespace
}  // namespace qnmuro::test_util
