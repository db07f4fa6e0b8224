#include <windows.h>

#include <cstdlib>

#include "base/text.h"
#include "platform/services.h"
#include "platform/services_win.h"

namespace qnmuro {
namespace {

// Whether this process is a console program (the qnmuro command) rather than a windowed one
// (the word processor hosting the add-in): the first talks on its terminal, the second shows
// windows.
bool IsConsoleProgram() {
  const auto* base = reinterpret_cast<const BYTE*>(GetModuleHandleW(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  return nt->OptionalHeader.Subsystem == IMAGE_SUBSYSTEM_WINDOWS_CUI;
}

}  // namespace

std::u16string DefaultWorkDir() {
  const wchar_t* dir = _wgetenv(L"QNMURO_WORKDIR");
  std::u16string out = dir != nullptr && *dir != L'\0'
                           ? std::u16string(reinterpret_cast<const char16_t*>(dir))
                           : std::u16string(u"C:\\OAWork");
  while (out.size() > 3 && (out.back() == u'/' || out.back() == u'\\')) out.pop_back();
  return out;
}

std::unique_ptr<RegistryStore> DefaultRegistryStore() {
  return NewWindowsRegistryStore();
}

Services DefaultServices(const ServiceOptions& options) {
  Services services;
  services.clock = NewWindowsClock();
  services.ui = IsConsoleProgram() ? NewTerminalUi(DefaultTerminalUiOptions(options.assume_yes))
                                   : NewWindowsUi();
  services.registry = DefaultRegistryStore();
  services.shell = NewWindowsShellService();
  services.http = NewWinInetHttpClient();
  services.agent_http = NewXmlHttpClient();
  services.work_dir = options.work_dir.empty() ? DefaultWorkDir() : options.work_dir;
  services.code_page = AnsiCodePage();
  return services;
}

}  // namespace qnmuro
