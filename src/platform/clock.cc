#include "platform/clock.h"

#include <algorithm>
#include <ctime>
#include <limits>
#include <map>

#include "base/text.h"
#include "platform/local_time.h"

namespace qnmuro {
namespace {

std::string Two(int v) {
  return (v < 10 ? "0" : "") + std::to_string(v);
}

// `t`'s fields must be in their calendar ranges and its year within the clock's years, so
// that the seconds fit a TimePoint.
TimePoint LocalToTimePoint(const LocalTime& t) {
  std::tm tm{};
  tm.tm_year = t.year - 1900;
  tm.tm_mon = t.month - 1;
  tm.tm_mday = t.day;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = t.second;
  tm.tm_isdst = -1;
  return TimePoint(std::chrono::seconds(MakeLocalSeconds(&tm)));
}

// The time `by` after `t` (within the clock's range), stopping at the clock's last time.
// Compared in milliseconds, so that a huge `by` cannot overflow the TimePoint's count.
TimePoint LaterOrLast(TimePoint t, std::chrono::milliseconds by) {
  const auto room = std::chrono::duration_cast<std::chrono::milliseconds>(LatestClockTime() - t);
  return by >= room ? LatestClockTime() : t + by;
}

TimePoint IntoRange(TimePoint t) {
  return std::clamp(t, EarliestClockTime(), LatestClockTime());
}

// Due times are kept as TimePoint counts with saturating arithmetic: a timer whose next tick
// falls beyond what a TimePoint can hold waits at the largest count and never fires, while one
// that is merely beyond the clock's last time keeps its remaining time if the clock is set
// back.
using Ticks = TimePoint::duration::rep;
constexpr Ticks kMaxTicks = std::numeric_limits<Ticks>::max();
constexpr Ticks kMinTicks = std::numeric_limits<Ticks>::min();

Ticks AddTicks(Ticks a, Ticks b) {
  Ticks r;
  if (__builtin_add_overflow(a, b, &r)) return b > 0 ? kMaxTicks : kMinTicks;
  return r;
}

Ticks SubTicks(Ticks a, Ticks b) {
  Ticks r;
  if (__builtin_sub_overflow(a, b, &r)) return b < 0 ? kMaxTicks : kMinTicks;
  return r;
}

Ticks TicksOf(std::chrono::milliseconds d) {
  constexpr Ticks kPerMs =
      std::chrono::duration_cast<TimePoint::duration>(std::chrono::milliseconds(1)).count();
  Ticks r;
  if (__builtin_mul_overflow(static_cast<Ticks>(d.count()), kPerMs, &r)) {
    return d.count() > 0 ? kMaxTicks : kMinTicks;
  }
  return r;
}

Ticks TicksOf(TimePoint t) {
  return t.time_since_epoch().count();
}

struct Timer {
  Ticks interval;
  Ticks due;
  std::function<void()> tick;
};

// Timer bookkeeping shared by both clocks.
class TimerTable {
 public:
  Clock::TimerId Start(TimePoint now, std::chrono::milliseconds interval,
                       std::function<void()> tick) {
    if (interval.count() <= 0) interval = std::chrono::milliseconds(1);
    const Clock::TimerId id = next_id_++;
    timers_[id] =
        Timer{TicksOf(interval), AddTicks(TicksOf(now), TicksOf(interval)), std::move(tick)};
    return id;
  }
  void Stop(Clock::TimerId id) { timers_.erase(id); }
  // Moves every due time from `from` to `to`, keeping what is left of each timer.
  void Shift(TimePoint from, TimePoint to) {
    for (auto& [id, timer] : timers_) {
      timer.due = AddTicks(TicksOf(to), SubTicks(timer.due, TicksOf(from)));
    }
  }

