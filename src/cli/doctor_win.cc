// On Windows the add-in is found through its load keys, in the registry view the 32-bit word
// processor reads, and loaded as a COM server.
#include <windows.h>

#include <string>

#include "base/text.h"
#include "cli/doctor.h"
#include "platform/com_win.h"
#include "platform/registry_store.h"

namespace qnmuro::cli {
namespace {

constexpr char16_t kAddInKey[] = u"Software\\Microsoft\\Office\\Word\\Addins\\QNMuroWPS.WPSaddin";
constexpr char16_t kServerKey[] = u"CLSID\\{D254544F-ABC6-4D4E-810E-8C328BF6B946}\\InprocServer32";

bool LoadsAtStart(RegistryStore* registry, uint32_t root) {
  RegistryValue value;
  return registry->GetValue(root, kAddInKey, u"LoadBehavior", &value) == kRegOk &&
         value.type == kRegDword && value.bytes.size() == 4 && value.bytes[0] == 3;
}

// The file's version from its version resource, "1.2.0.0"; empty when it has none.
std::string FileVersion(const std::u16string& path) {
  const auto* name = reinterpret_cast<const wchar_t*>(path.c_str());
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(name, &ignored);
  if (size == 0) return std::string();
  std::string data(size, '\0');
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!GetFileVersionInfoW(name, 0, size, data.data()) ||
      !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) ||
      info == nullptr) {
    return std::string();
  }
  return std::to_string(HIWORD(info->dwFileVersionMS)) + "." +
         std::to_string(LOWORD(info->dwFileVersionMS)) + "." +
         std::to_string(HIWORD(info->dwFileVersionLS)) + "." +
         std::to_string(LOWORD(info->dwFileVersionLS));
}

}  // namespace

std::vector<DoctorCheck> RegistrationChecks(RegistryStore* registry) {
  std::vector<DoctorCheck> checks;
  const bool machine = LoadsAtStart(registry, kHkeyLocalMachine);
  const bool user = LoadsAtStart(registry, kHkeyCurrentUser);
  checks.push_back(
      {"add-in registered", machine || user,
       machine ? "for every user of this machine (HKEY_LOCAL_MACHINE\\" + U8(kAddInKey) + ")"
       : user  ? "for this user only (HKEY_CURRENT_USER\\" + U8(kAddInKey) + ")"
               : "no load keys under HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER\\" + U8(kAddInKey) +
                    ": install QNMuroWPS.msi, or run regsvr32 /n /i QNMuroWPS.dll"});
  RegistryValue path;
  DoctorCheck server{"COM server", false, ""};
  if (registry->GetValue(kHkeyClassesRoot, kServerKey, u"", &path) != kRegOk) {
    server.detail =
        "the class is not registered: install QNMuroWPS.msi, or run regsvr32 "
        "QNMuroWPS.dll";
  } else if (GetFileAttributesW(reinterpret_cast<const wchar_t*>(path.text.c_str())) ==
             INVALID_FILE_ATTRIBUTES) {
    server.detail = "the registered file " + U8(path.text) + " is not there";
  } else {
    // This program's own bitness creates the class from its registration, as a script would.
    const auto object = com::CreateFirst<IDispatch>({L"QNMuroWPS.WPSaddin"}, IID_IDispatch);
    server.ok = static_cast<bool>(object);
    const std::string version = FileVersion(path.text);
    server.detail =
        U8(path.text) + (version.empty() ? "" : " " + version) +
        (server.ok ? ": the class is created" : ": the class cannot be created from it");
  }
  checks.push_back(server);
  return checks;
}

}  // namespace qnmuro::cli
