#include "platform/clock.h"

#include <gtest/gtest.h>

#include <climits>
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

TEST(ClockRangeTest, DatesOutsideTheClocksYearsAreTakenAtTheEdge) {
  EXPECT_EQ(FormatTimestamp(ToLocalTime(EarliestClockTime())), u"1970-01-01 00:00:00");
  EXPECT_EQ(FormatTimestamp(ToLocalTime(LatestClockTime())), u"2261-12-31 23:59:59");
  // Years a TimePoint cannot count, and fields no calendar has, without overflow.
  const LocalTime late[] = {{2262, 4, 12, 0, 0, 0},
                            {2300, 1, 1, 0, 0, 0},
                            {9999, 12, 31, 23, 59, 59},
                            {INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX}};
  for (const LocalTime& t : late) EXPECT_EQ(FromLocalTime(t), LatestClockTime()) << t.year;
  const LocalTime early[] = {{1969, 12, 31, 23, 59, 59},
                             {1, 1, 1, 0, 0, 0},
                             {INT_MIN, INT_MIN, INT_MIN, INT_MIN, INT_MIN, INT_MIN}};
  for (const LocalTime& t : early) EXPECT_EQ(FromLocalTime(t), EarliestClockTime()) << t.year;
  EXPECT_EQ(FormatTimestamp(ToLocalTime(FromLocalTime({2026, 99, -5, 77, 61, -1}))),
            u"2026-12-01 23:59:00");
}

TEST(ClockRangeTest, TheVirtualClockStopsAtItsLastTime) {
  auto clock = NewVirtualClock(FromLocalTime({9999, 1, 1, 0, 0, 0}));
  EXPECT_EQ(clock->Now(), LatestClockTime());
  clock->Set(FromLocalTime({2261, 12, 31, 20, 0, 0}));
  int hourly = 0, yearly = 0;
  clock->StartTimer(std::chrono::hours(1), [&] { ++hourly; });
  clock->StartTimer(std::chrono::hours(24 * 366), [&] { ++yearly; });
  clock->StartTimer(std::chrono::milliseconds(std::chrono::milliseconds::max()), [&] { ++yearly; });
  clock->Advance(std::chrono::hours(24 * 365 * 10));  // ten years on: stops at the edge
  EXPECT_EQ(clock->Now(), LatestClockTime());
  EXPECT_EQ(hourly, 3);  // 21:00, 22:00, 23:00
  EXPECT_EQ(yearly, 0);
  clock->Advance(std::chrono::milliseconds(std::chrono::milliseconds::max()));
  EXPECT_EQ(clock->Now(), LatestClockTime());
  EXPECT_EQ(hourly, 3);
  clock->Set(FromLocalTime({2026, 1, 1, 0, 0, 0}));  // and back, with what was left
  clock->Advance(std::chrono::hours(1));
  EXPECT_EQ(hourly, 4);
}

}  // namespace
}  // namespace qnmuro
