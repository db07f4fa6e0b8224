// The DLL's entry points and module state. The GUIDs of the type library are defined here,
// once for the whole server.
#include <windows.h>

#include <initguid.h>
// clang-format off: the generated header must follow initguid.h.
#include "qnmurowps.h"
// clang-format on

#include <atomic>

#include "com/class_factory.h"
#include "com/com_module.h"

namespace qnmuro::com {
namespace {

HMODULE g_module = nullptr;
// Live objects and server locks: COM asks the DLL itself whether it may be unloaded, so this
// count is the one state that must be module-wide.
std::atomic<long> g_references{0};

}  // namespace

std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(g_module, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

void AddModuleReference() {
  ++g_references;
}
void ReleaseModuleReference() {
  --g_references;
}
bool ModuleInUse() {
  return g_references.load() > 0;
}

HRESULT LoadTypeInfo(REFGUID guid, ITypeInfo** out) {
  *out = nullptr;
  ITypeLib* library = nullptr;
  HRESULT hr = LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, &library);
  if (FAILED(hr)) return hr;
  hr = library->GetTypeInfoOfGuid(guid, out);
  library->Release();
  return hr;
}

}  // namespace qnmuro::com

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) {
    qnmuro::com::g_module = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  return qnmuro::com::GetClassObject(clsid, iid, out);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return qnmuro::com::ModuleInUse() ? S_FALSE : S_OK;
}
