#include "com/class_factory.h"

#include <unknwn.h>

#include "com/com_module.h"
#include "qnmurowps.h"

namespace qnmuro::com {
namespace {

using Creator = HRESULT (*)(REFIID, void**);

// Factories are static objects: they count as module references only while a caller holds
// one or has locked the server.
class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(Creator create) : create_(create) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) {
      return E_NOINTERFACE;
    }
    *out = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    AddModuleReference();
    return 2;
  }
  ULONG STDMETHODCALLTYPE Release() override {
    ReleaseModuleReference();
    return 1;
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return create_(iid, out);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      AddModuleReference();
    } else {
      ReleaseModuleReference();
    }
    return S_OK;
  }

 private:
  Creator create_;
};

ClassFactory g_data_source_factory(&CreateDataSourceObject);
ClassFactory g_wps_addin_factory(&CreateWPSaddinObject);

}  // namespace

HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (IsEqualCLSID(clsid, CLSID_DataSource)) return g_data_source_factory.QueryInterface(iid, out);
  if (IsEqualCLSID(clsid, CLSID_WPSaddin)) return g_wps_addin_factory.QueryInterface(iid, out);
  return CLASS_E_CLASSNOTAVAILABLE;
}

}  // namespace qnmuro::com