  // Fires the earliest timer due at or before `until`, telling `set_now` its due time first;
  // false when none is due.
  template <class SetNow>
  bool FireOne(TimePoint until, SetNow&& set_now) {
    const Ticks last = TicksOf(until);
    auto best = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
      if (it->second.due <= last && (best == timers_.end() || it->second.due < best->second.due))
        best = it;
    }
    if (best == timers_.end()) return false;
    set_now(TimePoint(TimePoint::duration(best->second.due)));
    best->second.due = AddTicks(best->second.due, best->second.interval);
    std::function<void()> tick = best->second.tick;  // the tick may stop its own timer
    tick();
    return true;
  }

 private:
  Clock::TimerId next_id_ = 1;
  std::map<Clock::TimerId, Timer> timers_;
};

class SystemClockImpl final : public SystemClock {
 public:
  TimePoint Now() override { return std::chrono::system_clock::now(); }
  TimerId StartTimer(std::chrono::milliseconds interval, std::function<void()> tick) override {
    return table_.Start(Now(), interval, std::move(tick));
  }
  void StopTimer(TimerId id) override { table_.Stop(id); }
  void RunDueTimers() override {
    while (table_.FireOne(Now(), [](TimePoint) {})) {
    }
  }

 private:
  TimerTable table_;
};

class VirtualClockImpl final : public VirtualClock {
 public:
  explicit VirtualClockImpl(TimePoint start) : now_(IntoRange(start)) {}
  TimePoint Now() override { return now_; }
  TimerId StartTimer(std::chrono::milliseconds interval, std::function<void()> tick) override {
    return table_.Start(now_, interval, std::move(tick));
  }
  void StopTimer(TimerId id) override { table_.Stop(id); }
  void Set(TimePoint t) override {
    t = IntoRange(t);
    table_.Shift(now_, t);
    now_ = t;
  }
  void Advance(std::chrono::milliseconds by) override {
    if (by.count() < 0) by = std::chrono::milliseconds(0);
    const TimePoint until = LaterOrLast(now_, by);
    // Each tick sees the clock at its own due time.
    while (table_.FireOne(until, [this](TimePoint t) { now_ = t; })) {
    }
    now_ = until;
  }

 private:
  TimePoint now_;
  TimerTable table_;
};

}  // namespace

LocalTime ToLocalTime(TimePoint t) {
  const int64_t seconds =
      std::chrono::duration_cast<std::chrono::seconds>(t.time_since_epoch()).count();
  std::tm tm{};
  LocalTimeOfSeconds(seconds, &tm);
  return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

TimePoint EarliestClockTime() {
  static const TimePoint t = LocalToTimePoint({kFirstClockYear, 1, 1, 0, 0, 0});
  return t;
}

TimePoint LatestClockTime() {
  static const TimePoint t = LocalToTimePoint({kLastClockYear, 12, 31, 23, 59, 59});
  return t;
}

TimePoint FromLocalTime(const LocalTime& t) {
  // Checked before any arithmetic: a year read from a file may be anything an int holds.
  if (t.year < kFirstClockYear) return EarliestClockTime();
  if (t.year > kLastClockYear) return LatestClockTime();
  LocalTime in = t;
  in.month = std::clamp(t.month, 1, 12);
  in.day = std::clamp(t.day, 1, 31);
  in.hour = std::clamp(t.hour, 0, 23);
  in.minute = std::clamp(t.minute, 0, 59);
  in.second = std::clamp(t.second, 0, 59);
  return IntoRange(LocalToTimePoint(in));
}

std::u16string FormatTimestamp(const LocalTime& t) {
  return Utf8ToUtf16(std::to_string(t.year) + "-" + Two(t.month) + "-" + Two(t.day) + " " +
                     Two(t.hour) + ":" + Two(t.minute) + ":" + Two(t.second));
}

std::u16string FormatCompactTimestamp(const LocalTime& t) {
  return Utf8ToUtf16(std::to_string(t.year) + Two(t.month) + Two(t.day) + Two(t.hour) +
                     Two(t.minute) + Two(t.second));
}

std::unique_ptr<SystemClock> NewSystemClock() {
  return std::make_unique<SystemClockImpl>();
}

std::unique_ptr<VirtualClock> NewVirtualClock(TimePoint start) {
  return std::make_unique<VirtualClockImpl>(start);
}

}  // namespace qnmuro
