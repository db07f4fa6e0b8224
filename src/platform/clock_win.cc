// The system clock on Windows: its timers are WM_TIMER messages of a message-only window, so
// they tick on the UI thread whenever the host's message loop runs, as a form's timer does.
#include <windows.h>

#include <time.h>

#include <functional>
#include <map>
#include <memory>

#include "platform/clock.h"
#include "platform/local_time.h"
#include "platform/services_win.h"

namespace qnmuro {

int64_t MakeLocalSeconds(std::tm* tm) {
  return static_cast<int64_t>(_mktime64(tm));
}

bool LocalTimeOfSeconds(int64_t seconds, std::tm* out) {
  const __time64_t t = seconds;
  return _localtime64_s(out, &t) == 0;
}

namespace {

constexpr wchar_t kTimerClass[] = L"QNMuroTimer";

class WindowsClock final : public SystemClock {
 public:
  WindowsClock() {
    static const ATOM registered = [] {
      WNDCLASSW wc{};
      wc.lpfnWndProc = Proc;
      wc.hInstance = GetModuleHandleW(nullptr);
      wc.lpszClassName = kTimerClass;
      return RegisterClassW(&wc);
    }();
    (void)registered;
    window_ = CreateWindowExW(0, kTimerClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~WindowsClock() override {
    for (const auto& [id, tick] : ticks_) KillTimer(window_, id);
    if (window_ != nullptr) DestroyWindow(window_);
  }

  TimePoint Now() override { return std::chrono::system_clock::now(); }

  TimerId StartTimer(std::chrono::milliseconds interval, std::function<void()> tick) override {
    const TimerId id = next_id_++;
    const auto ms = static_cast<UINT>(interval.count() > 0 ? interval.count() : 1);
    if (SetTimer(window_, static_cast<UINT_PTR>(id), ms, nullptr) == 0) return id;
    ticks_[id] = std::make_shared<std::function<void()>>(std::move(tick));
    return id;
  }

  void StopTimer(TimerId id) override {
    if (ticks_.erase(id) > 0) KillTimer(window_, static_cast<UINT_PTR>(id));
  }

  // Delivers the ticks already due when the owner runs no message loop of its own.
  void RunDueTimers() override {
    MSG msg;
    while (PeekMessageW(&msg, window_, WM_TIMER, WM_TIMER, PM_REMOVE)) DispatchMessageW(&msg);
  }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<WindowsClock*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_TIMER && self != nullptr) {
      const auto found = self->ticks_.find(static_cast<TimerId>(wparam));
      if (found == self->ticks_.end()) return 0;
      // Held while it runs: the tick may stop its own timer.
      const std::shared_ptr<std::function<void()>> tick = found->second;
      try {
        (*tick)();
      } catch (...) {
        // Nothing may unwind into the message loop; a tick traps its own failures.
      }
      return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
  }

  HWND window_ = nullptr;
  TimerId next_id_ = 1;
  std::map<TimerId, std::shared_ptr<std::function<void()>>> ticks_;
};

}  // namespace

std::unique_ptr<SystemClock> NewWindowsClock() {
  return std::make_unique<WindowsClock>();
}

}  // namespace qnmuro
