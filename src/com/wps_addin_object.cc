// WPSaddin as a COM class: the add-in connection interface the word processor calls, and the
// add-in's public operations for automation clients. Each method checks its pointers,
// converts its arguments, calls the core add-in and maps a failure to the caller's error.
#include "addin/wps_addin.h"
#include "com/class_factory.h"
#include "com/dual_object.h"
#include "com/edge.h"
#include "com/late_bound_control.h"
#include "com/late_bound_host.h"
#include "platform/services.h"
#include "qnmurowps.h"
#include "transfer/agent.h"

namespace qnmuro::com {
namespace {

using BoolOperation = bool (WPSaddin::*)();
using Operation = void (WPSaddin::*)();

class WPSaddinObject final : public DualObject<IWPSaddin, &IID_IWPSaddin>,
                             public IDTExtensibility2 {
 public:
  WPSaddinObject() : services_(DefaultServices()), addin_(ContextFor(services_, nullptr)) {}

  // One implementation of IUnknown and IDispatch for both interfaces.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return DualObject::QueryInterface(iid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return DualObject::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return DualObject::Release(); }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    return DualObject::GetTypeInfoCount(count);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** out) override {
    return DualObject::GetTypeInfo(index, lcid, out);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID lcid,
                                          DISPID* ids) override {
    return DualObject::GetIDsOfNames(iid, names, count, lcid, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID member, REFIID iid, LCID lcid, WORD flags,
                                   DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                                   UINT* arg_error) override {
    return DualObject::Invoke(member, iid, lcid, flags, params, result, excep, arg_error);
  }

  // ---- IWPSaddin ----
  HRESULT STDMETHODCALLTYPE SetWPSBar() override { return Run(&WPSaddin::SetWPSBar); }
  HRESULT STDMETHODCALLTYPE FinalizeDocument() override { return Run(&WPSaddin::FinalizeDocument); }
  HRESULT STDMETHODCALLTYPE ViewDocument() override { return Run(&WPSaddin::ViewDocument); }
  HRESULT STDMETHODCALLTYPE ApproveDocument() override { return Run(&WPSaddin::ApproveDocument); }
  HRESULT STDMETHODCALLTYPE DraftDocument() override { return Run(&WPSaddin::DraftDocument); }
  HRESULT STDMETHODCALLTYPE TrackRevisionWithoutPrint(VARIANT_BOOL* result) override {
    return Answer(&WPSaddin::TrackRevisionWithoutPrint, result);
  }
  HRESULT STDMETHODCALLTYPE TrackRevision(VARIANT_BOOL* result) override {
    return Answer(&WPSaddin::TrackRevision, result);
  }
  HRESULT STDMETHODCALLTYPE UnTrackRevision(VARIANT_BOOL* result) override {
    return Answer(&WPSaddin::UnTrackRevision, result);
  }
  HRESULT STDMETHODCALLTYPE ShowRevision() override { return Run(&WPSaddin::ShowRevision); }
  HRESULT STDMETHODCALLTYPE HideRevision(VARIANT* result) override {
    if (result == nullptr) return E_POINTER;
    VariantInit(result);
    return Run(&WPSaddin::HideRevision);
  }
  HRESULT STDMETHODCALLTYPE MergeDataSource(VARIANT_BOOL* result) override {
    return Answer(&WPSaddin::MergeDataSource, result);
  }
  HRESULT STDMETHODCALLTYPE SetDataSource(VARIANT_BOOL* result) override {
    return Answer(&WPSaddin::SetDataSource, result);
  }
  HRESULT STDMETHODCALLTYPE MakeWPSTop() override { return Run(&WPSaddin::MakeWPSTop); }
  HRESULT STDMETHODCALLTYPE InsertFile_Click(IDispatch* Ctrl, VARIANT_BOOL* cancel) override {
    return Click(BarButton::kInsertFile, Ctrl, cancel);
  }
  HRESULT STDMETHODCALLTYPE Revision_Click(IDispatch* Ctrl, VARIANT_BOOL* cancel) override {
    return Click(BarButton::kRevision, Ctrl, cancel);
  }
  HRESULT STDMETHODCALLTYPE SetSeal_Click(IDispatch* Ctrl, VARIANT_BOOL* cancel) override {
    return Click(BarButton::kSetSeal, Ctrl, cancel);
  }
  HRESULT STDMETHODCALLTYPE RedHead_Click(IDispatch* Ctrl, VARIANT_BOOL* cancel) override {
    return Click(BarButton::kRedHead, Ctrl, cancel);
  }
  HRESULT STDMETHODCALLTYPE BackToSystem_Click(IDispatch* Ctrl, VARIANT_BOOL* cancel) override {
    return Click(BarButton::kBackToSystem, Ctrl, cancel);
  }
  HRESULT STDMETHODCALLTYPE ChangeTemplate_Click(IDispatch* Ctrl, VARIANT_BOOL* cancel) override {
    return Click(BarButton::kChangeTemplate, Ctrl, cancel);
  }
  HRESULT STDMETHODCALLTYPE InsertReport_Click(IDispatch* Ctrl, VARIANT_BOOL* cancel) override {
    return Click(BarButton::kInsertReport, Ctrl, cancel);
  }
  // Head and tail insertion: nothing to do in this system; always false.
  HRESULT STDMETHODCALLTYPE InsertTail(VARIANT_BOOL* result) override { return Nothing(result); }
  HRESULT STDMETHODCALLTYPE InsertHead(VARIANT_BOOL* result) override { return Nothing(result); }
  HRESULT STDMETHODCALLTYPE IsContentDocument(VARIANT_BOOL* result) override {
    if (result == nullptr) return E_POINTER;
    *result = ToVariantBool(addin_.IsContentDocument());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DisableToolBar(BSTR strBarName) override {
    return Guarded(IID_IWPSaddin, [&] {
      addin_.DisableToolBar(TextOf(strBarName));
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE EnableToolBar(BSTR strBarName) override {
    return Guarded(IID_IWPSaddin, [&] {
      addin_.EnableToolBar(TextOf(strBarName));
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE ExecuteAgent(BSTR strAgent, BSTR strPara, VARIANT varData,
                                         VARIANT_BOOL blnReturnXML, BSTR* result) override;

  // ---- IDTExtensibility2: the core ignores every step's failure itself. ----
  HRESULT STDMETHODCALLTYPE OnConnection(IDispatch* Application, ext_ConnectMode /*mode*/,
                                         IDispatch* /*instance*/, SAFEARRAY** /*custom*/) override;
  HRESULT STDMETHODCALLTYPE OnDisconnection(ext_DisconnectMode /*mode*/,
                                            SAFEARRAY** /*custom*/) override {
    addin_.OnDisconnection();
    host_.reset();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OnAddInsUpdate(SAFEARRAY** /*custom*/) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnStartupComplete(SAFEARRAY** /*custom*/) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnBeginShutdown(SAFEARRAY** /*custom*/) override { return S_OK; }

 private:
  ~WPSaddinObject() override { addin_.OnDisconnection(); }

  void* OtherInterface(REFIID iid) override {
    if (IsEqualIID(iid, IID_IDTExtensibility2)) return static_cast<IDTExtensibility2*>(this);
    return nullptr;
  }

  HRESULT Run(Operation operation) {
    return Guarded(IID_IWPSaddin, [&] {
      (addin_.*operation)();
      return S_OK;
    });
  }
  HRESULT Answer(BoolOperation operation, VARIANT_BOOL* result) {
    if (!Cleared(result)) return E_POINTER;
    return Guarded(IID_IWPSaddin, [&] {
      *result = ToVariantBool((addin_.*operation)());
      return S_OK;
    });
  }
  static HRESULT Nothing(VARIANT_BOOL* result) {
    if (!Cleared(result)) return E_POINTER;
    *result = VARIANT_FALSE;
    return S_OK;
  }
  // The cancel-default flag goes back as the host passed it (no command sets it).
  HRESULT Click(BarButton button, IDispatch* control, VARIANT_BOOL* cancel_default) {
    if (cancel_default == nullptr) return E_POINTER;
    return Guarded(IID_IWPSaddin, [&] {
      if (control == nullptr) throw MakeError(kErrObjectNotSet);
      addin_.Click(button, *LateBoundControl(control));
      *cancel_default = ToVariantBool(*cancel_default != VARIANT_FALSE);
      return S_OK;
    });
  }

  Services services_;
  // The word processor's application as the add-in's host; it outlives the add-in's hold on it.
  std::unique_ptr<host::Application> host_;
  WPSaddin addin_;
};

HRESULT WPSaddinObject::ExecuteAgent(BSTR strAgent, BSTR strPara, VARIANT varData,
                                     VARIANT_BOOL blnReturnXML, BSTR* result) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  const std::u16string agent = TextOf(strAgent);
  std::optional<std::u16string> body;
  try {
    body = OptionalText(varData);
  } catch (...) {
    // The agent call never raises: a body it cannot send is its error text, as any other.
    return ReturnText(AgentErrorText(agent, CurrentError()), result);
  }
  return Guarded(IID_IWPSaddin, [&] {
    return ReturnText(
        addin_.ExecuteAgent(agent, TextOf(strPara), body, blnReturnXML != VARIANT_FALSE), result);
  });
}

HRESULT WPSaddinObject::OnConnection(IDispatch* Application, ext_ConnectMode /*mode*/,
                                     IDispatch* /*instance*/, SAFEARRAY** /*custom*/) {
  // Without an application object the add-in still gets its log and start line, and no
  // document events. The previous host is let go only after the add-in has left it.
  std::unique_ptr<host::Application> next;
  if (Application != nullptr) IgnoreFailure([&] { next = LateBoundApplication(Application); });
  addin_.OnConnection(next.get());
  host_ = std::move(next);
  return S_OK;
}

}  // namespace

HRESULT CreateWPSaddinObject(REFIID iid, void** out) {
  return CreateObject<WPSaddinObject, IWPSaddin>(iid, out);
}

}  // namespace qnmuro::com
