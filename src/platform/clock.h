// Clock and timers. The add-in reads the local time for log lines, backups and the save
// reminder, and runs one repeating timer (the reminder). Production uses the system clock;
// tests and scripts use a virtual clock that only moves when told to, firing due timers.
#ifndef QNMURO_PLATFORM_CLOCK_H_
#define QNMURO_PLATFORM_CLOCK_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace qnmuro {

// A broken-down local time.
struct LocalTime {
  int year = 1970;
  int month = 1;  // 1-12
  int day = 1;    // 1-31
  int hour = 0;   // 0-23
  int minute = 0;
  int second = 0;
};

using TimePoint = std::chrono::system_clock::time_point;

// The years a clock shows. A TimePoint counts nanoseconds in 64 bits and ends in April 2262;
// keeping every time in local years 1970 to 2261 leaves room for timer intervals, and any two
// such times are less apart than a TimePoint difference can hold.
inline constexpr int kFirstClockYear = 1970;
inline constexpr int kLastClockYear = 2261;
// 1970-01-01T00:00:00 and 2261-12-31T23:59:59, local time: the edges of that range.
TimePoint EarliestClockTime();
TimePoint LatestClockTime();

LocalTime ToLocalTime(TimePoint t);
// Fields outside their calendar range (month 1-12, day 1-31, hour 0-23, minute and second
// 0-59) are first brought to the nearest value in it; a time before or after the clock's
// years gives EarliestClockTime() or LatestClockTime(), so that no date a file or a user
// gives can overflow a TimePoint.
TimePoint FromLocalTime(const LocalTime& t);

// "yyyy-mm-dd hh:nn:ss", zero-padded.
std::u16string FormatTimestamp(const LocalTime& t);
// "yyyymmddhhnnss", 14 digits.
std::u16string FormatCompactTimestamp(const LocalTime& t);

class Clock {
 public:
  using TimerId = uint64_t;

  virtual ~Clock() = default;

  virtual TimePoint Now() = 0;
  LocalTime NowLocal() { return ToLocalTime(Now()); }

  // Starts a repeating timer that calls `tick` every `interval` on the host's thread until
  // stopped. `tick` may start or stop timers, including its own.
  virtual TimerId StartTimer(std::chrono::milliseconds interval, std::function<void()> tick) = 0;
  // Stops a timer; unknown or already stopped ids are ignored.
  virtual void StopTimer(TimerId id) = 0;
};

// The system clock. Its timers fire when the owner's event loop calls RunDueTimers().
class SystemClock : public Clock {
 public:
  virtual void RunDueTimers() = 0;
};
std::unique_ptr<SystemClock> NewSystemClock();

// A clock that stands still until Advance() moves it; Advance fires every due timer in time
// order (timers due at the same time in the order they were started), each as often as it
// fell due, with the clock showing the tick's due time. The clock never goes past
// LatestClockTime(): an Advance beyond it stops there, and a timer due after it does not tick
// unless the clock is set back.
class VirtualClock : public Clock {
 public:
  // Sets the time, as a user resetting the system clock would: no timer fires, and every
  // running timer keeps the time it had left until its next tick. A time outside the clock's
  // years is taken as the nearest edge.
  virtual void Set(TimePoint t) = 0;
  virtual void Advance(std::chrono::milliseconds by) = 0;
};
std::unique_ptr<VirtualClock> NewVirtualClock(TimePoint start);

}  // namespace qnmuro

#endif  // QNMURO_PLATFORM_CLOCK_H_
