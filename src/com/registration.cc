// DllRegisterServer / DllUnregisterServer: the server's classes, ProgIDs and type library.
// DllInstall: the separate step that makes the word processor load the add-in at start-up
// (`regsvr32 /n /i QNMuroWPS.dll`, machine-wide with `/i:machine`) and takes that away again
// (`regsvr32 /n /u /i QNMuroWPS.dll`). Unregistering removes exactly the keys registering
// wrote, and parents of the add-in key that are left empty.
#include <windows.h>

#include <oleauto.h>
#include <olectl.h>

#include <string>

#include "com/com_module.h"
#include "qnmurowps.h"

namespace qnmuro::com {
namespace {

struct ClassEntry {
  const CLSID* clsid;
  const wchar_t* prog_id;            // version-independent
  const wchar_t* versioned_prog_id;  // what CurVer names
  const wchar_t* description;
};

const ClassEntry kClasses[] = {
    {&CLSID_WPSaddin, L"QNMuroWPS.WPSaddin", L"QNMuroWPS.WPSaddin.1", L"QNMuroWPS"},
    {&CLSID_DataSource, L"QNMuroWPS.DataSource", L"QNMuroWPS.DataSource.1",
     L"Word、WPS用来处理XML形式的数据源的一个类。"},
};

// Where a word processor with this automation model looks for the COM add-ins to load at
// start-up (under HKEY_CURRENT_USER, or HKEY_LOCAL_MACHINE for every user); the parents are
// the ones removed again when they are left empty.
const wchar_t kAddInKey[] = L"Software\\Microsoft\\Office\\Word\\Addins\\QNMuroWPS.WPSaddin";
const wchar_t kAddInStop[] = L"Software";

std::wstring GuidText(REFGUID guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

// Creates `key` under `root` with its default value (and one named value when given).
bool WriteKey(HKEY root, const std::wstring& key, const std::wstring& value,
              const wchar_t* name = nullptr, const std::wstring& named_value = {}) {
  HKEY handle = nullptr;
  if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  bool ok =
      value.empty() ||
      RegSetValueExW(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
  if (ok && name != nullptr) {
    ok = RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(named_value.c_str()),
                        static_cast<DWORD>((named_value.size() + 1) * sizeof(wchar_t))) ==
         ERROR_SUCCESS;
  }
  RegCloseKey(handle);
  return ok;
}

bool WriteDword(HKEY root, const std::wstring& key, const wchar_t* name, DWORD value) {
  HKEY handle = nullptr;
  if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  const bool ok = RegSetValueExW(handle, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                 sizeof(value)) == ERROR_SUCCESS;
  RegCloseKey(handle);
  return ok;
}

void DeleteTree(HKEY root, const std::wstring& key) {
  RegDeleteTreeW(root, key.c_str());
}

bool RegisterOneClass(const ClassEntry& entry, const std::wstring& module,
                      const std::wstring& library) {
  const std::wstring clsid = GuidText(*entry.clsid);
  const std::wstring key = L"CLSID\\" + clsid;
  return WriteKey(HKEY_CLASSES_ROOT, key, entry.description) &&
         WriteKey(HKEY_CLASSES_ROOT, key + L"\\InprocServer32", module, L"ThreadingModel",
                  L"Apartment") &&
         WriteKey(HKEY_CLASSES_ROOT, key + L"\\ProgID", entry.versioned_prog_id) &&
         WriteKey(HKEY_CLASSES_ROOT, key + L"\\VersionIndependentProgID", entry.prog_id) &&
         WriteKey(HKEY_CLASSES_ROOT, key + L"\\TypeLib", library) &&
         WriteKey(HKEY_CLASSES_ROOT, std::wstring(entry.prog_id), entry.description) &&
         WriteKey(HKEY_CLASSES_ROOT, std::wstring(entry.prog_id) + L"\\CLSID", clsid) &&
         WriteKey(HKEY_CLASSES_ROOT, std::wstring(entry.prog_id) + L"\\CurVer",
                  entry.versioned_prog_id) &&
         WriteKey(HKEY_CLASSES_ROOT, entry.versioned_prog_id, entry.description) &&
         WriteKey(HKEY_CLASSES_ROOT, std::wstring(entry.versioned_prog_id) + L"\\CLSID", clsid);
}

void UnregisterOneClass(const ClassEntry& entry) {
  DeleteTree(HKEY_CLASSES_ROOT, L"CLSID\\" + GuidText(*entry.clsid));
  DeleteTree(HKEY_CLASSES_ROOT, entry.prog_id);
  DeleteTree(HKEY_CLASSES_ROOT, entry.versioned_prog_id);
}

HRESULT UnregisterLibrary() {
  ITypeLib* library = nullptr;
  HRESULT hr = LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, &library);
  if (FAILED(hr)) return hr;
  TLIBATTR* attr = nullptr;
  hr = library->GetLibAttr(&attr);
  if (SUCCEEDED(hr)) {
    hr = UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid,
                           attr->syskind);
    library->ReleaseTLibAttr(attr);
  }
  library->Release();
  return hr;
}

// Removes the add-in key, then each parent that it leaves empty, up to kAddInStop.
void RemoveAddInKey(HKEY root) {
  DeleteTree(root, kAddInKey);
  std::wstring key = kAddInKey;
  for (;;) {
    const size_t cut = key.rfind(L'\\');
    if (cut == std::wstring::npos) return;
    key.resize(cut);
    if (key == kAddInStop) return;
    // RegDeleteKeyW refuses a key with subkeys; values would be lost, so check for them too.
    HKEY handle = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return;
    DWORD subkeys = 0, values = 0;
    const LSTATUS status = RegQueryInfoKeyW(handle, nullptr, nullptr, nullptr, &subkeys, nullptr,
                                            nullptr, &values, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(handle);
    if (status != ERROR_SUCCESS || subkeys != 0 || values != 0) return;
    if (RegDeleteKeyW(root, key.c_str()) != ERROR_SUCCESS) return;
  }
}

}  // namespace

}  // namespace qnmuro::com

