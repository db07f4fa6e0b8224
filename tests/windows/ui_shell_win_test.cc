// The Win32 UI, the message-window timer and the shell services, driven as a user would: a
// helper thread finds the window, fills it in and presses its buttons.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "base/text.h"
#include "platform/clock.h"
#include "platform/form.h"
#include "platform/services_win.h"
#include "platform/shell.h"
#include "platform/ui.h"
#include "support/temp_dir.h"

namespace qnmuro {
namespace {

// Waits (up to 10 s) for a visible top-level window of this process with that title and runs
// `act` on it from another thread while the test's thread sits in the modal loop.
class User {
 public:
  User(std::u16string title, std::function<void(HWND)> act)
      : thread_([title = std::move(title), act = std::move(act)] {
          for (int i = 0; i < 1000; ++i) {
            HWND window = FindWindowW(nullptr, reinterpret_cast<const wchar_t*>(title.c_str()));
            if (window != nullptr && IsWindowVisible(window)) {
              act(window);
              return;
            }
            Sleep(10);
          }
        }) {}
  ~User() { thread_.join(); }

 private:
  std::thread thread_;
};

HWND Child(HWND window, const wchar_t* window_class, int index = 0) {
  HWND child = nullptr;
  for (int i = 0; i <= index; ++i) child = FindWindowExW(window, child, window_class, nullptr);
  return child;
}

void Press(HWND window, int id) {
  PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

TEST(WindowsUiTest, InputBoxReturnsTheTypedTextOrNothingWhenCancelled) {
  const auto ui = NewWindowsUi();
  {
    User user(u"QNSoft", [](HWND box) {
      SendMessageW(Child(box, L"EDIT"), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"密码123"));
      Press(box, IDOK);
    });
    EXPECT_EQ(ui->AskText(u"请输入：", u"QNSoft", u""), u"密码123");
  }
  {
    User user(u"QNSoft", [](HWND box) { Press(box, IDCANCEL); });
    EXPECT_EQ(ui->AskText(u"请输入：", u"QNSoft", u"x"), std::nullopt);
  }
}

TEST(WindowsUiTest, MessageBoxAnswersWithThePressedButton) {
  const auto ui = NewWindowsUi();
  User user(u"青禾办公系统提示", [](HWND box) { Press(box, IDNO); });
  EXPECT_EQ(ui->ShowMessage(u"文档已经一个小时没有保存了", MsgButtons::kYesNo, MsgIcon::kQuestion,
                            u"青禾办公系统提示"),
            MsgAnswer::kNo);
}

TEST(WindowsUiTest, FormControlsFollowTheModelAndItsHandlers) {
  const auto ui = NewWindowsUi();
  Form form(u"选择印章");
  FormControl& list = form.AddListBox(u"seals");
  FormControl& label = form.AddLabel(u"picked", u"");
  form.AddButton(u"ok", kOkCaption).OnClick([&] { form.Hide(); });
  form.OnLoad([&] {
    list.AddItem(u"公章");
    list.AddItem(u"合同章");
  });
  list.OnChange([&] { label.SetCaption(list.Text()); });
  User user(u"选择印章", [](HWND window) {
    HWND list_box = Child(window, L"LISTBOX");
    SendMessageW(list_box, LB_SETCURSEL, 1, 0);
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(100, LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list_box));
    // The label shows the handler's text once the form has refreshed (the test checks it).
    wchar_t text[32] = {};
    for (int i = 0; i < 500 && std::wstring(text) != L"合同章"; ++i) {
      Sleep(10);
      GetWindowTextW(Child(window, L"STATIC"), text, 32);
    }
    Press(window, 102);
  });
  ui->ShowForm(form);
  EXPECT_FALSE(form.visible());
  EXPECT_EQ(list.ListIndex(), 1);
  EXPECT_EQ(label.caption(), u"合同章");
}

TEST(WindowsClockTest, TimersTickThroughTheMessageLoopUntilStopped) {
  const auto clock = NewWindowsClock();
  int ticks = 0;
  Clock::TimerId id = 0;
  id = clock->StartTimer(std::chrono::milliseconds(10), [&] {
    if (++ticks == 3) clock->StopTimer(id);
  });
  const DWORD until = GetTickCount() + 3000;
  while (GetTickCount() < until) {
    clock->RunDueTimers();
    Sleep(5);
  }
  EXPECT_EQ(ticks, 3);
}

TEST(WindowsShellTest, ProcessesAreListedAndEndedButNeverTheHost) {
  const auto shell = NewWindowsShellService();
  std::vector<ProcessEntry> processes;
  ASSERT_TRUE(shell->ListProcesses(&processes));
  bool self = false;
  for (const ProcessEntry& p : processes) {
    self = self || (p.pid == GetCurrentProcessId() && p.exeName == u"qnmuro_tests.exe");
  }
  EXPECT_TRUE(self);
  EXPECT_FALSE(shell->EndProcess(GetCurrentProcessId()));
  EXPECT_FALSE(shell->EndProcess(0));

  // A program of its own (no shell in between whose child would outlive it), without this
  // process's standard handles.
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  PROCESS_INFORMATION child{};
  wchar_t command[] = L"ping.exe -n 30 127.0.0.1";
  ASSERT_TRUE(CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                             nullptr, &startup, &child));
  EXPECT_TRUE(shell->EndProcess(child.dwProcessId));
  EXPECT_EQ(WaitForSingleObject(child.hProcess, 5000), WAIT_OBJECT_0);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
}

TEST(WindowsShellTest, MissingFilesGiveTheShellCodes) {
  test_util::TempDir dir;
  const auto shell = NewWindowsShellService();
  std::u16string program;
  EXPECT_EQ(shell->OpenDocument(FromPath(dir / "absent.doc"), FromPath(dir.path())),
            kShellFileNotFound);
  EXPECT_LE(shell->FindProgram(u"absent.doc", FromPath(dir.path()), &program), 32);
  EXPECT_TRUE(program.empty());
}

}  // namespace
}  // namespace qnmuro
