// The common part of the server's objects: reference counting (each live object keeps the
// module loaded), QueryInterface for the object's dual interface, IDispatch through the type
// library's description of that interface, and ISupportErrorInfo, which tells callers that a
// failed call leaves its description behind. Windows-only.
#ifndef QNMURO_COM_DUAL_OBJECT_H_
#define QNMURO_COM_DUAL_OBJECT_H_

#include <windows.h>

#include <oaidl.h>
#include <oleauto.h>

#include <atomic>

#include "com/com_module.h"
#include "com/edge.h"

namespace qnmuro::com {

template <class Interface, const IID* kIid>
class DualObject : public Interface, public ISupportErrorInfo {
 public:
  DualObject(const DualObject&) = delete;
  DualObject& operator=(const DualObject&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, *kIid)) {
      *out = static_cast<Interface*>(this);
    } else if (IsEqualIID(iid, IID_ISupportErrorInfo)) {
      *out = static_cast<ISupportErrorInfo*>(this);
    } else {
      *out = OtherInterface(iid);
    }
    if (*out == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = type_info_ != nullptr ? 1 : 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID /*lcid*/, ITypeInfo** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    if (type_info_ == nullptr) return TYPE_E_ELEMENTNOTFOUND;
    type_info_->AddRef();
    *out = type_info_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID /*iid*/, LPOLESTR* names, UINT count,
                                          LCID /*lcid*/, DISPID* ids) override {
    if (type_info_ == nullptr) return E_UNEXPECTED;
    return DispGetIDsOfNames(type_info_, names, count, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID /*iid*/, LCID /*lcid*/, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                                   UINT* arg_error) override {
    return InvokeByTypeInfo(type_info_, static_cast<Interface*>(this), member, flags, params,
                            result, excep, arg_error);
  }

  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override {
    return IsEqualIID(iid, *kIid) ? S_OK : S_FALSE;
  }

 protected:
  DualObject() {
    AddModuleReference();
    LoadTypeInfo(*kIid, &type_info_);
  }
  virtual ~DualObject() {
    if (type_info_ != nullptr) type_info_->Release();
    ReleaseModuleReference();
  }
  // Further interfaces of the object (not yet reference-counted); null for none.
  virtual void* OtherInterface(REFIID /*iid*/) { return nullptr; }

 private:
  std::atomic<ULONG> references_{1};
  ITypeInfo* type_info_ = nullptr;
};

}  // namespace qnmuro::com

#endif  // QNMURO_COM_DUAL_OBJECT_H_
