#include "hosts/host_table.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>

#include "platform/clock.h"
#include "platform/ui.h"

namespace qnmuro::hosts {
namespace {

TEST(HostTableTest, NamesAreUniqueAndEveryRowIsWhole) {
  std::set<std::string> seen;
  for (const HostEntry& entry : HostTable()) {
    EXPECT_TRUE(seen.insert(entry.name).second) << entry.name;
    EXPECT_FALSE(entry.title.empty()) << entry.name;
    EXPECT_FALSE(entry.full_title.empty()) << entry.name;
    EXPECT_TRUE(entry.unavailable != nullptr && entry.make != nullptr) << entry.name;
    EXPECT_FALSE(entry.save_formats.empty()) << entry.name;
    EXPECT_EQ(FindHost(entry.name), &entry);
  }
  EXPECT_EQ(HostNames().size(), HostTable().size());
  EXPECT_EQ(FindHost("frob"), nullptr);
}

TEST(HostTableTest, TheDefaultIsTheSimulatedOneAndStarts) {
  const HostEntry& first = HostTable().front();
  EXPECT_EQ(first.name, "sim");
  EXPECT_TRUE(first.available());
  ScriptedUi ui;
  const auto clock = NewVirtualClock(FromLocalTime({2026, 3, 14, 9, 0, 0}));
  hostkit::HostOptions options;
  options.ui = &ui;
  options.clock = clock.get();
  const std::unique_ptr<hostkit::ScriptHost> app = first.make(u"")(options);
  ASSERT_NE(app, nullptr);
  EXPECT_EQ(app->GetDocuments().Count(), 0);
}

}  // namespace
}  // namespace qnmuro::hosts
