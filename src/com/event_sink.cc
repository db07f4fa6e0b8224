#include "com/event_sink.h"

#include <ocidl.h>
#include <oleauto.h>

#include <atomic>
#include <map>

#include "base/error.h"
#include "platform/com_win.h"

namespace qnmuro::com {

// The object the source calls: it answers to the event interface and to IDispatch, and hands
// each event to its handler by DISPID.
class EventSink::Receiver final : public IDispatch {
 public:
  Receiver(IID iid, std::map<DISPID, Handler> handlers)
      : iid_(iid), handlers_(std::move(handlers)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDispatch) &&
        !IsEqualIID(iid, iid_)) {
      return E_NOINTERFACE;
    }
    *out = static_cast<IDispatch*>(this);
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
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                   EXCEPINFO*, UINT*) override {
    const auto handler = handlers_.find(member);
    if (handler == handlers_.end() || params == nullptr) return S_OK;
    // A handler may unsubscribe this very sink: it stays alive until the handler returns.
    AddRef();
    IgnoreFailure([&] { handler->second(*params); });
    Release();
    return S_OK;
  }

 private:
  std::atomic<ULONG> references_{1};
  IID iid_;
  std::map<DISPID, Handler> handlers_;
};

namespace {

// The type information of the object's default event interface.
Ptr<ITypeInfo> EventInterface(IDispatch* source) {
  IProvideClassInfo* raw = nullptr;
  if (FAILED(source->QueryInterface(IID_IProvideClassInfo, reinterpret_cast<void**>(&raw)))) {
    throw MakeError(kErrNotSupported);
  }
  const Ptr<IProvideClassInfo> provider(raw);
  Ptr<ITypeInfo> class_info;
  if (FAILED(provider->GetClassInfo(class_info.Out()))) {
    throw MakeError(kErrNotSupported);
  }
  TYPEATTR* attr = nullptr;
  if (FAILED(class_info->GetTypeAttr(&attr))) throw MakeError(kErrNotSupported);
  const UINT count = attr->cImplTypes;
  class_info->ReleaseTypeAttr(attr);
  for (UINT i = 0; i < count; ++i) {
    INT flags = 0;
    HREFTYPE ref = 0;
    Ptr<ITypeInfo> events;
    if (SUCCEEDED(class_info->GetImplTypeFlags(i, &flags)) && (flags & IMPLTYPEFLAG_FSOURCE) != 0 &&
        (flags & IMPLTYPEFLAG_FDEFAULT) != 0 &&
        SUCCEEDED(class_info->GetRefTypeOfImplType(i, &ref)) &&
        SUCCEEDED(class_info->GetRefTypeInfo(ref, events.Out()))) {
      return events;
    }
  }
  throw MakeError(kErrNotSupported);
}

}  // namespace

EventSink::EventSink(IDispatch* source, std::vector<std::pair<const wchar_t*, Handler>> handlers) {
  const Ptr<ITypeInfo> events = EventInterface(source);
  TYPEATTR* attr = nullptr;
  if (FAILED(events->GetTypeAttr(&attr))) throw MakeError(kErrNotSupported);
  const IID iid = attr->guid;
  events->ReleaseTypeAttr(attr);
  std::map<DISPID, Handler> by_id;
  for (auto& [name, handler] : handlers) {
    DISPID id = DISPID_UNKNOWN;
    auto* member = const_cast<LPOLESTR>(name);
    if (FAILED(events->GetIDsOfNames(&member, 1, &id))) throw MakeError(kErrNotSupported);
    by_id[id] = std::move(handler);
  }
  IConnectionPointContainer* container = nullptr;
  if (FAILED(source->QueryInterface(IID_IConnectionPointContainer,
                                    reinterpret_cast<void**>(&container)))) {
    throw MakeError(kErrNotSupported);
  }
  const HRESULT found = container->FindConnectionPoint(iid, &point_);
  container->Release();
  if (FAILED(found)) throw MakeError(kErrNotSupported);
  receiver_ = new Receiver(iid, std::move(by_id));
  if (FAILED(point_->Advise(receiver_, &cookie_))) {
    receiver_->Release();
    point_->Release();
    throw MakeError(kErrNotSupported);
  }
}

EventSink::~EventSink() {
  point_->Unadvise(cookie_);
  point_->Release();
  receiver_->Release();
}

}  // namespace qnmuro::com
