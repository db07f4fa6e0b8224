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

LocalTime ToLocalTime(TimePoint t);
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
// Windows: timers tick as WM_TIMER messages of a message-only window (clock_win.cc).
std::unique_ptr<SystemClock> NewWindowsClock();

// A clock that stands still until Advance() moves it; Advance fires every due timer in time
// order (timers due at the same time in the order they were started), each as often as it
// fell due, with the clock showing the tick's due time.
class VirtualClock : public Clock {
 public:
  // Sets the time, as a user resetting the system clock would: no timer fires, and every
  // running timer keeps the time it had left until its next tick.
  virtual void Set(TimePoint t) = 0;
  virtual void Advance(std::chrono::milliseconds by) = 0;
};
std::unique_ptr<VirtualClock> NewVirtualClock(TimePoint start);

}  // namespace qnmuro

#endif  // QNMURO_PLATFORM_CLOCK_H_
