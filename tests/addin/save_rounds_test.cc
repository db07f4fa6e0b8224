// Save-and-upload rounds in a row against the development OA server: each round leaves no file
// descriptor, temporary file or memory behind. 100 rounds in the suite; QNMURO_SAVE_ROUNDS
// sets another number (the `long` ctest label runs 1,000).
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "support/served_fixture.h"

namespace qnmuro::test_util {
namespace {

namespace fs = std::filesystem;

// What this process's descriptors point at ("socket:[...]" counted as "socket").
std::vector<std::string> OpenDescriptors() {
  std::vector<std::string> out;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    const std::string target = fs::read_symlink(entry.path(), ec).string();
    out.push_back(target.rfind("socket:", 0) == 0 ? "socket" : target);
  }
  std::sort(out.begin(), out.end());
  return out;
}

// The server's threads close their side of a connection after the reply has gone out: waits
// (a few seconds at most) until two looks 50 ms apart agree, or agree with `expected`.
std::vector<std::string> SettledDescriptors(const std::vector<std::string>& expected = {}) {
  std::vector<std::string> before = OpenDescriptors();
  for (int i = 0; i < 100 && before != expected; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::vector<std::string> now = OpenDescriptors();
    if (now == before && expected.empty()) break;
    before = std::move(now);
  }
  return before;
}

// Every file and folder under `folder`, except the subtree `skip`.
std::vector<std::string> Entries(const fs::path& folder, const fs::path& skip) {
  std::vector<std::string> out;
  for (auto it = fs::recursive_directory_iterator(folder); it != fs::end(it); ++it) {
    if (it->path() == skip) {
      it.disable_recursion_pending();
      continue;
    }
    out.push_back(fs::relative(it->path(), folder).string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

long ResidentKiB() {
  long pages = 0, resident = 0;
  std::ifstream("/proc/self/statm") >> pages >> resident;
  return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

using SaveRoundsTest = ServedAddinTest;

TEST_F(SaveRoundsTest, RoundAfterRoundLeavesNothingBehind) {
  const char* env = std::getenv("QNMURO_SAVE_ROUNDS");
  const int rounds = env != nullptr ? std::atoi(env) : 100;
  constexpr int kWarmUp = 20;
  MakeDocument(u"notice.doc", NoticeDocument());
  WriteServedControl(u"notice.doc", "DraftDocument", "查看痕迹");
  const auto doc = OpenWorkflow(u"notice.doc");
  const fs::path stored = dir_ / "server" / "documents" / "6F2A";
  // One round: a change, saved and uploaded, then undone, so that the document (and the host's
  // undo history) is the same before every round.
  auto round = [&] {
    app_->GetSelection()->TypeText(u"第几轮");
    ui_.QueueAnswer(MsgAnswer::kYes);
    doc->Save();
    ASSERT_EQ(ReadBytes(stored / "notice.doc"), ReadBytes(dir_ / "notice.doc"));
    doc->Undo(1);
    ui_.ClearRecords();
  };
  for (int i = 0; i < kWarmUp; ++i) ASSERT_NO_FATAL_FAILURE(round());
  const auto descriptors = SettledDescriptors();
  const auto entries = Entries(dir_.path(), dir_ / "server");
  [[maybe_unused]] const long resident = ResidentKiB();
  for (int i = 0; i < rounds; ++i) ASSERT_NO_FATAL_FAILURE(round()) << "round " << i;

  EXPECT_EQ(SettledDescriptors(descriptors), descriptors);
  // Backup copies stay (a week): one more each round, none left half-written.
  auto without_backups = [](std::vector<std::string> names) {
    std::erase_if(names, [](const std::string& n) { return n.rfind("qnoawork.bak/", 0) == 0; });
    return names;
  };
  EXPECT_EQ(without_backups(Entries(dir_.path(), dir_ / "server")), without_backups(entries));
  EXPECT_TRUE(fs::is_empty(dir_ / "server" / "incoming"));
  size_t versions = 0;
  for (auto it = fs::directory_iterator(stored); it != fs::directory_iterator(); ++it) ++versions;
  EXPECT_EQ(versions, static_cast<size_t>(kWarmUp + rounds)) << "every round was uploaded";
#if !defined(__SANITIZE_ADDRESS__)
  // (AddressSanitizer keeps freed memory in quarantine; its leak check stands in there.)
  EXPECT_LT(ResidentKiB() - resident, 8 * 1024) << "resident memory grew";
#endif
}

}  // namespace
}  // namespace qnmuro::test_util
