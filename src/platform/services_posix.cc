#include <cstdlib>

#include "base/text.h"
#include "platform/services.h"
#include "platform/services_posix.h"

namespace qnmuro {

std::u16string DefaultWorkDir() {
  const char* dir = std::getenv("QNMURO_WORKDIR");
  std::u16string out;
  if (dir != nullptr && *dir != '\0') {
    out = Utf8ToUtf16(dir);
  } else {
    const char* home = std::getenv("HOME");
    out = Utf8ToUtf16(home != nullptr ? home : ".") + u"/OAWork";
  }
  while (out.size() > 1 && (out.back() == u'/' || out.back() == u'\\')) out.pop_back();
  return out;
}

std::unique_ptr<RegistryStore> DefaultRegistryStore() {
  return NewFileRegistryStore(DefaultRegistryPath());
}

Services DefaultServices(const ServiceOptions& options) {
  Services services;
  services.clock = NewSystemClock();
  services.ui = NewTerminalUi(DefaultTerminalUiOptions(options.assume_yes));
  services.registry = options.registry_file.empty() ? DefaultRegistryStore()
                                                    : NewFileRegistryStore(options.registry_file);
  services.shell = NewPosixShellService();
  services.http = NewCurlHttpClient();
  services.work_dir = options.work_dir.empty() ? DefaultWorkDir() : options.work_dir;
  services.code_page = AnsiCodePage();
  return services;
}

}  // namespace qnmuro
