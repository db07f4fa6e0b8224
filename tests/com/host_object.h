// An object of the test word processor: it answers by member name to the description of its
// interface in the test host's type library (tests/com/fake_host.idl), keeps properties as
// values and methods as handlers, raises its class's events through a connection point, and
// keeps a journal of what was written to it and called.
#ifndef QNMURO_TESTS_COM_HOST_OBJECT_H_
#define QNMURO_TESTS_COM_HOST_OBJECT_H_

#include <windows.h>

#include <ocidl.h>
#include <olectl.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/com_win.h"

namespace qnmuro::com {

// The tests' texts are ASCII.
std::string Narrow(const std::wstring& text);
std::string Narrow(const std::u16string& text);

// The test host's type library, loaded once.
ITypeLib* HostLibrary();

// Lives as long as the test: reference counts are not tracked.
class HostObject final : public IDispatch,
                         public IProvideClassInfo,
                         public IConnectionPointContainer,
                         public IConnectionPoint {
 public:
  // A method or property handler; a qnmuro::Error it throws reaches the caller as the
  // object's exception, with the error's number and description.
  using Method = std::function<HRESULT(DISPPARAMS&, VARIANT*)>;
  using Setter = std::function<void(const VARIANT&)>;

  HostObject(std::string name, REFGUID members, const GUID* coclass, const IID* events,
             std::vector<std::string>* journal)
      : name_(std::move(name)), coclass_(coclass), events_(events), journal_(journal) {
    HostLibrary()->GetTypeInfoOfGuid(members, members_.Out());
  }

  void Set(const std::wstring& member, Variant value) {
    props_.erase(member);
    props_.emplace(member, std::move(value));
  }
  void SetObject(const wchar_t* member, HostObject* object) {
    Variant value;
    V_VT(value.get()) = VT_DISPATCH;
    V_DISPATCH(value.get()) = object;
    Set(member, std::move(value));
  }
  void On(const wchar_t* member, Method method) { methods_[member] = std::move(method); }
  // A property write goes to `setter` instead of being kept.
  void OnPut(const wchar_t* member, Setter setter) { setters_[member] = std::move(setter); }
  bool GetBool(const wchar_t* member) {
    return V_VT(props_[member].get()) == VT_BOOL && V_BOOL(props_[member].get()) != VARIANT_FALSE;
  }
  std::u16string GetText(const wchar_t* member) { return props_[member].Text(); }

  // Raises an event with its arguments in call order.
  void Raise(DISPID id, std::vector<VARIANT> args) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    for (IDispatch* sink : sinks_) {
      if (sink != nullptr)
        sink->Invoke(id, IID_IDispatch, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    }
  }
  size_t Subscribed() const {
    size_t n = 0;
    for (IDispatch* sink : sinks_) n += sink != nullptr ? 1 : 0;
    return n;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
      *out = static_cast<IDispatch*>(this);
    } else if (IsEqualIID(iid, IID_IProvideClassInfo) && coclass_ != nullptr) {
      *out = static_cast<IProvideClassInfo*>(this);
    } else if (IsEqualIID(iid, IID_IConnectionPointContainer) && events_ != nullptr) {
      *out = static_cast<IConnectionPointContainer*>(this);
    }
    return *out != nullptr ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** out) override {
    members_->AddRef();
    *out = members_.get();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    return members_->GetIDsOfNames(names, count, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO*, UINT*) override;
  HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** out) override {
    return HostLibrary()->GetTypeInfoOfGuid(*coclass_, out);
  }
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** out) override {
    *out = IsEqualIID(iid, *events_) ? static_cast<IConnectionPoint*>(this) : nullptr;
    return *out != nullptr ? S_OK : CONNECT_E_NOCONNECTION;
  }
  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
    *iid = *events_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) override {
    *out = this;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
    IDispatch* events = nullptr;
    if (FAILED(sink->QueryInterface(*events_, reinterpret_cast<void**>(&events)))) {
      return CONNECT_E_CANNOTCONNECT;
    }
    sinks_.push_back(events);
    *cookie = static_cast<DWORD>(sinks_.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
    if (cookie == 0 || cookie > sinks_.size() || sinks_[cookie - 1] == nullptr) {
      return CONNECT_E_NOCONNECTION;
    }
    sinks_[cookie - 1]->Release();
    sinks_[cookie - 1] = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

 private:
  HRESULT Dispatch(DISPID id, WORD flags, DISPPARAMS& params, VARIANT* result);

  std::string name_;
  const GUID* coclass_;
  const IID* events_;
  std::vector<std::string>* journal_;
  Ptr<ITypeInfo> members_;
  std::map<std::wstring, Variant> props_;
  std::map<std::wstring, Method> methods_;
  std::map<std::wstring, Setter> setters_;
  std::vector<IDispatch*> sinks_;
};

// Event arguments: an object, and a flag by reference.
VARIANT ObjectArg(IDispatch* object);
VARIANT FlagArg(VARIANT_BOOL* flag);

}  // namespace qnmuro::com

#endif  // QNMURO_TESTS_COM_HOST_OBJECT_H_
