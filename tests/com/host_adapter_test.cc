// The adapter over a word processor's object model, and the add-in loaded through it: the test
// plays the word processor with objects that answer by member name to the descriptions in
// their own type library (tests/com/fake_host.idl), raise events through connection points,
// and keep a journal of what was written to them.
#include <windows.h>

#include <gtest/gtest.h>
#include <ocidl.h>
#include <olectl.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "base/error.h"
#include "com/late_bound.h"
#include "com/late_bound_host.h"
#include "fake_host.h"
#include "platform/com.h"
#include "qnmurowps.h"

namespace qnmuro::com {
namespace {

// The tests' texts are ASCII.
std::string Narrow(const std::wstring& text) {
  return std::string(text.begin(), text.end());
}
std::string Narrow(const std::u16string& text) {
  return std::string(text.begin(), text.end());
}

ITypeLib* HostLibrary() {
  static ITypeLib* library = [] {
    ITypeLib* loaded = nullptr;
    LoadTypeLibEx(QNMURO_FAKE_HOST_TLB, REGKIND_NONE, &loaded);
    return loaded;
  }();
  return library;
}

// A host object: members by name from its interface's description, properties kept as values,
// methods as handlers, events raised to whoever subscribed. Lives as long as the test: reference
// counts are not tracked.
class HostObject final : public IDispatch,
                         public IProvideClassInfo,
                         public IConnectionPointContainer,
                         public IConnectionPoint {
 public:
  using Method = std::function<HRESULT(DISPPARAMS&, VARIANT*)>;

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
  std::string name_;
  const GUID* coclass_;
  const IID* events_;
  std::vector<std::string>* journal_;
  Ptr<ITypeInfo> members_;
  std::map<std::wstring, Variant> props_;
  std::map<std::wstring, Method> methods_;
  std::vector<IDispatch*> sinks_;
};

// A property written goes to the journal as "Object.Member=value"; a method called as
// "Object.Member()".
HRESULT HostObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                           EXCEPINFO*, UINT*) {
  Bstr name;
  UINT found = 0;
  if (FAILED(members_->GetNames(id, name.Out(), 1, &found)) || found == 0) {
    return DISP_E_MEMBERNOTFOUND;
  }
  const std::wstring member(reinterpret_cast<const wchar_t*>(name.get()));
  if ((flags & DISPATCH_PROPERTYPUT) != 0) {
    if (params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
    Variant value;
    VariantCopy(value.get(), &params->rgvarg[0]);
    Variant text;
    VariantChangeType(text.get(), value.get(), VARIANT_ALPHABOOL, VT_BSTR);
    journal_->push_back(name_ + "." + Narrow(member) + "=" + Narrow(text.Text()));
    Set(member, std::move(value));
    return S_OK;
  }
  const auto method = methods_.find(member);
  if (method != methods_.end()) {
    journal_->push_back(name_ + "." + Narrow(member) + "()");
    return method->second(*params, result);
  }
  const auto prop = props_.find(member);
  if (prop == props_.end()) return DISP_E_MEMBERNOTFOUND;
  if (result != nullptr) VariantCopy(result, prop->second.get());
  return S_OK;
}

VARIANT ObjectArg(IDispatch* object) {
  VARIANT v;
  V_VT(&v) = VT_DISPATCH;
  V_DISPATCH(&v) = object;
  return v;
}

VARIANT FlagArg(VARIANT_BOOL* flag) {
  VARIANT v;
  V_VT(&v) = VT_BOOL | VT_BYREF;
  V_BOOLREF(&v) = flag;
  return v;
}

// The word processor with one plain document open (no workflow document handed over).
struct Host {
  std::vector<std::string> journal;
  HostObject app{"Application", DIID_IApplication, &CLSID_Application, &DIID_ApplicationEvents,
                 &journal};
  HostObject doc{"Document", DIID_IDocument, &CLSID_Document, &DIID_DocumentEvents, &journal};
  HostObject documents{"Documents", DIID_IHostCollection, nullptr, nullptr, &journal};
  HostObject bars{"CommandBars", DIID_IHostCollection, nullptr, nullptr, &journal};
  HostObject bar{"CommandBar", DIID_IHostBar, nullptr, nullptr, &journal};
  HostObject controls{"Controls", DIID_IHostCollection, nullptr, nullptr, &journal};
  HostObject button{"Button", DIID_IHostBar, nullptr, nullptr, &journal};

  Host() {
    app.SetObject(L"ActiveDocument", &doc);
    app.SetObject(L"Documents", &documents);
    app.SetObject(L"CommandBars", &bars);
    app.Set(L"UserName", Variant::String(u"Reader"));
    doc.Set(L"Name", Variant::String(u"plain.doc"));
    doc.Set(L"FullName", Variant::String(u"C:\\docs\\plain.doc"));
    for (const wchar_t* flag : {L"TrackRevisions", L"ShowRevisions", L"PrintRevisions"}) {
      doc.Set(flag, Variant::Bool(true));
    }
    documents.Set(L"Count", LongVariant(1));
    documents.On(L"Item", Returning(&doc));
    // The host raises an error for a bar it does not have.
    bars.On(L"Item", [](DISPPARAMS&, VARIANT*) { return DISP_E_BADINDEX; });
    bars.On(L"Add", Returning(&bar));
    bar.SetObject(L"Controls", &controls);
    controls.On(L"Add", Returning(&button));
  }

  static HostObject::Method Returning(HostObject* object) {
    return [object](DISPPARAMS&, VARIANT* result) {
      if (result != nullptr) *result = ObjectArg(object);
      return S_OK;
    };
  }
};

// What the add-in's side sees of the events.
class Recorder final : public host::ApplicationEvents, public host::DocumentEvents {
 public:
  explicit Recorder(host::Application& app) : app_(app) {}
  void DocumentOpen(host::Document& document) override {
    // The document handed over is the host's own handle, as found among the open documents.
    const bool same =
        &document == app_.GetDocuments().Item(1).get() && &document == app_.ActiveDocument().get();
    seen.push_back("open " + Narrow(document.Name()) + (same ? " same" : " other"));
  }
  void DocumentBeforeSave(host::Document&, bool& save_as_ui, bool& cancel) override {
    seen.push_back(std::string("before save ") + (save_as_ui ? "as" : "in place"));
    cancel = true;
  }
  void Close() override { seen.push_back("close"); }

  std::vector<std::string> seen;

 private:
  host::Application& app_;
};

TEST(HostAdapterTest, MembersAndEventsReachTheHostByName) {
  EnsureInitialized();
  ASSERT_NE(HostLibrary(), nullptr);
  Host host;
  const auto app = LateBoundApplication(&host.app);
  Recorder recorder(*app);
  app->Subscribe(&recorder);
  host.app.Raise(4, {ObjectArg(&host.doc)});
  VARIANT_BOOL save_as = VARIANT_FALSE, cancel = VARIANT_FALSE;
  host.app.Raise(8, {ObjectArg(&host.doc), FlagArg(&save_as), FlagArg(&cancel)});
  EXPECT_EQ(cancel, VARIANT_TRUE);

  const auto doc = app->ActiveDocument();
  doc->Subscribe(&recorder);
  host.doc.Raise(6, {});
  doc->Unsubscribe(&recorder);
  app->Unsubscribe(&recorder);
  EXPECT_EQ(host.doc.Subscribed() + host.app.Subscribed(), 0u);
  EXPECT_EQ(recorder.seen,
            (std::vector<std::string>{"open plain.doc same", "before save in place", "close"}));

  // Reads and writes.
  host.journal.clear();
  EXPECT_EQ(doc->FullName(), u"C:\\docs\\plain.doc");
  EXPECT_TRUE(doc->TrackRevisions());
  doc->SetTrackRevisions(false);
  app->SetUserName(u"Writer");
  EXPECT_EQ(app->UserName(), u"Writer");
  EXPECT_EQ(app->GetCommandBars().Find(u"QNMuroBar"), nullptr);
  const auto bar = app->GetCommandBars().Add(u"QNMuroBar", host::kBarTop, false, true);
  const auto button = bar->GetControls().Add(host::kControlButton, 1, std::nullopt, true);
  button->SetCaption(u"Seal");
  EXPECT_EQ(host.journal, (std::vector<std::string>{"Document.TrackRevisions=False",
                                                    "Application.UserName=Writer",
                                                    "CommandBars.Item()", "CommandBars.Add()",
                                                    "Controls.Add()", "Button.Caption=Seal"}));
  // A member the host's model lacks is the host's "object doesn't support" error.
  try {
    doc->Undo(1);
    FAIL() << "Undo reached a host without it";
  } catch (const Error& error) {
    EXPECT_EQ(error.number(), kErrNotSupported);
  }
}

TEST(HostAdapterTest, TheRegisteredAddInPreparesAnOpenedDocument) {
  Ptr<IDispatch> addin = CreateFirst<IDispatch>({L"QNMuroWPS.WPSaddin"}, IID_IDispatch);
  ASSERT_TRUE(addin) << "QNMuroWPS.WPSaddin is not registered";
  Ptr<IDTExtensibility2> connection = addin.As<IDTExtensibility2>(IID_IDTExtensibility2);
  ASSERT_TRUE(connection);
  Host host;
  ASSERT_EQ(connection->OnConnection(&host.app, ext_cm_AfterStartup, nullptr, nullptr), S_OK);
  EXPECT_EQ(host.app.Subscribed(), 1u);
  // A document that is not the workflow document: its revision marks are switched off.
  host.app.Raise(4, {ObjectArg(&host.doc)});
  for (const wchar_t* flag : {L"TrackRevisions", L"ShowRevisions", L"PrintRevisions"}) {
    EXPECT_FALSE(host.doc.GetBool(flag)) << Narrow(flag);
  }
  VARIANT_BOOL save_as = VARIANT_FALSE, cancel = VARIANT_FALSE;
  host.app.Raise(8, {ObjectArg(&host.doc), FlagArg(&save_as), FlagArg(&cancel)});
  EXPECT_EQ(cancel, VARIANT_FALSE);  // not the add-in's document: its save goes ahead
  EXPECT_EQ(connection->OnDisconnection(ext_dm_HostShutdown, nullptr), S_OK);
  EXPECT_EQ(host.app.Subscribed(), 0u);
}

}  // namespace
}  // namespace qnmuro::com
