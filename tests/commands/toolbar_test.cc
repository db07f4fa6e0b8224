#include "commands/toolbar.h"

#include <gtest/gtest.h>

namespace qnmuro {
namespace {

using B = BarButton;

TEST(ToolbarTest, ButtonsFromTheButtonList) {
  const struct {
    const char16_t* list;
    const char16_t* draft_url;
    std::vector<B> buttons;
  } cases[] = {
      {u"", u"u", {B::kBackToSystem}},
      {u"加盖印章", u"", {B::kBackToSystem, B::kSetSeal}},
      // No separator needed, and the order in the list does not matter.
      {u"加盖印章查看痕迹", u"", {B::kBackToSystem, B::kRevision, B::kSetSeal}},
      {u"返回OA系统,查看痕迹,隐藏红头,引入文章,引入签报,更换模板,查看原文,加盖印章",
       u"http://x/d",
       {B::kBackToSystem, B::kRevision, B::kRedHead, B::kInsertFile, B::kInsertReport,
        B::kChangeTemplate, B::kManuscript, B::kSetSeal}},
      // The draft viewer needs a draft address.
      {u"查看原文,加盖印章", u"", {B::kBackToSystem, B::kSetSeal}},
      // Case-sensitive, exact substrings only.
      {u"查看 痕迹,隐藏红", u"", {B::kBackToSystem}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ButtonsToShow(c.list, c.draft_url), c.buttons);
  }
}

}  // namespace
}  // namespace qnmuro