using qnmuro::com::kClasses;

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer();

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  const std::wstring module = qnmuro::com::ModulePath();
  ITypeLib* library = nullptr;
  HRESULT hr = LoadTypeLibEx(module.c_str(), REGKIND_NONE, &library);
  if (FAILED(hr)) return hr;
  hr = RegisterTypeLib(library, const_cast<wchar_t*>(module.c_str()), nullptr);
  library->Release();
  if (FAILED(hr)) return hr;
  const std::wstring library_id = qnmuro::com::GuidText(LIBID_QNMuroWPS);
  for (const auto& entry : kClasses) {
    if (!qnmuro::com::RegisterOneClass(entry, module, library_id)) {
      DllUnregisterServer();
      return SELFREG_E_CLASS;
    }
  }
  return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  for (const auto& entry : kClasses) qnmuro::com::UnregisterOneClass(entry);
  const HRESULT hr = qnmuro::com::UnregisterLibrary();
  // A library that was never registered is no failure of unregistering.
  return hr == TYPE_E_REGISTRYACCESS || hr == TYPE_E_CANTLOADLIBRARY ? S_OK : hr;
}

extern "C" HRESULT STDAPICALLTYPE DllInstall(BOOL install, LPCWSTR command_line) {
  const HKEY root = command_line != nullptr && lstrcmpiW(command_line, L"machine") == 0
                        ? HKEY_LOCAL_MACHINE
                        : HKEY_CURRENT_USER;
  if (!install) {
    qnmuro::com::RemoveAddInKey(root);
    return S_OK;
  }
  const std::wstring key = qnmuro::com::kAddInKey;
  const bool ok = qnmuro::com::WriteKey(root, key, L"", L"FriendlyName", L"QNMuroWPS") &&
                  qnmuro::com::WriteKey(root, key, L"", L"Description", L"QNMuroWPS") &&
                  qnmuro::com::WriteDword(root, key, L"LoadBehavior", 3) &&
                  qnmuro::com::WriteDword(root, key, L"CommandLineSafe", 0);
  if (!ok) {
    qnmuro::com::RemoveAddInKey(root);
    return E_ACCESSDENIED;
  }
  return S_OK;
}
