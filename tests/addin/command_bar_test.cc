#include "addin/command_bar.h"

#include <gtest/gtest.h>

#include "addin/wps_addin.h"

namespace qnmuro {
namespace {

using B = BarButton;

TEST(CommandBarTest, ButtonsFromTheButtonList) {
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

TEST(WorkflowUserNameTest, LastNameThenFullNameFromItsFirstSlash) {
  const struct {
    const char16_t *full, *last, *user;
  } cases[] = {
      {u"A/B/C", u"Z", u"Z/B/C"},
      {u"ABC", u"Z", u"Z"},   // no "/" (p = 0)
      {u"/B/C", u"Z", u"Z"},  // "/" first (p = 1)
      {u"A/", u"Z", u"Z/"},
      {u"张三/办公室/青禾", u"张", u"张/办公室/青禾"},
      {u"", u"", u""},
  };
  for (const auto& c : cases) EXPECT_EQ(WorkflowUserName(c.full, c.last), c.user);
}

TEST(UploadQueryTest, ActionCodeInDecimal) {
  EXPECT_EQ(UploadQuery(u"ABC123", 10),
            u"&action=upload&unid=ABC123&method=replacecontent&ctlaction=10");
  EXPECT_EQ(UploadQuery(u"", 24), u"&action=upload&unid=&method=replacecontent&ctlaction=24");
}

}  // namespace
}  // namespace qnmuro
