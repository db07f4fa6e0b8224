#include "addin/save_reminder.h"

#include "base/error.h"
#include "base/text.h"
#include "platform/ui.h"

namespace qnmuro {
namespace {

// Hours and minutes: 0 to 59.
void AppendTwoDigits(std::u16string& out, int value) {
  out.push_back(static_cast<char16_t>(u'0' + value / 10 % 10));
  out.push_back(static_cast<char16_t>(u'0' + value % 10));
}

}  // namespace

std::u16string ReminderText(const LocalTime& now) {
  const int hour_before = (now.hour + 23) % 24;
  std::u16string text = u"您正在编辑的WPS文件从";
  text += ToText(hour_before);
  text += u"点";
  text += ToText(now.minute);
  text += u"分开始还未存盘，请及时执行保存操作。\r\n\r\n提示时间：";
  AppendTwoDigits(text, now.hour);
  text += u"点";
  AppendTwoDigits(text, now.minute);
  text += u"分。";
  return text;
}

Timer::Timer(Clock* clock, UiService* ui) : clock_(clock), ui_(ui) {}

Timer::~Timer() {
  Unload();
}

void Timer::Load() {
  iTime = 0;
  SetTimerEnabled(true);
}

void Timer::Unload() {
  SetTimerEnabled(false);
}

void Timer::SetTimerEnabled(bool enabled) {
  if (clock_ == nullptr) return;
  if (enabled && timer_id_ == 0) {
    timer_id_ = clock_->StartTimer(kReminderInterval, [this] { TimerNotice_Timer(); });
  } else if (!enabled && timer_id_ != 0) {
    clock_->StopTimer(timer_id_);
    timer_id_ = 0;
  }
}

void Timer::TimerNotice_Timer() noexcept {
  ++iTime;
  if (tick_work_) IgnoreFailure(tick_work_);
  if (iTime % 60 != 0 || ui_ == nullptr || clock_ == nullptr) return;
  IgnoreFailure([&] {
    ui_->ShowMessage(ReminderText(clock_->NowLocal()), MsgButtons::kOk, MsgIcon::kInformation,
                     kReminderTitle);
  });
}

}  // namespace qnmuro
