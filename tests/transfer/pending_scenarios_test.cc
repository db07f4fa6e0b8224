// Saves against a failing network and server, and what the pending uploads make of them: seeded
// scenarios of one to three saves, each upload request met by a fault (or none) from a fault-
// injecting server in front of the development OA server, then the server reachable again and
// one retry. Nothing may be lost and nothing reported as uploaded that the server did not take.
// A fast share runs by default; QNMURO_PENDING_SCENARIOS=full runs the whole set.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <set>
#include <thread>

#include "common/cipher.h"
#include "platform/file_io.h"
#include "platform/services_posix.h"
#include "support/fault_proxy.h"
#include "support/oa_server_process.h"
#include "support/transfer_fixture.h"
#include "transfer/http_operation.h"
#include "transfer/pending_uploads.h"
#include "transfer/version_tags.h"

namespace qnmuro::test {
namespace {

namespace fs = std::filesystem;
using test_util::Fault;
using test_util::ReadBytes;
using test_util::WriteBytes;

bool Full() {
  const char* value = std::getenv("QNMURO_PENDING_SCENARIOS");
  return value != nullptr && std::string(value) == "full";
}

class PendingScenarioTest : public TransferTest {
 protected:
  void SetUp() override {
    fs::create_directories(oa_);
    std::string error;
    ASSERT_TRUE(server_.Start(0, &error)) << error;
    proxy_ = std::make_unique<test_util::FaultProxy>(server_.port(), [this] {
      std::string ignored;
      server_.Kill();
      server_.Start(server_.port(), &ignored);
    });
  }

  // The OA side hands the document over: published, then fetched through the add-in's own
  // transfer code, which notes the version it got.
  void HandOver(const std::string& unid, const std::string& name, const std::string& bytes) {
    WriteBytes(oa_ / "files" / unid / name, bytes);
    HttpOperation download(ctx_);
    download.SetHttpUrl(U16(proxy_->BaseUrl() + "/oa/0/" + unid + "/$file/" + name));
    download.SetDestFile(FromPath(work_ / name));
    download.SetNoteVersion(true);
    ASSERT_TRUE(download.DownloadFileByStream());
  }

  UploadJob Job(const std::string& unid) const {
    return UploadJob{U16(proxy_->BaseUrl() + "/oa/save?OpenAgent&action=upload&unid=" + unid +
                         "&method=replacecontent&ctlaction=10"),
                     U16(unid), u"clerk", u""};
  }

  UploadOutcome Save(const std::string& unid, const std::string& name, const std::string& bytes) {
    WriteBytes(work_ / name, bytes);
    return UploadDocument(ctx_, FromPath(work_ / name), Job(unid));
  }

  std::string Stored(const std::string& unid, const std::string& name) const {
    return ReadBytes(oa_ / "documents" / unid / name);
  }

