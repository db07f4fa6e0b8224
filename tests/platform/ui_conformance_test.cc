// What every UI backend hands back for what its user did: the pressed button of a message box,
// and the typed text of an input box or nothing when it was cancelled. Each backend has its own
// user: lines typed at the terminal, queued answers, a thread at a real window's controls.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/ui.h"
#ifdef _WIN32
#include <windows.h>

#include <thread>

#include "platform/services_win.h"
#endif

namespace qnmuro {
namespace {

// One thing the user does to the next box: press a button, or type text and confirm (no text:
// cancel the input box).
struct Act {
  std::optional<MsgAnswer> press;
  std::optional<std::u16string> type;
};

// A UI with its user, who does `acts` in order.
struct Session {
  std::shared_ptr<void> user;  // first in, last out: outlives the UI
  std::unique_ptr<UiService> ui;
};

struct Backend {
  const char* name;
  std::function<Session(const std::vector<Act>& acts)> open;
};

void PrintTo(const Backend& b, std::ostream* os) {
  *os << b.name;
}

Session Terminal(const std::vector<Act>& acts) {
  struct Streams {
    std::istringstream in;
    std::ostringstream out;
  };
  auto streams = std::make_shared<Streams>();
  std::string typed;
  for (const Act& a : acts) {
    if (a.press) typed += std::string(ToString(*a.press)) + "\n";
    if (a.type) typed += U8(*a.type) + "\n";
  }
  streams->in.str(typed);  // a cancelled input box is the end of input
  TerminalUiOptions options;
  options.in = &streams->in;
  options.out = &streams->out;
  options.interactive = true;
  return {streams, NewTerminalUi(options)};
}

Session Scripted(const std::vector<Act>& acts) {
  auto ui = std::make_unique<ScriptedUi>();
  for (const Act& a : acts) {
    if (a.press) ui->QueueAnswer(*a.press);
    if (!a.press) ui->QueueInput(a.type);
  }
  return {nullptr, std::move(ui)};
}

#ifdef _WIN32
// A thread that waits (up to 10 s) for each box titled "QNSoft", acts on it and waits for it
// to close, while the test's thread sits in the box's modal loop.
Session Windows(const std::vector<Act>& acts) {
  auto user = std::shared_ptr<std::thread>(
      new std::thread([acts] {
        for (const Act& a : acts) {
          HWND box = nullptr;
          for (int i = 0; i < 1000 && (box == nullptr || !IsWindowVisible(box)); ++i) {
            Sleep(10);
            box = FindWindowW(nullptr, L"QNSoft");
          }
          if (box == nullptr) return;
          int id = IDCANCEL;
          if (a.press == MsgAnswer::kYes) id = IDYES;
          if (a.press == MsgAnswer::kNo) id = IDNO;
          if (a.press == MsgAnswer::kOk) id = IDOK;
          if (!a.press && a.type) {
            const std::wstring text(a.type->begin(), a.type->end());
            SendMessageW(FindWindowExW(box, nullptr, L"EDIT", nullptr), WM_SETTEXT, 0,
                         reinterpret_cast<LPARAM>(text.c_str()));
            id = IDOK;
          }
          PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
          for (int i = 0; i < 1000 && IsWindow(box); ++i) Sleep(10);
        }
      }),
      [](std::thread* t) {
        t->join();
        delete t;
      });
  return {user, NewWindowsUi()};
}
#endif

const Backend kBackends[] = {
    {"Terminal", Terminal},
    {"Scripted", Scripted},
#ifdef _WIN32
    {"Windows", Windows},
#endif
};

class UiConformanceTest : public testing::TestWithParam<Backend> {};

TEST_P(UiConformanceTest, AMessageBoxAnswersWithThePressedButton) {
  const Session s = GetParam().open({{MsgAnswer::kNo, {}}, {MsgAnswer::kCancel, {}}});
  EXPECT_EQ(s.ui->ShowMessage(u"文档已经一个小时没有保存了", MsgButtons::kYesNo, MsgIcon::kQuestion,
                              u"QNSoft"),
            MsgAnswer::kNo);
  EXPECT_EQ(s.ui->ShowMessage(u"保存吗？", MsgButtons::kYesNoCancel, MsgIcon::kQuestion, u"QNSoft"),
            MsgAnswer::kCancel);
}

TEST_P(UiConformanceTest, AnInputBoxReturnsTheTypedTextOrNothingWhenCancelled) {
  const Session s = GetParam().open({{{}, u"密码123"}, {{}, std::nullopt}});
  EXPECT_EQ(s.ui->AskText(u"请输入：", u"QNSoft", u""), u"密码123");
  EXPECT_EQ(s.ui->AskText(u"请输入：", u"QNSoft", u"x"), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Backends, UiConformanceTest, testing::ValuesIn(kBackends),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qnmuro
