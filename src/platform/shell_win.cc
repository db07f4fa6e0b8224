// Shell, process and window services over the Windows shell, toolhelp snapshots and the window
// functions, through the ANSI entry points the add-in's paths are handed to.
#include <windows.h>
// After windows.h, whose types they use.
#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/services_win.h"
#include "platform/shell.h"

namespace qnmuro {
namespace {

struct WindowSearch {
  DWORD pid = 0;
  bool found = false;
};

// A visible top-level window of the process, at or below the foreground window in Z order.
BOOL CALLBACK FindVisibleWindow(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<WindowSearch*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->pid && IsWindowVisible(window)) {
    search->found = true;
    return FALSE;
  }
  return TRUE;
}

struct ClassSearch {
  std::u16string fragment;
  HWND window = nullptr;
};

BOOL CALLBACK FindClassFragment(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<ClassSearch*>(data);
  wchar_t name[256] = {};
  const int length = GetClassNameW(window, name, 256);
  const std::u16string class_name(reinterpret_cast<const char16_t*>(name),
                                  static_cast<size_t>(std::max(length, 0)));
  if (class_name.find(search->fragment) != std::u16string::npos) {
    search->window = window;
    return FALSE;
  }
  return TRUE;
}

class WindowsShellService final : public ShellService {
 public:
  ~WindowsShellService() override {
    for (const HANDLE process : launched_) CloseHandle(process);
  }

  long OpenDocument(std::u16string_view path, std::u16string_view working_dir) override {
    const std::string file = ToAnsi(path);
    const std::string folder = ToAnsi(working_dir);
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    // The started process is kept, so that it alone can be taken for the viewer later. No box of
    // the shell's own on failure: the caller reports the code (a box nobody sees would hang).
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = "open";
    info.lpFile = file.c_str();
    info.lpDirectory = folder.empty() ? nullptr : folder.c_str();
    info.nShow = SW_SHOWNORMAL;
    const bool started = ShellExecuteExA(&info) != FALSE;
    if (info.hProcess != nullptr) launched_.push_back(info.hProcess);
    const long code = static_cast<long>(reinterpret_cast<INT_PTR>(info.hInstApp));
    if (started) return code > 32 ? code : kShellOk;
    if (code > 0 && code <= 32) return code;
    // The shell's failure codes below 33 are the system's error codes of the same meaning.
    const DWORD error = GetLastError();
    return error > 0 && error <= 32 ? static_cast<long>(error) : kShellNoAssociation;
  }

  long FindProgram(std::u16string_view file_name, std::u16string_view folder,
                   std::u16string* program) override {
    const std::string file = ToAnsi(file_name);
    const std::string directory = ToAnsi(folder);
    char found[MAX_PATH] = {};
    const HINSTANCE result =
        FindExecutableA(file.c_str(), directory.empty() ? nullptr : directory.c_str(), found);
    const long code = static_cast<long>(reinterpret_cast<INT_PTR>(result));
    if (code > 32) *program = FromAnsi(found);
    return code;
  }

  bool ListProcesses(std::vector<ProcessEntry>* processes) override {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    // Processes that have ended are let go of.
    std::erase_if(launched_, [](HANDLE process) {
      if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) return false;
      CloseHandle(process);
      return true;
    });
    std::vector<ProcessEntry> list;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
      list.push_back({entry.th32ProcessID,
                      std::u16string(reinterpret_cast<const char16_t*>(entry.szExeFile)),
                      StartedHere(entry.th32ProcessID)});
    }
    CloseHandle(snapshot);
    std::sort(list.begin(), list.end(),
              [](const ProcessEntry& a, const ProcessEntry& b) { return a.pid < b.pid; });
    *processes = std::move(list);
    return true;
  }

  bool HasVisibleWindow(uint32_t pid) override {
    WindowSearch search{pid};
    for (HWND window = GetForegroundWindow(); window != nullptr && !search.found;
         window = GetWindow(window, GW_HWNDNEXT)) {
      FindVisibleWindow(window, reinterpret_cast<LPARAM>(&search));
    }
    return search.found;
  }

  bool EndProcess(uint32_t pid) override {
    // 0 is the idle process and the host itself must live on.
    if (pid == 0 || pid == GetCurrentProcessId()) return false;
    const HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, pid);
    if (process == nullptr) return false;
    const bool ended = TerminateProcess(process, 0) != FALSE;
    CloseHandle(process);
    return ended;
  }

  bool BringMainWindowToFront(std::u16string_view class_fragment) override {
    // Down the Z order from the foreground window: the word processor's main window is the
    // active window or lies below the dialogs and viewers in front of it.
    ClassSearch search{std::u16string(class_fragment)};
    for (HWND window = GetForegroundWindow(); window != nullptr && search.window == nullptr;
         window = GetWindow(window, GW_HWNDNEXT)) {
      FindClassFragment(window, reinterpret_cast<LPARAM>(&search));
    }
    if (search.window == nullptr) return false;
    if (IsIconic(search.window)) ShowWindow(search.window, SW_RESTORE);
    // On top, at the screen's top left corner, its size kept.
    SetWindowPos(search.window, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE);
    const bool front = SetForegroundWindow(search.window) != FALSE;
    SetFocus(search.window);
    return front;
  }

 private:
  // A held handle keeps its process id from being given to another process, so the id names
  // the process started here for as long as that one runs.
  bool StartedHere(DWORD pid) const {
    return std::any_of(launched_.begin(), launched_.end(),
                       [pid](HANDLE process) { return GetProcessId(process) == pid; });
  }

  std::vector<HANDLE> launched_;
};

}  // namespace

std::unique_ptr<ShellService> NewWindowsShellService() {
  return std::make_unique<WindowsShellService>();
}

}  // namespace qnmuro
