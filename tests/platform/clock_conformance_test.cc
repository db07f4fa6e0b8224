// What every clock backend does with time and timers: timers tick once their interval has
// passed, until stopped (also from their own tick), and the time moves with the time passed.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <thread>

#include "platform/clock.h"
#ifdef _WIN32
#include "platform/services_win.h"
#endif

namespace qnmuro {
namespace {

using std::chrono::milliseconds;
using Pass = std::function<void(milliseconds)>;

struct Backend {
  const char* name;
  // A clock, and in `pass` how to let time go by on it with its timers served.
  std::function<std::unique_ptr<Clock>(Pass* pass)> open;
};

void PrintTo(const Backend& b, std::ostream* os) {
  *os << b.name;
}

// A system clock's time passes on its own while the owner's loop serves its timers.
template <typename Make>
Backend Loop(const char* name, Make make) {
  return {name, [make](Pass* pass) -> std::unique_ptr<Clock> {
            std::unique_ptr<SystemClock> clock = make();
            SystemClock* raw = clock.get();
            *pass = [raw](milliseconds span) {
              const auto until = std::chrono::steady_clock::now() + span;
              while (std::chrono::steady_clock::now() < until) {
                raw->RunDueTimers();
                std::this_thread::sleep_for(milliseconds(5));
              }
              raw->RunDueTimers();
            };
            return clock;
          }};
}

const Backend kBackends[] = {
    {"Virtual",
     [](Pass* pass) -> std::unique_ptr<Clock> {
       std::unique_ptr<VirtualClock> clock = NewVirtualClock(FromLocalTime({2026, 3, 14, 9, 0, 0}));
       VirtualClock* raw = clock.get();
       *pass = [raw](milliseconds span) { raw->Advance(span); };
       return clock;
     }},
    Loop("System", [] { return NewSystemClock(); }),
#ifdef _WIN32
    Loop("Windows", [] { return NewWindowsClock(); }),
#endif
};

class ClockConformanceTest : public testing::TestWithParam<Backend> {
 protected:
  Pass pass_;
  std::unique_ptr<Clock> clock_ = GetParam().open(&pass_);
};

TEST_P(ClockConformanceTest, TimersTickUntilStoppedEvenFromTheirOwnTick) {
  int ticks = 0, stopped = 0, started_in_tick = 0;
  Clock::TimerId id = 0;
  id = clock_->StartTimer(milliseconds(10), [&] {
    if (++ticks == 3) {
      clock_->StopTimer(id);
      clock_->StartTimer(milliseconds(10), [&] { ++started_in_tick; });
    }
  });
  const Clock::TimerId never = clock_->StartTimer(milliseconds(10), [&] { ++stopped; });
  EXPECT_NE(never, id);
  clock_->StopTimer(never);
  clock_->StopTimer(never);          // already stopped
  clock_->StopTimer(never + 12345);  // unknown
  pass_(milliseconds(400));
  EXPECT_EQ(ticks, 3);
  EXPECT_EQ(stopped, 0);
  EXPECT_GE(started_in_tick, 1);
}

TEST_P(ClockConformanceTest, TheTimeMovesWithTheTimePassed) {
  const TimePoint before = clock_->Now();
  EXPECT_GE(before, EarliestClockTime());
  EXPECT_LE(before, LatestClockTime());
  pass_(milliseconds(60));
  EXPECT_GE(clock_->Now() - before, milliseconds(60));
  EXPECT_LT(clock_->Now() - before, std::chrono::seconds(30));
}

INSTANTIATE_TEST_SUITE_P(Backends, ClockConformanceTest, testing::ValuesIn(kBackends),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qnmuro
