// The save reminder: the hidden `Timer` form. Its timer `TimerNotice` ticks once a minute and
// counts in `iTime` the minutes since the form was loaded or since the last save; every 60
// minutes without a save it shows a reminder box. One instance per loaded add-in, owned by
// the add-in and created when the first workflow document opens.
#ifndef QNMURO_ADDIN_SAVE_REMINDER_H_
#define QNMURO_ADDIN_SAVE_REMINDER_H_

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/clock.h"

namespace qnmuro {

class UiService;

inline constexpr std::chrono::milliseconds kReminderInterval{60000};
inline constexpr char16_t kReminderTitle[] = u"青禾办公系统提示";

// The reminder box's text for the local time `now`.
std::u16string ReminderText(const LocalTime& now);

class Timer {
 public:
  // Both services must outlive the form; either may be null (then nothing ticks or shows).
  Timer(Clock* clock, UiService* ui);
  // Unloads: the timer stops.
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  // Loading the form: iTime = 0 and the timer running.
  void Load();
  // Unloading the form: the timer stops.
  void Unload();

  // The timer's enabled state. Enabling a running timer changes nothing.
  void SetTimerEnabled(bool enabled);
  bool TimerEnabled() const { return timer_id_ != 0; }

  // One tick: one more minute without a save; at every multiple of 60 the reminder box.
  // Never throws (the clock calls it from the host's event loop).
  void TimerNotice_Timer() noexcept;
  // Work of the add-in's own done at every tick, before the reminder; its failures are ignored.
  void SetTickWork(std::function<void()> work) { tick_work_ = std::move(work); }

  // Minutes without a save. Wide enough never to overflow in practice, so the reminder keeps
  // coming every hour however long the document stays unsaved.
  int64_t iTime = 0;

 private:
  Clock* clock_;
  UiService* ui_;
  Clock::TimerId timer_id_ = 0;
  std::function<void()> tick_work_;
};

}  // namespace qnmuro

#endif  // QNMURO_ADDIN_SAVE_REMINDER_H_
