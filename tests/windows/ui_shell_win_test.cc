// The Win32 form windows and the shell services, driven as a user would: a helper thread finds
// the window, fills it in and presses its buttons. Message and input boxes are in
// platform/ui_conformance_test.cc.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "base/text.h"
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
