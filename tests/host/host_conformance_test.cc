// The conformance table on every host of the host table. One host of each serves every case of
// the suite: starting Writer costs seconds, and each case closes its documents.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "base/text.h"
#include "host/host_conformance.h"
#include "hostkit/script_host.h"
#include "hosts/host_table.h"
#include "platform/clock.h"
#include "platform/ui.h"
#include "support/temp_dir.h"

namespace qnmuro::conformance {
namespace {

// A host of the host table (hosts/host_table.h) in a folder of its own.
class TableHostUnderTest final : public HostUnderTest {
 public:
  explicit TableHostUnderTest(const hosts::HostEntry& entry) : entry_(entry) {
    hostkit::HostOptions options;
    options.ui = &ui_;
    options.clock = clock_.get();
    options.work_dir = Folder();
    app_ = entry.make(u"")(options);
  }

  host::Application& App() override { return *app_; }
  std::u16string Folder() override { return FromPath(dir_.path()); }
  std::vector<Revision> Revisions(host::Document& document) override {
    std::vector<Revision> out;
    for (const hostkit::RevisionInfo& r : app_->Revisions(document)) {
      out.push_back({r.kind == hostkit::RevisionInfo::Kind::kInsert, r.text, r.author});
    }
    return out;
  }
  std::vector<std::u16string> SaveFormats() override { return entry_.save_formats; }
  bool KeepsDeletedText() override { return entry_.keeps_deleted_text; }

 private:
  const hosts::HostEntry& entry_;
  test_util::TempDir dir_;
  ScriptedUi ui_;
  std::unique_ptr<VirtualClock> clock_ = NewVirtualClock(FromLocalTime({2026, 3, 14, 9, 0, 0}));
  std::unique_ptr<hostkit::ScriptHost> app_;
};

class HostConformanceTest : public ::testing::TestWithParam<std::string> {
 protected:
  static void TearDownTestSuite() { started_.clear(); }

  // The suite's host of this name, started on first use; null when it cannot be had here.
  static HostUnderTest* Started(const hosts::HostEntry& entry) {
    std::unique_ptr<HostUnderTest>& host = started_[entry.name];
    if (host == nullptr && entry.available()) host = std::make_unique<TableHostUnderTest>(entry);
    return host.get();
  }

  static std::map<std::string, std::unique_ptr<HostUnderTest>> started_;
};

std::map<std::string, std::unique_ptr<HostUnderTest>> HostConformanceTest::started_;

TEST_P(HostConformanceTest, HoldsEveryCase) {
  const hosts::HostEntry& entry = *hosts::FindHost(GetParam());
  HostUnderTest* host = Started(entry);
  if (host == nullptr) GTEST_SKIP() << entry.full_title << " is not installed";
  RunConformanceCases([&]() -> HostUnderTest& { return *host; });
}

INSTANTIATE_TEST_SUITE_P(Hosts, HostConformanceTest, ::testing::ValuesIn(hosts::HostNames()),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace qnmuro::conformance
