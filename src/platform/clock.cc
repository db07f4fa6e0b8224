#include "platform/clock.h"

#include <ctime>
#include <map>

#include "base/text.h"

namespace qnmuro {
namespace {

std::string Two(int v) {
  return (v < 10 ? "0" : "") + std::to_string(v);
}

struct Timer {
  std::chrono::milliseconds interval;
  TimePoint due;
  std::function<void()> tick;
};

// Timer bookkeeping shared by both clocks.
class TimerTable {
 public:
  Clock::TimerId Start(TimePoint now, std::chrono::milliseconds interval,
                       std::function<void()> tick) {
    if (interval.count() <= 0) interval = std::chrono::milliseconds(1);
    const Clock::TimerId id = next_id_++;
    timers_[id] = Timer{interval, now + interval, std::move(tick)};
    return id;
  }
  void Stop(Clock::TimerId id) { timers_.erase(id); }
  // Moves every due time by the same amount.
  void Shift(std::chrono::system_clock::duration by) {
    for (auto& [id, timer] : timers_) timer.due += by;
  }

  // Fires the earliest timer due at or before `until`, telling `set_now` its due time first;
  // false when none is due.
  template <class SetNow>
  bool FireOne(TimePoint until, SetNow&& set_now) {
    auto best = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
      if (it->second.due <= until && (best == timers_.end() || it->second.due < best->second.due))
        best = it;
    }
    if (best == timers_.end()) return false;
    set_now(best->second.due);
    best->second.due += best->second.interval;
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
  explicit VirtualClockImpl(TimePoint start) : now_(start) {}
  TimePoint Now() override { return now_; }
  TimerId StartTimer(std::chrono::milliseconds interval, std::function<void()> tick) override {
    return table_.Start(now_, interval, std::move(tick));
  }
  void StopTimer(TimerId id) override { table_.Stop(id); }
  void Set(TimePoint t) override {
    table_.Shift(t - now_);
    now_ = t;
  }
  void Advance(std::chrono::milliseconds by) override {
    const TimePoint until = now_ + by;
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
  const std::time_t tt = std::chrono::system_clock::to_time_t(t);
  std::tm tm{};
  localtime_r(&tt, &tm);
  return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

TimePoint FromLocalTime(const LocalTime& t) {
  std::tm tm{};
  tm.tm_year = t.year - 1900;
  tm.tm_mon = t.month - 1;
  tm.tm_mday = t.day;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = t.second;
  tm.tm_isdst = -1;
  return std::chrono::system_clock::from_time_t(std::mktime(&tm));
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
