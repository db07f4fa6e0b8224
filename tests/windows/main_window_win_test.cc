// The word processor's main window brought to the front by real windows of this process: the
// search goes down the Z order from the foreground window, and the window found moves to the
// screen's top left corner with its size, in front and with the focus.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "platform/services_win.h"
#include "platform/shell.h"

namespace qnmuro {
namespace {

HWND MakeWindow(const wchar_t* window_class, DWORD ex_style, RECT at) {
  WNDCLASSW info{};
  info.lpfnWndProc = DefWindowProcW;
  info.hInstance = GetModuleHandleW(nullptr);
  info.lpszClassName = window_class;
  RegisterClassW(&info);
  return CreateWindowExW(ex_style, window_class, window_class, WS_OVERLAPPEDWINDOW, at.left, at.top,
                         at.right - at.left, at.bottom - at.top, nullptr, nullptr, info.hInstance,
                         nullptr);
}

// Left, top, right, bottom on the screen.
std::vector<long> PlaceOf(HWND window) {
  RECT at{};
  GetWindowRect(window, &at);
  return {at.left, at.top, at.right, at.bottom};
}

TEST(MainWindowTest, TheFirstMatchBelowTheForegroundWindowMovesToTheCornerWithTheFocus) {
  // Z order: a matching window kept on top of everything, the foreground window, then the
  // main window.
  HWND main = MakeWindow(L"QNTestWPSMain", 0, {100, 120, 420, 360});
  ShowWindow(main, SW_SHOWNORMAL);
  HWND front = MakeWindow(L"QNTestViewer", 0, {50, 50, 250, 250});
  ShowWindow(front, SW_SHOWNORMAL);
  SetForegroundWindow(front);
  HWND above = MakeWindow(L"QNTestWPSMainPalette", WS_EX_TOPMOST, {500, 400, 700, 500});
  ShowWindow(above, SW_SHOWNOACTIVATE);
  ASSERT_EQ(GetForegroundWindow(), front);

  const auto shell = NewWindowsShellService();
  EXPECT_TRUE(shell->BringMainWindowToFront(u"WPSMain"));
  EXPECT_EQ(PlaceOf(main), (std::vector<long>{0, 0, 320, 240}));
  EXPECT_EQ(GetForegroundWindow(), main);
  EXPECT_EQ(GetFocus(), main);
  EXPECT_EQ(PlaceOf(above), (std::vector<long>{500, 400, 700, 500}));

  EXPECT_FALSE(shell->BringMainWindowToFront(u"NoSuchWindowClass"));
  for (HWND window : {main, front, above}) DestroyWindow(window);
}

}  // namespace
}  // namespace qnmuro
