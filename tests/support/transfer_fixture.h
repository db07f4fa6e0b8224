// What the transfer, HTTP client and OA server tests share: a fresh work directory with the event
// log in it, a context with the libcurl client (short time-outs) and a registry file, and the log
// read back as lines.
#ifndef QNMURO_TESTS_SUPPORT_TRANSFER_FIXTURE_H_
#define QNMURO_TESTS_SUPPORT_TRANSFER_FIXTURE_H_

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "base/text.h"
#include "common/context.h"
#include "common/shared_state.h"
#include "common/velto_log.h"
#include "platform/http_client.h"
#include "platform/registry_store.h"
#include "platform/services_posix.h"
#include "platform/ui.h"
#include "support/event_log.h"
#include "support/temp_dir.h"

namespace qnmuro::test {

inline std::string RandomBytes(size_t size, unsigned seed = 7) {
  std::mt19937 gen(seed);
  std::string out(size, '\0');
  for (char& c : out) c = static_cast<char>(gen() & 0xFF);
  return out;
}

class TransferTest : public ::testing::Test {
 protected:
  TransferTest() {
    std::filesystem::create_directories(work_);
    HttpClientOptions options;
    options.connect_timeout = std::chrono::milliseconds(2000);
    options.stall_timeout = std::chrono::seconds(1);
    http_ = NewCurlHttpClient(options);
    registry_ = NewFileRegistryStore(root_ / "registry.reg");
    state_.eventLog = std::make_unique<VeltoLog>(FromPath(work_), nullptr, nullptr);
    ctx_.state = &state_;
    ctx_.http = http_.get();
    ctx_.registry = registry_.get();
    ctx_.ui = &ui_;
    ctx_.work_dir = FromPath(work_);
  }
  ~TransferTest() override { state_.eventLog.reset(); }

  // The log's numbered lines without their "#n： " and without the banners.
  std::vector<std::u16string> LogLines() const {
    std::vector<std::u16string> lines;
    for (const std::u16string& line : test_util::ReadEventLogLines(work_)) {
      if (line.rfind(u"#", 0) != 0) continue;
      const size_t start = line.find(u"： ");
      lines.push_back(start == std::u16string::npos ? line : line.substr(start + 2));
    }
    return lines;
  }
  std::string LogText() const {
    std::string out;
    for (const auto& line : LogLines()) out += U8(line) + "\n";
    return out;
  }

  // A libcurl client that gives up once a transfer has stayed under the rate floor for 2 s (not
  // the usual minute); its stall time-out (5 s) does not come first.
  static std::unique_ptr<HttpClient> QuickToGiveUpClient() {
    HttpClientOptions options;
    options.connect_timeout = std::chrono::milliseconds(2000);
    options.stall_timeout = std::chrono::seconds(5);
    options.slow_window = std::chrono::seconds(2);
    return NewCurlHttpClient(options);
  }

  // A new event log in place of the old, for a case that reads only its own lines.
  void RestartLog() {
    std::filesystem::remove(work_ / "comlog.txt");
    state_.eventLog = std::make_unique<VeltoLog>(FromPath(work_), nullptr, nullptr);
  }

  // The session cookie the add-in would send.
  void SetSessionCookie(const std::u16string& cookie) {
    const std::u16string key = u"SOFTWARE\\zuzozer\\web";
    registry_->CreateKey(kHkeyLocalMachine, key);
    registry_->SetValue(kHkeyLocalMachine, key, u"sid", RegistryValue::String(cookie));
  }

  test_util::TempDir temp_;  // first: removed after everything that writes into it
  std::filesystem::path root_ = temp_.path();
  std::filesystem::path work_ = root_ / "work";
  std::unique_ptr<HttpClient> http_;
  std::unique_ptr<RegistryStore> registry_;
  SharedState state_;
  ScriptedUi ui_;
  Context ctx_;
};

}  // namespace qnmuro::test

#endif  // QNMURO_TESTS_SUPPORT_TRANSFER_FIXTURE_H_