  fs::path oa_ = root_ / "oa";
  test_util::OaServerProcess server_{oa_};
  std::unique_ptr<test_util::FaultProxy> proxy_;
};

// A fault for one request: none two times in five, a stall (which costs the client's stall
// time-out) rarely.
Fault PickFault(std::mt19937& rng) {
  const unsigned roll = rng() % 40;
  if (roll < 16) return Fault::kPass;
  if (roll == 16) return Fault::kStall;
  static const Fault kOthers[] = {
      Fault::kDropBeforeBody, Fault::kDropDuringBody, Fault::kStatus500,
      Fault::kStatus503,      Fault::kStatus401,      Fault::kKillMidBody,
      Fault::kKillAfterReply, Fault::kCutReply,       Fault::kFalseSuccess};
  return kOthers[(roll - 17) % 9];
}

TEST_F(PendingScenarioTest, SavesAgainstFaultsLoseNothingAndOneRetryBringsTheLastVersion) {
  const int scenarios = Full() ? 1000 : 40;
  // Names shared across scenarios: bodies of one name left unconfirmed by earlier scenarios
  // stay outstanding on the server beside later ones.
  static const char* const kNames[] = {"notice.doc", "report.doc", "公文.doc"};
  int failed_saves = 0;
  int saves_made = 0;
  for (int seed = 1; seed <= scenarios; ++seed) {
    std::mt19937 rng(static_cast<unsigned>(seed));
    const std::string unid = "S" + std::to_string(seed);
    const std::string name = kNames[rng() % 3];
    HandOver(unid, name, RandomBytes(1000 + rng() % 5000, rng()));
    std::string last;
    std::set<std::string> saved;
    std::string faults;
    const int saves = 1 + static_cast<int>(rng() % 3);
    for (int save = 0; save < saves; ++save) {
      last = RandomBytes(1 + rng() % 20000, rng());
      saved.insert(last);
      const Fault first = PickFault(rng);
      const Fault second = PickFault(rng);
      faults += std::string(" ") + FaultName(first) + "/" + FaultName(second);
      proxy_->Plan({first, second});
      const UploadOutcome outcome = Save(unid, name, last);
      ++saves_made;
      ASSERT_NE(outcome, UploadOutcome::kConflict) << "seed " << seed << faults;
      if (outcome == UploadOutcome::kUploaded) {
        ASSERT_EQ(Stored(unid, name), last) << "reported as uploaded, seed " << seed << faults;
      } else {
        ++failed_saves;
      }
    }
    proxy_->Plan({});
    PendingUploads pending(ctx_);
    pending.RetryAll();
    const std::vector<PendingEntry> left = pending.List();
    ASSERT_TRUE(left.empty()) << "seed " << seed << faults << ": " << U8(left[0].lastError);
    ASSERT_EQ(Stored(unid, name), last) << "seed " << seed << faults;
    // Every version the server keeps of the document is one this clerk saved.
    for (const auto& version : fs::directory_iterator(oa_ / "documents" / unid)) {
      EXPECT_TRUE(saved.count(ReadBytes(version.path()))) << "seed " << seed << version.path();
    }
  }
  std::printf("%d scenarios, %d saves, %d of them not confirmed at the save\n", scenarios,
              saves_made, failed_saves);
  // The faults must have bitten: most scenarios saw a failed save.
  EXPECT_GT(failed_saves, scenarios / 2);
}

// The server restarted right after the save's last reply: the child process that restart
// forks holds a copy of every open descriptor, the pending uploads' lock among them, for a
// moment. A retry then still sends.
TEST_F(PendingScenarioTest, ARetryJustAfterAProcessStartsStillSends) {
  HandOver("X1", "公文.doc", "v0");
  proxy_->Plan({Fault::kKillAfterReply, Fault::kKillAfterReply});
  EXPECT_EQ(Save("X1", "公文.doc", "v1"), UploadOutcome::kFailed);
  proxy_->Plan({});
  EXPECT_EQ(PendingUploads(ctx_).RetryAll().uploaded, 1);
  EXPECT_EQ(Stored("X1", "公文.doc"), "v1");
}

// Another clerk's computer: a work directory and registry of its own, talking to the server
// directly.
struct OtherComputer {
  explicit OtherComputer(const Context& like) : ctx(like) {
    registry = NewFileRegistryStore(dir.path() / "registry.reg");
    ctx.registry = registry.get();
    ctx.state = &state;
    ctx.work_dir = FromPath(dir.path());
  }
  UploadOutcome Save(const std::string& name, const std::string& bytes, const UploadJob& job) {
    WriteBytes(dir.path() / name, bytes);
    return UploadDocument(ctx, FromPath(dir.path() / name), job);
  }
  test_util::TempDir dir;
  SharedState state;
  std::unique_ptr<RegistryStore> registry;
  Context ctx;
};

// A kept conflict is a version nobody has: later saves of the document, after a new hand-over
// or without one, never take it away.
TEST_F(PendingScenarioTest, AConflictSurvivesTheSavesThatFollowIt) {
  HandOver("K1", "notice.doc", "v0");
  OtherComputer other(ctx_);
  ASSERT_EQ(other.Save("notice.doc", "theirs", Job("K1")), UploadOutcome::kUploaded);
  ASSERT_EQ(Save("K1", "notice.doc", "mine 1"), UploadOutcome::kConflict);
  // Saved again without a new hand-over: still based on v0, a conflict of its own.
  ASSERT_EQ(Save("K1", "notice.doc", "mine 2"), UploadOutcome::kConflict);
  HandOver("K1", "notice.doc", "theirs");
  ASSERT_EQ(Save("K1", "notice.doc", "mine 3"), UploadOutcome::kUploaded);
  EXPECT_EQ(Stored("K1", "notice.doc"), "mine 3");
  std::vector<std::string> kept;
  for (const PendingEntry& e : PendingUploads(ctx_).List()) {
    EXPECT_TRUE(e.conflict);
    kept.push_back(ReadBytes(ToPath(e.BodyPath())));
  }
  EXPECT_EQ(kept, (std::vector<std::string>{"mine 1", "mine 2"}));
}

// A retry sending an older version on a slow line while the clerk saves a newer one in another
// process: the newer one waits for the send and goes over it, never the other way round.
TEST_F(PendingScenarioTest, ARetryRacingASaveNeverStoresTheOlderVersionLast) {
  for (int round = 0; round < 3; ++round) {
    const std::string unid = "R" + std::to_string(round);
    HandOver(unid, "notice.doc", "v0");
    proxy_->Plan({Fault::kPass, Fault::kStatus503});
    ASSERT_EQ(Save(unid, "notice.doc", "v1"), UploadOutcome::kFailed);
    // The retry's requests are slow: the save comes while they are on their way.
    proxy_->Plan({Fault::kLate, Fault::kLate});
    OtherComputer retrying(ctx_);
    retrying.ctx.work_dir = ctx_.work_dir;
    const std::unique_ptr<RegistryStore> shared = NewFileRegistryStore(root_ / "registry.reg");
    retrying.ctx.registry = shared.get();
    const std::unique_ptr<HttpClient> http = NewCurlHttpClient();
    retrying.ctx.http = http.get();
    std::thread retry([&] { PendingUploads(retrying.ctx).RetryAll(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // This process talks to the server directly, not through the slow line.
    UploadJob direct = Job(unid);
    const std::string through = U8(direct.url);
    direct.url = U16("http://127.0.0.1:" + std::to_string(server_.port()) +
                     through.substr(proxy_->BaseUrl().size()));
    WriteBytes(work_ / "notice.doc", "v2");
    const UploadOutcome outcome = UploadDocument(ctx_, FromPath(work_ / "notice.doc"), direct);
    retry.join();
    EXPECT_EQ(outcome, UploadOutcome::kUploaded) << round;
    EXPECT_EQ(Stored(unid, "notice.doc"), "v2") << round;
    EXPECT_TRUE(PendingUploads(ctx_).List().empty()) << round;
  }
}

// Entries the server answers with a refusal hold no other entry up; documents named like the
// entry's own files ("entry", "error") go like any other; a refused entry goes once the
// password is given again.
TEST_F(PendingScenarioTest, ARefusedEntryHoldsNoOtherUpAndGoesWithThePassword) {
  for (const char* name : {"entry", "error"}) HandOver("P1", name, "v0");
  proxy_->Plan({Fault::kDropBeforeBody, Fault::kDropBeforeBody});
  ASSERT_EQ(Save("P1", "entry", "entry v1"), UploadOutcome::kFailed);
  ASSERT_EQ(Save("P1", "error", "error v1"), UploadOutcome::kFailed);
  // The first entry's credentials are refused, the second's confirmation says success with a
  // server error: neither is confirmed, and the first holds the second up.
  proxy_->Plan({Fault::kPass, Fault::kStatus401, Fault::kPass, Fault::kFalseSuccess});
  RetryReport report = PendingUploads(ctx_).RetryAll();
  EXPECT_EQ(report.refused, 1);
  EXPECT_EQ(report.failed, 1);
  EXPECT_EQ(report.untried, 0);
  EXPECT_TRUE(Stored("P1", "error").empty());
  std::vector<PendingEntry> left = PendingUploads(ctx_).List();
  ASSERT_EQ(left.size(), 2u);
  EXPECT_TRUE(left[0].refused);
  EXPECT_FALSE(left[1].refused);
  EXPECT_EQ(ReadBytes(ToPath(left[0].BodyPath())), "entry v1");
  // Still tried, still refused: the password it was kept with is the wrong one.
  proxy_->Plan({Fault::kPass, Fault::kStatus401});
  report = PendingUploads(ctx_).RetryAll();
  EXPECT_EQ(report.uploaded, 1);
  EXPECT_EQ(report.refused, 1);
  EXPECT_EQ(Stored("P1", "error"), "error v1");
  EXPECT_EQ(PendingUploads(ctx_).SendWithPassword(left[0].id, EncryptString(ctx_, u"new")),
            UploadOutcome::kUploaded);
  EXPECT_EQ(Stored("P1", "entry"), "entry v1");
  EXPECT_TRUE(PendingUploads(ctx_).List().empty());
}

// The OA client fetched the document itself: the tag held from an earlier hand-over names
// another version than the file's, and is forgotten at the hand-over, so the save is no false
// conflict. A file that is the held version, or one of this clerk's kept ones, keeps it.
TEST_F(PendingScenarioTest, AHandOverMadeAnotherWayForgetsATagThatNoLongerDescribesTheFile) {
  struct Case {
    const char* name;
    const char* file;  // what the hand-over left in the work directory
    bool forgotten;
  };
  const Case cases[] = {{"the other clerk's version", "theirs", true},
                        {"the version the tag names", "v0", false},
                        {"this clerk's kept version", "kept", false}};
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string unid = "T" + std::to_string(n++);
    HandOver(unid, "notice.doc", "v0");
    proxy_->Plan({Fault::kDropBeforeBody});
    ASSERT_EQ(Save(unid, "notice.doc", "kept"), UploadOutcome::kFailed);
    OtherComputer other(ctx_);
    ASSERT_EQ(other.Save("notice.doc", "theirs", Job(unid)), UploadOutcome::kUploaded);
    WriteBytes(work_ / "notice.doc", c.file);
    const std::u16string held = HeldVersionTag(ctx_, {U16(unid), u"notice.doc"});
    EXPECT_EQ(PendingUploads(ctx_).ForgetStaleTag(U16(unid), FromPath(work_ / "notice.doc")),
              c.forgotten);
    EXPECT_EQ(HeldVersionTag(ctx_, {U16(unid), u"notice.doc"}).empty(), c.forgotten);
    if (c.forgotten) {
      ASSERT_EQ(Save(unid, "notice.doc", "mine"), UploadOutcome::kUploaded);
      EXPECT_EQ(Stored(unid, "notice.doc"), "mine");
    } else {
      EXPECT_EQ(HeldVersionTag(ctx_, {U16(unid), u"notice.doc"}), held);
    }
    for (const PendingEntry& e : PendingUploads(ctx_).List()) PendingUploads(ctx_).Drop(e.id);
  }
}

TEST_F(PendingScenarioTest, AnotherUploadBetweenHandOverAndSaveIsAConflictAndOverwritesNothing) {
  const int cases = Full() ? 100 : 10;
  for (int i = 0; i < cases; ++i) {
    const std::string unid = "C" + std::to_string(i);
    HandOver(unid, "notice.doc", "as handed over " + std::to_string(i));
    // Another clerk, on another computer, stores a version meanwhile.
    OtherComputer other(ctx_);
    const std::string theirs = "the other clerk's version " + std::to_string(i);
    ASSERT_EQ(other.Save("notice.doc", theirs, Job(unid)), UploadOutcome::kUploaded);

    const std::string mine = "this clerk's version " + std::to_string(i);
    ASSERT_EQ(Save(unid, "notice.doc", mine), UploadOutcome::kConflict) << i;
    EXPECT_EQ(Stored(unid, "notice.doc"), theirs);
    // Kept, marked, and never sent again by a retry.
    EXPECT_EQ(PendingUploads(ctx_).RetryAll().conflicts, 1);
    EXPECT_EQ(Stored(unid, "notice.doc"), theirs);
    const std::vector<PendingEntry> kept = PendingUploads(ctx_).List();
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_TRUE(kept[0].conflict);
    EXPECT_FALSE(kept[0].serverTag.empty());
    EXPECT_NE(kept[0].serverTag, kept[0].namedTag);
    EXPECT_EQ(ReadBytes(ToPath(kept[0].BodyPath())), mine);
    PendingUploads(ctx_).Drop(kept[0].id);
  }
}

TEST_F(PendingScenarioTest, SavesWithNothingInBetweenNeverConflict) {
  const int documents = Full() ? 100 : 10;
  for (int d = 0; d < documents; ++d) {
    const std::string unid = "N" + std::to_string(d);
    HandOver(unid, "notice.doc", "handed over");
    for (int save = 0; save < 10; ++save) {
      const std::string bytes = "version " + std::to_string(save) + " of " + unid;
      ASSERT_EQ(Save(unid, "notice.doc", bytes), UploadOutcome::kUploaded) << unid << " " << save;
      ASSERT_EQ(Stored(unid, "notice.doc"), bytes);
    }
  }
  EXPECT_TRUE(PendingUploads(ctx_).List().empty());
}

}  // namespace
}  // namespace qnmuro::test
