// What each action does with the document, and which addresses an upload can use: the rules the
// add-in and the checks share.
#include "config/control_rules.h"

#include <gtest/gtest.h>

#include "config/vocabulary.h"

namespace qnmuro {
namespace {

TEST(ControlRulesTest, EachActionPreparesUploadsAndMergesAsItShould) {
  const struct {
    const char16_t* keyword;
    Preparation preparation;
    bool uploads;
  } cases[] = {
      {u"DraftDocument", Preparation::kDraft, true},
      {u"ViewDocument", Preparation::kView, false},
      {u"ApproveDocument", Preparation::kApprove, true},
      {u"FinalizeDocument", Preparation::kFinalize, true},
      {u"Config", Preparation::kNone, true},
      {u"ShowRevision", Preparation::kNone, false},
      {u"AttachmentManage", Preparation::kNone, false},
      {u"Drafting", Preparation::kNone, false},  // no keyword: the fallback code
  };
  for (const auto& c : cases) {
    const int16_t action = ActionCode(c.keyword);
    EXPECT_EQ(ActionPreparation(action), c.preparation) << action;
    EXPECT_EQ(ActionUploads(action), c.uploads) << action;
    EXPECT_EQ(ActionMerges(action), c.preparation != Preparation::kNone) << action;
  }
}

TEST(UploadQueryTest, ActionCodeInDecimal) {
  EXPECT_EQ(UploadQuery(u"ABC123", 10),
            u"&action=upload&unid=ABC123&method=replacecontent&ctlaction=10");
  EXPECT_EQ(UploadQuery(u"", 24), u"&action=upload&unid=&method=replacecontent&ctlaction=24");
}

TEST(ControlRulesTest, OnlyAnAbsoluteHttpAddressWithAHostTakesAnUpload) {
  const struct {
    const char16_t* url;
    bool usable;
  } cases[] = {
      {u"http://oa.example/oa/doc.nsf/upload?OpenAgent", true},
      {u"HTTPS://oa.example:8443/upload", true},
      {u"oa/doc.nsf/upload?OpenAgent", false},
      {u"/oa/doc.nsf/upload", false},
      {u"ftp://oa.example/upload", false},
      {u"http:///upload", false},
      {u"http://oa.example:99999/upload", false},
      {u"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(UsableUploadAddress(c.url), c.usable);
}

}  // namespace
}  // namespace qnmuro
