// The Writer extension is the add-in's registration on Linux.
#include <cstdio>
#include <string>

#include "cli/doctor.h"

namespace qnmuro::cli {

std::vector<DoctorCheck> RegistrationChecks(RegistryStore* /*registry*/) {
  DoctorCheck check{"Writer extension", false, ""};
  std::FILE* list = ::popen("unopkg list 2>/dev/null", "r");
  std::string out;
  if (list != nullptr) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, list)) > 0) out.append(buffer, n);
    ::pclose(list);
  }
  check.ok = out.find("org.qnmuro.wps") != std::string::npos;
  check.detail = check.ok ? "org.qnmuro.wps is installed for this user"
                 : out.empty() && list == nullptr
                     ? "unopkg cannot be run: is LibreOffice installed?"
                     : "not installed for this user: unopkg add qnmuro.oxt";
  return {check};
}

}  // namespace qnmuro::cli
