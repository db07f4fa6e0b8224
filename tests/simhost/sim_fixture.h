// A simulated application on a scripted UI and a virtual clock, working in a temporary folder.
#ifndef QNMURO_TESTS_SIMHOST_SIM_FIXTURE_H_
#define QNMURO_TESTS_SIMHOST_SIM_FIXTURE_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/error.h"
#include "base/text.h"
#include "platform/clock.h"
#include "platform/ui.h"
#include "simhost/sim_host.h"
#include "support/temp_dir.h"

namespace qnmuro::simhost {

// Runs `body` and returns the host error number it raised (0 when none).
template <class Body>
long HostErrorOf(Body&& body) {
  try {
    body();
  } catch (const Error& e) {
    return e.number();
  }
  return 0;
}

// A 1x1 PNG.
inline std::string TinyPng() {
  return std::string(
      "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x01"
      "\x00\x00\x00\x01\x08\x02\x00\x00\x00\x90\x77\x53\xde\x00\x00\x00\x0c\x49\x44\x41"
      "\x54\x78\x9c\x63\xf8\xcf\xc0\x00\x00\x03\x01\x01\x00\xc9\xfe\x92\xef\x00\x00\x00"
      "\x00\x49\x45\x4e\x44\xae\x42\x60\x82",
      69);
}

class SimHostTest : public ::testing::Test {
 protected:
  SimHostTest() : clock_(NewVirtualClock(FromLocalTime({2026, 3, 14, 9, 26, 53}))) {
    hostkit::HostOptions options;
    options.ui = &ui_;
    options.clock = clock_.get();
    options.work_dir = FromPath(dir_.path());
    app_ = NewSimApplication(options);
  }

  std::u16string Path(const std::string& name) { return FromPath(dir_ / name); }
  void Write(const std::string& name, const std::string& bytes) {
    test_util::WriteBytes(dir_ / name, bytes);
  }
  // A new document holding `text`, with the caret at its end.
  std::shared_ptr<host::Document> NewDoc(std::u16string_view text) {
    auto doc = app_->GetDocuments().Add();
    app_->GetSelection()->TypeText(text);
    return doc;
  }
  std::u16string TextOf(host::Document& doc) { return doc.Content()->Text(); }
  std::u16string BookmarkText(host::Document& doc, std::u16string_view name) {
    return doc.GetBookmarks().Item(name)->GetRange()->Text();
  }

  test_util::TempDir dir_;
  ScriptedUi ui_;
  std::unique_ptr<VirtualClock> clock_;
  std::unique_ptr<SimApplication> app_;
};

}  // namespace qnmuro::simhost

#endif  // QNMURO_TESTS_SIMHOST_SIM_FIXTURE_H_
