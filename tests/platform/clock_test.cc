#include "platform/clock.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.h"

namespace qnmuro {
namespace {

using std::chrono::minutes;

TEST(VirtualClockTest, AdvanceFiresEveryDueTickInTimeOrderAtItsOwnTime) {
  auto clock = NewVirtualClock(FromLocalTime({2026, 3, 14, 9, 0, 0}));
  std::vector<std::u16string> ticks;
  auto record = [&](const char16_t* name) {
    return [&, name] { ticks.push_back(name + FormatTimestamp(clock->NowLocal()).substr(10)); };
  };
  clock->StartTimer(minutes(60), record(u"hourly"));
  const Clock::TimerId half = clock->StartTimer(minutes(30), record(u"half"));
  clock->Advance(minutes(59));
  EXPECT_EQ(ticks, std::vector<std::u16string>{u"half 09:30:00"});
  clock->Advance(minutes(61));
  clock->StopTimer(half);
  clock->Advance(minutes(60));
  EXPECT_EQ(ticks, (std::vector<std::u16string>{
                       u"half 09:30:00", u"hourly 10:00:00", u"half 10:00:00", u"half 10:30:00",
                       u"hourly 11:00:00", u"half 11:00:00", u"hourly 12:00:00"}));
}

TEST(VirtualClockTest, SettingTheTimeFiresNothingAndKeepsWhatIsLeftOfEachTimer) {
  struct Case {
    LocalTime set_to;
    const char16_t* first_tick;
  };
  const Case cases[] = {
      {{2026, 3, 14, 9, 20, 0}, u"2026-03-14 10:10:00"},   // a little forward
      {{2026, 3, 16, 23, 30, 0}, u"2026-03-17 00:20:00"},  // days forward
      {{2025, 1, 1, 0, 0, 0}, u"2025-01-01 00:50:00"},     // backward
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(U8(FormatTimestamp(c.set_to)));
    auto clock = NewVirtualClock(FromLocalTime({2026, 3, 14, 9, 0, 0}));
    std::vector<std::u16string> ticks;
    clock->StartTimer(minutes(60), [&] { ticks.push_back(FormatTimestamp(clock->NowLocal())); });
    clock->Advance(minutes(10));
    clock->Set(FromLocalTime(c.set_to));
    EXPECT_TRUE(ticks.empty());
    clock->Advance(minutes(49));
    EXPECT_TRUE(ticks.empty());
    clock->Advance(minutes(1));
    EXPECT_EQ(ticks, std::vector<std::u16string>{c.first_tick});
  }
}

}  // namespace
}  // namespace qnmuro
