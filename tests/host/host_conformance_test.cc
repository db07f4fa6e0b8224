// The conformance table on the simulated word processor and on Writer. One Writer serves every
// case of the suite: starting it costs seconds, and each case closes its documents.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "base/text.h"
#include "host/host_conformance.h"
#include "platform/clock.h"
#include "platform/ui.h"
#include "simhost/sim_host.h"
#include "support/temp_dir.h"

#ifdef QNMURO_HAVE_LIBREOFFICE
#include "lohost/writer_host.h"
#endif

namespace qnmuro::conformance {
namespace {

// A host of script_host.h (both backends here are one) in a folder of its own.
class ScriptHostUnderTest : public HostUnderTest {
 public:
  host::Application& App() override { return *app_; }
  std::u16string Folder() override { return FromPath(dir_.path()); }
  std::vector<Revision> Revisions(host::Document& document) override {
    std::vector<Revision> out;
    for (const simhost::RevisionInfo& r : app_->Revisions(document)) {
      out.push_back({r.kind == simhost::RevisionInfo::Kind::kInsert, r.text, r.author});
    }
    return out;
  }

 protected:
  simhost::SimHostOptions Options() {
    simhost::SimHostOptions options;
    options.ui = &ui_;
    options.clock = clock_.get();
    options.work_dir = Folder();
    return options;
  }

  test_util::TempDir dir_;
  ScriptedUi ui_;
  std::unique_ptr<VirtualClock> clock_ = NewVirtualClock(FromLocalTime({2026, 3, 14, 9, 0, 0}));
  std::unique_ptr<simhost::ScriptHost> app_;
};

class SimUnderTest final : public ScriptHostUnderTest {
 public:
  SimUnderTest() { app_ = simhost::NewSimApplication(Options()); }
  std::vector<std::u16string> SaveFormats() override { return {u".fodt"}; }
  bool KeepsDeletedText() override { return false; }
};

#ifdef QNMURO_HAVE_LIBREOFFICE
class WriterUnderTest final : public ScriptHostUnderTest {
 public:
  WriterUnderTest() { app_ = lohost::StartWriterHost(Options(), {}); }
  std::vector<std::u16string> SaveFormats() override { return {u".odt", u".doc", u".docx"}; }
  bool KeepsDeletedText() override { return true; }
};
#endif

class HostConformanceTest : public ::testing::TestWithParam<std::string> {
 protected:
  static void TearDownTestSuite() { writer_.reset(); }

  // The suite's Writer, started on first use; null when Writer is not there.
  static HostUnderTest* Writer() {
#ifdef QNMURO_HAVE_LIBREOFFICE
    if (writer_ == nullptr && lohost::WriterInstalled())
      writer_ = std::make_unique<WriterUnderTest>();
#endif
    return writer_.get();
  }

  static std::unique_ptr<HostUnderTest> writer_;
};

std::unique_ptr<HostUnderTest> HostConformanceTest::writer_;

TEST_P(HostConformanceTest, HoldsEveryCase) {
  if (GetParam() == "sim") {
    SimUnderTest sim;
    RunConformanceCases([&]() -> HostUnderTest& { return sim; });
    return;
  }
  HostUnderTest* writer = Writer();
  if (writer == nullptr) GTEST_SKIP() << "LibreOffice Writer is not installed";
  RunConformanceCases([&]() -> HostUnderTest& { return *writer; });
}

INSTANTIATE_TEST_SUITE_P(Hosts, HostConformanceTest, ::testing::Values("sim", "writer"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace qnmuro::conformance
