// The Win32 user interface: message boxes, the text input box, the file-open dialog, the
// mouse cursor and modal forms, each a real window on the host's UI thread.
#include <windows.h>
// After windows.h, whose types it uses.
#include <commdlg.h>

#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "platform/form.h"
#include "platform/services_win.h"
#include "platform/ui.h"

namespace qnmuro {
namespace {

constexpr wchar_t kWindowClass[] = L"QNMuroModal";
constexpr int kWidth = 360;
constexpr int kMargin = 10;
constexpr int kRow = 24;

const wchar_t* W(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

std::u16string TextOf(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  GetWindowTextW(window, text.data(), length + 1);
  text.resize(static_cast<size_t>(length));
  return std::u16string(text.begin(), text.end());
}

// A modal window whose controls are laid out from the top, one row each; WM_COMMAND goes to
// `on_command` and closing the window to `on_close`. Handlers must not throw: a failure is
// kept and rethrown by Run() once the window is gone.
class ModalWindow {
 public:
  ModalWindow(const std::u16string& title, int rows) {
    static const ATOM registered = [] {
      WNDCLASSW wc{};
      wc.lpfnWndProc = Proc;
      wc.hInstance = GetModuleHandleW(nullptr);
      wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
      wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
      wc.lpszClassName = kWindowClass;
      return RegisterClassW(&wc);
    }();
    (void)registered;
    owner_ = GetActiveWindow();
    const int height = kMargin * 2 + rows * (kRow + 6) + GetSystemMetrics(SM_CYCAPTION) + 8;
    window_ = CreateWindowExW(WS_EX_DLGMODALFRAME, kWindowClass, W(title),
                              WS_POPUP | WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT, CW_USEDEFAULT,
                              kWidth + 2 * kMargin, height, owner_, nullptr,
                              GetModuleHandleW(nullptr), this);
  }
  ~ModalWindow() {
    if (owner_ != nullptr) EnableWindow(owner_, TRUE);
    if (window_ != nullptr) DestroyWindow(window_);
  }
  ModalWindow(const ModalWindow&) = delete;
  ModalWindow& operator=(const ModalWindow&) = delete;

  // Adds a control of a window class on the next row; `id` identifies it in WM_COMMAND.
  HWND Add(const wchar_t* window_class, const std::u16string& text, DWORD style, int id,
           int height = kRow) {
    HWND control =
        CreateWindowExW(0, window_class, W(text), WS_CHILD | WS_VISIBLE | style, kMargin, next_y_,
                        kWidth, height, window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                        GetModuleHandleW(nullptr), nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                 TRUE);
    next_y_ += (height > kRow ? height : kRow) + 6;
    return control;
  }

  std::function<void(int id, int code)> on_command;
  std::function<void()> on_close;

  // Shows the window and pumps messages until Finish(); rethrows a handler's failure.
  void Run() {
    if (window_ == nullptr) return;
    if (owner_ != nullptr) EnableWindow(owner_, FALSE);
    ShowWindow(window_, SW_SHOW);
    MSG msg;
    while (!finished_ && GetMessageW(&msg, nullptr, 0, 0) > 0) {
      if (!IsDialogMessageW(window_, &msg)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    }
    if (failure_) std::rethrow_exception(failure_);
  }
  void Finish() { finished_ = true; }
  HWND window() const { return window_; }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
      const auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<ModalWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr && (message == WM_COMMAND || message == WM_CLOSE)) {
      try {
        if (message == WM_CLOSE && self->on_close) self->on_close();
        if (message == WM_COMMAND && self->on_command) {
          self->on_command(LOWORD(wparam), HIWORD(wparam));
        }
      } catch (...) {
        self->failure_ = std::current_exception();
        self->finished_ = true;
      }
      return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
  }

  HWND owner_ = nullptr;
  HWND window_ = nullptr;
  int next_y_ = kMargin;
  bool finished_ = false;
  std::exception_ptr failure_;
};

UINT ButtonFlags(MsgButtons buttons) {
  switch (buttons) {
    case MsgButtons::kOk:
      return MB_OK;
    case MsgButtons::kOkCancel:
      return MB_OKCANCEL;
    case MsgButtons::kYesNo:
      return MB_YESNO;
    case MsgButtons::kYesNoCancel:
      return MB_YESNOCANCEL;
  }
  return MB_OK;
}

UINT IconFlags(MsgIcon icon) {
  switch (icon) {
    case MsgIcon::kNone:
      return 0;
    case MsgIcon::kInformation:
      return MB_ICONINFORMATION;
    case MsgIcon::kQuestion:
      return MB_ICONQUESTION;
    case MsgIcon::kCritical:
      return MB_ICONERROR;
    case MsgIcon::kExclamation:
      return MB_ICONWARNING;
  }
  return 0;
}

// Shows the form's controls and keeps them equal to the model after every handler.
class FormWindow {
 public:
  explicit FormWindow(Form& form) : form_(form), window_(form.caption(), Rows(form)) {
    int id = 100;
    for (const auto& control : form.controls()) {
      HWND handle = nullptr;
      switch (control->kind()) {
        case FormControlKind::kLabel:
          handle = window_.Add(L"STATIC", control->caption(), 0, id);
          break;
        case FormControlKind::kComboBox:
          handle =
              window_.Add(L"COMBOBOX", u"", CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP, id, kRow * 6);
          break;
        case FormControlKind::kListBox:
          handle = window_.Add(L"LISTBOX", u"", LBS_NOTIFY | WS_BORDER | WS_VSCROLL | WS_TABSTOP,
                               id, kRow * 4);
          break;
        case FormControlKind::kButton:
          handle = window_.Add(L"BUTTON", control->caption(), BS_PUSHBUTTON | WS_TABSTOP, id);
          break;
      }
      handles_.push_back(handle);
      ++id;
    }
    window_.on_command = [this](int id, int code) { Command(id - 100, code); };
    window_.on_close = [this] { Cancel(); };
    Refresh();
  }

  void Run() {
    if (form_.visible()) window_.Run();
  }

 private:
  static int Rows(const Form& form) {
    int rows = 0;
    for (const auto& control : form.controls()) {
      rows += control->kind() == FormControlKind::kListBox ? 4 : 1;
    }
    return rows;
  }

  void Command(int index, int code) {
    if (index < 0 || index >= static_cast<int>(handles_.size()) || refreshing_) return;
    FormControl& control = *form_.controls()[static_cast<size_t>(index)];
    HWND handle = handles_[static_cast<size_t>(index)];
    if (control.kind() == FormControlKind::kButton && code == BN_CLICKED) {
      control.Click();
    } else if (control.kind() == FormControlKind::kListBox && code == LBN_SELCHANGE) {
      control.Select(static_cast<long>(SendMessageW(handle, LB_GETCURSEL, 0, 0)));
    } else if (control.kind() == FormControlKind::kComboBox &&
               (code == CBN_EDITCHANGE || code == CBN_SELCHANGE)) {
      const LRESULT picked = SendMessageW(handle, CB_GETCURSEL, 0, 0);
      control.SetText(code == CBN_SELCHANGE && picked >= 0
                          ? control.items()[static_cast<size_t>(picked)]
                          : TextOf(handle));
    } else {
      return;
    }
    if (!form_.visible()) {
      window_.Finish();
    } else {
      Refresh();
    }
  }

  // Closing the window is cancelling: the "取消" button's handler, or a plain hide.
  void Cancel() {
    if (FormControl* cancel = form_.FindButton(kCancelCaption)) cancel->Click();
    if (form_.visible()) form_.Hide();
    window_.Finish();
  }

  void Refresh() {
    refreshing_ = true;
    for (size_t i = 0; i < handles_.size(); ++i) {
      const FormControl& control = *form_.controls()[i];
      HWND handle = handles_[i];
      const bool list = control.kind() == FormControlKind::kListBox;
      if (control.kind() == FormControlKind::kLabel || control.kind() == FormControlKind::kButton) {
        SetWindowTextW(handle, W(control.caption()));
        continue;
      }
      SendMessageW(handle, list ? LB_RESETCONTENT : CB_RESETCONTENT, 0, 0);
      for (const std::u16string& item : control.items()) {
        SendMessageW(handle, list ? LB_ADDSTRING : CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(W(item)));
      }
      if (list) {
        SendMessageW(handle, LB_SETCURSEL, static_cast<WPARAM>(control.ListIndex()), 0);
      } else {
        SetWindowTextW(handle, W(control.Text()));
      }
    }
    refreshing_ = false;
  }

  Form& form_;
  ModalWindow window_;
  std::vector<HWND> handles_;
  bool refreshing_ = false;
};

class WindowsUi final : public UiService {
 public:
  MsgAnswer ShowMessage(std::u16string_view text, MsgButtons buttons, MsgIcon icon,
                        std::u16string_view title) override {
    const std::u16string caption(title.empty() ? std::u16string_view(kApplicationTitle) : title);
    const int pressed = MessageBoxW(GetActiveWindow(), W(std::u16string(text)), W(caption),
                                    ButtonFlags(buttons) | IconFlags(icon) | MB_TASKMODAL);
    switch (pressed) {
      case IDYES:
        return MsgAnswer::kYes;
      case IDNO:
        return MsgAnswer::kNo;
      case IDCANCEL:
        return MsgAnswer::kCancel;
      case IDOK:
        return MsgAnswer::kOk;
      default:
        return DefaultAnswer(buttons);
    }
  }

  std::optional<std::u16string> AskText(std::u16string_view prompt, std::u16string_view title,
                                        std::u16string_view default_text) override {
    ModalWindow window(std::u16string(title.empty() ? kApplicationTitle : title), 5);
    // Ids apart from IDOK and IDCANCEL: the edit's change notifications are no button press.
    window.Add(L"STATIC", std::u16string(prompt), 0, 10, kRow * 2);
    HWND edit = window.Add(L"EDIT", std::u16string(default_text),
                           WS_BORDER | ES_AUTOHSCROLL | WS_TABSTOP, 11);
    window.Add(L"BUTTON", kOkCaption, BS_DEFPUSHBUTTON | WS_TABSTOP, IDOK);
    window.Add(L"BUTTON", kCancelCaption, BS_PUSHBUTTON | WS_TABSTOP, IDCANCEL);
    std::optional<std::u16string> answer;
    window.on_command = [&](int id, int code) {
      if (code != BN_CLICKED) return;
      if (id == IDOK) answer = TextOf(edit);
      if (id == IDOK || id == IDCANCEL) window.Finish();
    };
    window.on_close = [&] { window.Finish(); };
    SetFocus(edit);
    window.Run();
    return answer;
  }

  void SetCursorShape(int code) override {
    cursor_ = code;
    SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(code)));
  }
  int CursorShape() const override { return cursor_; }

  std::optional<std::u16string> PickFile(std::u16string_view caption) override {
    wchar_t file[MAX_PATH * 4] = {};
    const std::u16string title(caption);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = GetActiveWindow();
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH * 4;
    ofn.lpstrTitle = W(title);
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetOpenFileNameW(&ofn)) return std::nullopt;
    return std::u16string(reinterpret_cast<const char16_t*>(file));
  }

 protected:
  void RunForm(Form& form) override {
    FormWindow window(form);
    window.Run();
  }

 private:
  int cursor_ = 32512;
};

}  // namespace

std::unique_ptr<UiService> NewWindowsUi() {
  return std::make_unique<WindowsUi>();
}

}  // namespace qnmuro
