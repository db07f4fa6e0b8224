// qnmuro doctor: the health of the add-in on this desktop, one check at a time.
#ifndef QNMURO_CLI_DOCTOR_H_
#define QNMURO_CLI_DOCTOR_H_

#include <string>
#include <vector>

namespace qnmuro {
class RegistryStore;
}

namespace qnmuro::cli {

struct DoctorCheck {
  std::string name;  // e.g. "add-in registered"
  bool ok = false;
  std::string detail;  // what was found, and on failure what to do (UTF-8)
};

// This platform's checks that the word processor finds the add-in and can load it: on Windows
// its load keys (for every user or this one) and its COM server; on Linux the Writer extension.
std::vector<DoctorCheck> RegistrationChecks(RegistryStore* registry);

}  // namespace qnmuro::cli

#endif  // QNMURO_CLI_DOCTOR_H_
