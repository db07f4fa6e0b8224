// The host conformance table through the add-in's COM adapter: the simulated word processor as
// an automation server, reached only through IDispatch, as the add-in reaches the word
// processor that loads it.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/text.h"
#include "com/late_bound_host.h"
#include "host/host_conformance.h"
#include "platform/clock.h"
#include "platform/ui.h"
#include "sim_automation.h"
#include "simhost/sim_host.h"
#include "support/temp_dir.h"

namespace qnmuro::conformance {
namespace {

class ComUnderTest final : public HostUnderTest {
 public:
  ComUnderTest() {
    hostkit::HostOptions options;
    options.ui = &ui_;
    options.clock = clock_.get();
    options.work_dir = Folder();
    sim_ = simhost::NewSimApplication(options);
    automation_ = std::make_unique<com::SimAutomation>(*sim_);
    adapter_ = com::LateBoundApplication(&automation_->Application());
  }
  ~ComUnderTest() override {
    adapter_.reset();
    automation_.reset();
  }

  host::Application& App() override { return *adapter_; }
  std::u16string Folder() override { return FromPath(dir_.path()); }
  // The adapter's document is the simulated one of the same full name.
  std::vector<Revision> Revisions(host::Document& document) override {
    std::vector<Revision> out;
    host::Documents& docs = sim_->GetDocuments();
    for (long i = 1; i <= docs.Count(); ++i) {
      const std::shared_ptr<host::Document> doc = docs.Item(i);
      if (doc->FullName() != document.FullName()) continue;
      for (const hostkit::RevisionInfo& r : sim_->Revisions(*doc)) {
        out.push_back({r.kind == hostkit::RevisionInfo::Kind::kInsert, r.text, r.author});
      }
    }
    return out;
  }
  std::vector<std::u16string> SaveFormats() override { return {u".fodt"}; }
  bool KeepsDeletedText() override { return false; }

 private:
  test_util::TempDir dir_;
  ScriptedUi ui_;
  std::unique_ptr<VirtualClock> clock_ = NewVirtualClock(FromLocalTime({2026, 3, 14, 9, 0, 0}));
  std::unique_ptr<simhost::SimApplication> sim_;
  std::unique_ptr<com::SimAutomation> automation_;
  std::unique_ptr<host::Application> adapter_;
};

TEST(HostConformanceComTest, HoldsEveryCaseThroughTheAdapter) {
  ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
  {
    ComUnderTest host;
    RunConformanceCases([&]() -> HostUnderTest& { return host; });
  }
  OleUninitialize();
}

}  // namespace
}  // namespace qnmuro::conformance
