// Which outstanding body a confirmation takes: by connection, by session or user, alone when
// nothing tells it apart, and never a guess.
#include "oaserver/upload_ledger.h"

#include <gtest/gtest.h>

#include <thread>

namespace qnmuro {
namespace {

using std::chrono::hours;
using std::chrono::milliseconds;

struct Step {
  char op;           // 'u' upload, 'c' confirmation, 'w' wait past the refusal memory
  const char* body;  // the upload's label; for 'c' the body expected, "-" none, "!" refused
  UploadOrigin origin;
};

struct Script {
  const char* name;
  std::vector<Step> steps;
};

TEST(UploadLedgerTest, AConfirmationTakesOnlyTheBodyThatIsSurelyItsOwn) {
  const UploadOrigin anyone{};
  const UploadOrigin conn1{1, "", ""}, conn2{2, "", ""};
  const UploadOrigin s1{0, "sid=1", ""}, s2{0, "sid=2", ""}, zhang{0, "", "zhangsan"};
  const Script scripts[] = {
      {"alone", {{'u', "A", anyone}, {'c', "A", conn1}, {'c', "-", conn1}}},
      {"two alike: both refused, then the name is free again",
       {{'u', "A", anyone},
        {'u', "B", anyone},
        {'c', "!", anyone},
        {'c', "!", anyone},
        {'u', "C", anyone},
        {'c', "C", anyone}}},
      {"a body uploaded after a refusal never answers the refused clerk's confirmation",
       {{'u', "A", anyone},
        {'u', "B", anyone},
        {'c', "!", anyone},
        {'u', "C", anyone},
        {'c', "!", anyone},
        {'c', "!", anyone},
        {'u', "D", anyone},
        {'c', "D", anyone}}},
      {"the same connection carries both",
       {{'u', "A", conn1}, {'u', "B", conn2}, {'c', "B", conn2}, {'c', "A", conn1}}},
      {"the same connection uploads again",
       {{'u', "A", conn1}, {'u', "B", conn1}, {'c', "B", conn1}, {'c', "-", conn1}}},
      {"sessions and users tell them apart",
       {{'u', "A", s1},
        {'u', "B", s2},
        {'u', "C", zhang},
        {'c', "B", s2},
        {'c', "C", zhang},
        {'c', "A", s1}}},
      {"another session's body is not this one's",
       {{'u', "A", s1}, {'c', "-", s2}, {'c', "A", s1}}},
      {"one session, two bodies", {{'u', "A", s1}, {'u', "B", s1}, {'c', "!", s1}}},
      {"a refusal is remembered for a while only",
       {{'u', "A", anyone},
        {'u', "B", anyone},
        {'c', "!", anyone},
        {'w', "", anyone},
        {'u', "C", anyone},
        {'c', "C", anyone}}},
  };
  for (const Script& script : scripts) {
    SCOPED_TRACE(script.name);
    UploadLedger ledger(hours(1), milliseconds(50));
    int n = 0;
    for (const Step& step : script.steps) {
      SCOPED_TRACE(++n);
      std::vector<std::filesystem::path> dropped;
      if (step.op == 'u') {
        ledger.Add("notice.doc", step.body, step.origin);
        continue;
      }
      if (step.op == 'w') {
        std::this_thread::sleep_for(milliseconds(60));
        continue;
      }
      UploadLedger::Body body;
      const auto verdict = ledger.Match("notice.doc", step.origin, &body, &dropped);
      const std::string expected = step.body;
      if (expected == "!") {
        EXPECT_EQ(verdict, UploadLedger::Verdict::kRefused);
      } else if (expected == "-") {
        EXPECT_EQ(verdict, UploadLedger::Verdict::kNone);
      } else {
        ASSERT_EQ(verdict, UploadLedger::Verdict::kFound);
        EXPECT_EQ(body.file, expected);
        ledger.Taken("notice.doc", body.id);
      }
    }
  }
}

// A version sent again after its confirmation was refused (the password, say): two bodies
// of the same bytes are one, and the confirmation takes the newer; other bytes stay apart.
TEST(UploadLedgerTest, BodiesOfTheSameBytesAreOneVersion) {
  for (bool same : {true, false}) {
    SCOPED_TRACE(same ? "same bytes" : "other bytes");
    UploadLedger ledger(hours(1), hours(1));
    ledger.Add("a.doc", "first", {}, "d1");
    ledger.Add("a.doc", "again", {}, same ? "d1" : "d2");
    UploadLedger::Body body;
    std::vector<std::filesystem::path> dropped;
    const auto verdict = ledger.Match("a.doc", {}, &body, &dropped);
    EXPECT_EQ(verdict, same ? UploadLedger::Verdict::kFound : UploadLedger::Verdict::kRefused);
    if (same) {
      EXPECT_EQ(body.file, "again");
      EXPECT_EQ(dropped, std::vector<std::filesystem::path>{"first"});
    }
  }
}

TEST(UploadLedgerTest, BodiesOfOtherNamesAndOldBodiesAreLeftOut) {
  UploadLedger ledger(milliseconds(50), hours(1));
  ledger.Add("a.doc", "A", {});
  ledger.Add("b.doc", "B", {});
  UploadLedger::Body body;
  std::vector<std::filesystem::path> dropped;
  ASSERT_EQ(ledger.Match("a.doc", {}, &body, &dropped), UploadLedger::Verdict::kFound);
  EXPECT_EQ(body.file, "A");
  std::this_thread::sleep_for(milliseconds(60));
  EXPECT_EQ(ledger.Match("b.doc", {}, &body, &dropped), UploadLedger::Verdict::kNone);
  EXPECT_EQ(dropped, std::vector<std::filesystem::path>{"B"});
}

}  // namespace
}  // namespace qnmuro
