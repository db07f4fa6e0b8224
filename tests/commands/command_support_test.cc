#include "commands/command_support.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "platform/file_io.h"
#include "support/temp_dir.h"

namespace qnmuro {
namespace {

TEST(CommandSupportTest, LocalCopiesStayInTheWorkDirectoryWithTheAddressExtension) {
  const test_util::TempDir dir;
  Context ctx;
  ctx.work_dir = FromPath(dir.path());
  EXPECT_EQ(WorkFilePath(ctx, u"6F2A.report.doc"),
            ctx.work_dir + kPathSeparator + u"6F2A.report.doc");
  // The control file's unid and the server's file names: one part, whatever they hold.
  for (const char16_t* name :
       {u"../6F2A.report.doc", u"sub/../../x", u"..", u"x/../link/evil.draft.doc",
        u"5EA1./../link/evil.png", u"5EA1.x/../notice.doc", u"5EA1.a\\b.png"}) {
    try {
      WorkFilePath(ctx, name);
      ADD_FAILURE() << U8(name);
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), kErrBadFileName);
    }
  }
  const struct {
    const char16_t* name;
    const char16_t* extension;
  } cases[] = {
      {u"http://127.0.0.1:8080/oa/0/R1/$file/report.doc", u".doc"},
      {u"http://127.0.0.1:8080/oa/0/R1/$file/report", u""},  // the dots are the host's
      {u"notice.wps", u".wps"},
      {u"notice", u""},
  };
  for (const auto& c : cases) EXPECT_EQ(CopyExtension(c.name), c.extension) << U8(c.name);
}

}  // namespace
}  // namespace qnmuro
