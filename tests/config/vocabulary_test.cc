#include "config/vocabulary.h"

#include <gtest/gtest.h>

#include <string>

#include "base/text.h"
#include "config/config.h"

namespace qnmuro {
namespace {

struct Case {
  std::u16string keyword;
  int16_t code;
};

TEST(VocabularyTest, ActionKeywordsInAnyLetterCase) {
  const Case cases[] = {
      {u"draftdocument", 10},    {u"DraftDocument", 10},       {u"DRAFTDOCUMENT", 10},
      {u"viewDocument", 11},     {u"approvedocument", 12},     {u"FinalizeDocument", 13},
      {u"showrevision", 14},     {u"hiderevision", 15},        {u"showoutline", 16},
      {u"trackrevision", 17},    {u"untrachrevision", 18},     {u"UnTrachRevision", 18},
      {u"untrackrevision", 102}, {u"lockdocument", 19},        {u"unlockdocument", 20},
      {u"importfile", 21},       {u"editoffline", 22},         {u"closedocument", 23},
      {u"config", 24},           {u"attachmentview", 30},      {u"attachmentmanage", 31},
      {u" draftdocument", 102},  {u"draftdocument ", 102},     {u"", 102},
      {u"draft", 102},           {u"ｄｒａｆｔdocument", 102},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ActionCode(c.keyword), c.code) << U8(c.keyword);
    EXPECT_EQ(Config::ActionCode(c.keyword), c.code) << U8(c.keyword);
  }
}

TEST(VocabularyTest, BinaryTypes) {
  const Case cases[] = {
      {u"content", 70},      {u"Attachment", 71},      {u"HEAD", 72},         {u"tail", 73},
      {u"seal", 74},         {u"parameterSchema", 75}, {u"base64schema", 76}, {u"itemschema", 77},
      {u"resultschema", 78}, {u"outline", 79},         {u"body", 101},        {u"", 101},
      {u"content\n", 101},
  };
  for (const Case& c : cases) EXPECT_EQ(Config::BinaryTypeCode(c.keyword), c.code) << U8(c.keyword);
}

TEST(VocabularyTest, ValueTypesAndTransferMethods) {
  const Case values[] = {
      {u"streamBinary", 60}, {u"base64binary", 61}, {u"XMLText", 62}, {u"text", -1}, {u"", -1}};
  for (const Case& c : values) EXPECT_EQ(Config::ValueTypeCode(c.keyword), c.code) << U8(c.keyword);
  const Case methods[] = {{u"httpBase64Binary", 50},
                          {u"HttpStreamBinary", 51},
                          {u"ftpstreambinary", 52},
                          {u"http", -1},
                          {u"", -1}};
  for (const Case& c : methods) {
    EXPECT_EQ(Config::TransferMethodCode(c.keyword), c.code) << U8(c.keyword);
  }
}

// Every code of a vocabulary has a name that reads back as that code; fallbacks have none.
TEST(VocabularyTest, NamesReadBackAsTheirCodes) {
  struct Vocabulary {
    std::u16string_view (*name)(int16_t);
    int16_t (*code)(std::u16string_view);
    int16_t first, last, fallback;
  };
  const Vocabulary vocabularies[] = {
      {ActionName, ActionCode, 10, 31, kActionUnknown},
      {BinaryTypeName, BinaryTypeCode, 70, 79, kBinaryUnknown},
      {ValueTypeName, ValueTypeCode, 60, 62, kValueUnknown},
      {TransferMethodName, TransferMethodCode, 50, 52, kTransferUnknown},
  };
  int named = 0;
  for (const Vocabulary& v : vocabularies) {
    for (int16_t code = v.first; code <= v.last; ++code) {
      const std::u16string_view name = v.name(code);
      if (name.empty()) continue;  // 25 to 29 are no action
      EXPECT_EQ(v.code(name), code) << U8(name);
      ++named;
    }
    EXPECT_TRUE(v.name(v.fallback).empty());
  }
  EXPECT_EQ(named, 17 + 10 + 3 + 3);
  EXPECT_EQ(ActionName(kActionDraftDocument), u"DraftDocument");
  EXPECT_EQ(ActionName(kActionUnTrackRevision), u"UnTrachRevision");
}

}  // namespace
}  // namespace qnmuro
