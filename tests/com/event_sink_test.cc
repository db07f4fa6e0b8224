// Events found by name: a host object describing its events only in its own type library
// (tests/com/fake_host.idl) raises them into an EventSink.
#include <windows.h>

#include <initguid.h>
// clang-format off: the generated header must follow initguid.h.
#include "fake_host.h"
// clang-format on

#include <gtest/gtest.h>
#include <ocidl.h>
#include <olectl.h>

#include <string>
#include <vector>

#include "base/error.h"
#include "com/event_sink.h"
#include "platform/com.h"

namespace qnmuro::com {
namespace {

// The host's application object, reduced to what event subscription uses. Lives on the stack:
// reference counts are not tracked.
class FakeApplication final : public IDispatch,
                              public IProvideClassInfo,
                              public IConnectionPointContainer,
                              public IConnectionPoint {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
      *out = static_cast<IDispatch*>(this);
    } else if (IsEqualIID(iid, IID_IProvideClassInfo)) {
      *out = static_cast<IProvideClassInfo*>(this);
    } else if (IsEqualIID(iid, IID_IConnectionPointContainer)) {
      *out = static_cast<IConnectionPointContainer*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** out) override {
    Ptr<ITypeLib> library;
    const HRESULT hr = LoadTypeLibEx(QNMURO_FAKE_HOST_TLB, REGKIND_NONE, library.Out());
    if (FAILED(hr)) return hr;
    return library->GetTypeInfoOfGuid(CLSID_Application, out);
  }
  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** out) override {
    *out = nullptr;
    if (!IsEqualIID(iid, DIID_ApplicationEvents)) return CONNECT_E_NOCONNECTION;
    *out = static_cast<IConnectionPoint*>(this);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
    *iid = DIID_ApplicationEvents;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** out) override {
    *out = this;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
    IDispatch* events = nullptr;
    if (FAILED(sink->QueryInterface(DIID_ApplicationEvents, reinterpret_cast<void**>(&events)))) {
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

 private:
  std::vector<IDispatch*> sinks_;
};

TEST(EventSinkTest, EventsArriveByNameUntilTheSinkGoes) {
  EnsureInitialized();
  FakeApplication app;
  std::vector<std::string> seen;
  {
    EventSink sink(
        &app, {{L"DocumentOpen",
                [&](DISPPARAMS& args) { seen.push_back("open " + std::to_string(args.cArgs)); }},
               {L"DocumentBeforeSave", [&](DISPPARAMS& args) {
                  // Cancel is the last argument, handed over first.
                  *V_BOOLREF(&args.rgvarg[0]) = VARIANT_TRUE;
                  throw MakeError(kErrCantPerform);  // stays in the sink
                }}});
    EXPECT_EQ(app.Subscribed(), 1u);
    VARIANT doc;
    V_VT(&doc) = VT_DISPATCH;
    V_DISPATCH(&doc) = &app;
    app.Raise(4, {doc});
    VARIANT_BOOL save_as = VARIANT_FALSE, cancel = VARIANT_FALSE;
    VARIANT save_as_arg, cancel_arg;
    V_VT(&save_as_arg) = VT_BOOL | VT_BYREF;
    V_BOOLREF(&save_as_arg) = &save_as;
    V_VT(&cancel_arg) = VT_BOOL | VT_BYREF;
    V_BOOLREF(&cancel_arg) = &cancel;
    app.Raise(8, {doc, save_as_arg, cancel_arg});
    EXPECT_EQ(cancel, VARIANT_TRUE);
    app.Raise(99, {});  // an event nobody asked for
  }
  EXPECT_EQ(app.Subscribed(), 0u);
  EXPECT_EQ(seen, std::vector<std::string>{"open 1"});
}

TEST(EventSinkTest, AnEventTheObjectDoesNotDescribeIsRefused) {
  EnsureInitialized();
  FakeApplication app;
  try {
    EventSink sink(&app, {{L"NoSuchEvent", [](DISPPARAMS&) {}}});
    FAIL() << "subscribed to an event the object lacks";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), kErrNotSupported);
  }
  EXPECT_EQ(app.Subscribed(), 0u);
}

}  // namespace
}  // namespace qnmuro::com
