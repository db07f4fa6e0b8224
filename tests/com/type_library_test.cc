// The server as a C++ client meets it: the type library embedded in QNMuroWPS.dll (names,
// order, parameters, help strings), the registered classes created by ProgID and called by
// member name, an error's description coming back, and the add-in connection interface.
// Needs the DLL registered (scripts/windows_tests.sh does it) and QNMURO_COM_DLL naming it.
#include <windows.h>

#include <initguid.h>
// clang-format off: the generated header must follow initguid.h.
#include "qnmurowps.h"
// clang-format on

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "base/text.h"
#include "commands/toolbar.h"
#include "platform/com_win.h"

namespace qnmuro::com {
namespace {

const IID kNoIid = {};

struct Member {
  const wchar_t* name;
  std::vector<const wchar_t*> params;  // without the return value
  VARTYPE result;                      // VT_EMPTY: none
  const wchar_t* help;                 // nullptr: none
};

const std::vector<Member>& AddInMembers() {
  static const std::vector<Member> members = [] {
    std::vector<Member> m;
    for (const wchar_t* name : {L"SetWPSBar", L"FinalizeDocument", L"ViewDocument",
                                L"ApproveDocument", L"DraftDocument"}) {
      m.push_back({name, {}, VT_EMPTY, nullptr});
    }
    for (const wchar_t* name :
         {L"TrackRevisionWithoutPrint", L"TrackRevision", L"UnTrackRevision"}) {
      m.push_back({name, {}, VT_BOOL, nullptr});
    }
    m.push_back({L"ShowRevision", {}, VT_EMPTY, nullptr});
    m.push_back({L"HideRevision", {}, VT_VARIANT, nullptr});
    m.push_back({L"MergeDataSource", {}, VT_BOOL, nullptr});
    m.push_back({L"SetDataSource", {}, VT_BOOL, nullptr});
    m.push_back({L"MakeWPSTop", {}, VT_EMPTY, nullptr});
    for (const wchar_t* name :
         {L"InsertFile_Click", L"Revision_Click", L"SetSeal_Click", L"RedHead_Click",
          L"BackToSystem_Click", L"ChangeTemplate_Click", L"InsertReport_Click"}) {
      m.push_back({name, {L"Ctrl", L"CancelDefault"}, VT_EMPTY, nullptr});
    }
    for (const wchar_t* name : {L"InsertTail", L"InsertHead", L"IsContentDocument"}) {
      m.push_back({name, {}, VT_BOOL, nullptr});
    }
    m.push_back({L"DisableToolBar", {L"strBarName"}, VT_EMPTY, nullptr});
    m.push_back({L"EnableToolBar", {L"strBarName"}, VT_EMPTY, nullptr});
    m.push_back({L"ExecuteAgent",
                 {L"strAgent", L"strPara", L"varData", L"blnReturnXML"},
                 VT_BSTR,
                 nullptr});
    return m;
  }();
  return members;
}

const std::vector<Member>& DataSourceMembers() {
  static const std::vector<Member> members = {
      {L"LoadXML", {L"FileName"}, VT_BOOL, nullptr},
      {L"ItemGetDescByName", {L"Item_Name"}, VT_BSTR, L"通过name的匹配，获取desc的值。"},
      {L"ItemGetValueByName", {L"Item_Name"}, VT_BSTR, nullptr},
      {L"ItemSetValueByName", {L"Item_Name", L"Item_Value"}, VT_BSTR, nullptr},
      {L"ItemGetValueByDesc", {L"Item_Desc"}, VT_BSTR, nullptr},
      {L"ItemSetValueByDesc", {L"Item_Desc", L"Item_Value"}, VT_BSTR, nullptr},
      {L"ItemGetExtendValueByName",
       {L"Item_Name", L"Extend_Name"},
       VT_BSTR,
       L"通过item的子节点name定位到extend，在通过extend的子节点name定位到value。"},
      {L"ItemIsExtendExist", {L"Item_Name"}, VT_BOOL, nullptr},
      {L"Save", {L"FilePath"}, VT_EMPTY, nullptr},
  };
  return members;
}

std::wstring Wide(const Bstr& text) {
  const std::u16string t = text.Text();
  return std::wstring(t.begin(), t.end());
}

std::wstring DllPath() {
  const wchar_t* path = _wgetenv(L"QNMURO_COM_DLL");
  return path != nullptr ? path : L"QNMuroWPS.dll";
}

class TypeLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureInitialized();
    ASSERT_EQ(LoadTypeLibEx(DllPath().c_str(), REGKIND_NONE, library_.Out()), S_OK);
  }

  // Checks one dual interface's functions against the table, in order.
  void CheckInterface(REFIID iid, const std::vector<Member>& expected) {
    Ptr<ITypeInfo> info;
    ASSERT_EQ(library_->GetTypeInfoOfGuid(iid, info.Out()), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FDUAL);
    // The dispatch view lists IDispatch's seven functions first.
    Ptr<ITypeInfo> vtable_info;
    HREFTYPE ref = 0;
    if (attr->typekind == TKIND_DISPATCH && info->GetRefTypeOfImplType(-1, &ref) == S_OK) {
      info->GetRefTypeInfo(ref, vtable_info.Out());
    }
    info->ReleaseTypeAttr(attr);
    ITypeInfo* iface = vtable_info ? vtable_info.get() : info.get();
    ASSERT_EQ(iface->GetTypeAttr(&attr), S_OK);
    const UINT count = attr->cFuncs;
    iface->ReleaseTypeAttr(attr);
    ASSERT_EQ(count, expected.size());
    for (UINT i = 0; i < count; ++i) {
      FUNCDESC* func = nullptr;
      ASSERT_EQ(iface->GetFuncDesc(i, &func), S_OK);
      const Member& want = expected[i];
      BSTR names[8] = {};
      UINT got = 0;
      iface->GetNames(func->memid, names, 8, &got);
      std::vector<std::wstring> actual;
      for (UINT n = 0; n < got; ++n) {
        actual.emplace_back(names[n]);
        SysFreeString(names[n]);
      }
      ASSERT_FALSE(actual.empty());
      EXPECT_EQ(actual[0], want.name) << "function " << i;
      const bool has_result = want.result != VT_EMPTY;
      ASSERT_EQ(static_cast<size_t>(func->cParams), want.params.size() + (has_result ? 1 : 0))
          << "parameters of function " << i;
      for (size_t p = 0; p < want.params.size(); ++p) {
        ASSERT_GT(actual.size(), p + 1);
        EXPECT_EQ(actual[p + 1], want.params[p]);
      }
      if (has_result) {
        const ELEMDESC& last = func->lprgelemdescParam[func->cParams - 1];
        EXPECT_TRUE(last.paramdesc.wParamFlags & PARAMFLAG_FRETVAL);
        ASSERT_EQ(last.tdesc.vt, VT_PTR);
        EXPECT_EQ(last.tdesc.lptdesc->vt, want.result) << want.name;
      }
      Bstr help;
      iface->GetDocumentation(func->memid, nullptr, help.Out(), nullptr, nullptr);
      EXPECT_EQ(Wide(help), want.help != nullptr ? want.help : L"") << want.name;
      iface->ReleaseFuncDesc(func);
    }
  }

  Ptr<ITypeLib> library_;
};

TEST_F(TypeLibraryTest, LibraryAndClassesCarryTheirNamesAndDescriptions) {
  Bstr name;
  ASSERT_EQ(library_->GetDocumentation(-1, name.Out(), nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(Wide(name), L"QNMuroWPS");
  for (auto [clsid, class_name, help] :
       {std::tuple{&CLSID_WPSaddin, L"WPSaddin", L""},
        std::tuple{&CLSID_DataSource, L"DataSource",
                   L"Word、WPS用来处理XML形式的数据源的一个类。"}}) {
    Ptr<ITypeInfo> info;
    ASSERT_EQ(library_->GetTypeInfoOfGuid(*clsid, info.Out()), S_OK);
    Bstr got_name, got_help;
    info->GetDocumentation(MEMBERID_NIL, got_name.Out(), got_help.Out(), nullptr, nullptr);
    EXPECT_EQ(Wide(got_name), class_name);
    EXPECT_EQ(Wide(got_help), help);
  }
}

TEST_F(TypeLibraryTest, InterfacesListTheOperationsInOrder) {
  CheckInterface(IID_IWPSaddin, AddInMembers());
  CheckInterface(IID_IDataSource, DataSourceMembers());
  // The button table says which click handlers the library offers.
  for (size_t i = 0; i < kBarButtonCount; ++i) {
    const BarButtonRow& row = ButtonRow(static_cast<BarButton>(i));
    const std::wstring name(row.handler_name.begin(), row.handler_name.end());
    const bool listed = std::any_of(AddInMembers().begin(), AddInMembers().end(),
                                    [&](const Member& m) { return name == m.name; });
    EXPECT_EQ(listed, row.in_type_library) << U8(row.handler_name);
  }
}

// Calls a member by name with the arguments in call order.
HRESULT CallByName(IDispatch* object, const wchar_t* name, std::vector<VARIANT> args,
                   VARIANT* result, EXCEPINFO* excep) {
  DISPID id = 0;
  auto* member = const_cast<LPOLESTR>(name);
  HRESULT hr = object->GetIDsOfNames(kNoIid, &member, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return hr;
  std::vector<VARIANT> reversed(args.rbegin(), args.rend());
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  return object->Invoke(id, kNoIid, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, excep,
                        nullptr);
}

Ptr<IDispatch> Create(const wchar_t* prog_id) {
  return CreateFirst<IDispatch>({prog_id}, IID_IDispatch);
}

TEST(RegisteredServerTest, DataSourceAnswersByNameAndRaisesItsOwnErrors) {
  Ptr<IDispatch> ds = Create(L"QNMuroWPS.DataSource");
  ASSERT_TRUE(ds) << "QNMuroWPS.DataSource is not registered";
  const std::wstring file = std::wstring(_wgetenv(L"QNMURO_COM_DATA")) + L"\\notice.ds.xml";
  Variant path = Variant::String(std::u16string(file.begin(), file.end()));
  Variant loaded;
  ASSERT_EQ(CallByName(ds.get(), L"LoadXML", {*path.get()}, loaded.get(), nullptr), S_OK);
  EXPECT_EQ(V_VT(loaded.get()), VT_BOOL);
  EXPECT_EQ(V_BOOL(loaded.get()), VARIANT_TRUE);
  Variant name = Variant::String(u"title");
  Variant desc;
  ASSERT_EQ(CallByName(ds.get(), L"ItemGetDescByName", {*name.get()}, desc.get(), nullptr), S_OK);
  EXPECT_EQ(desc.Text(), u"标题");

  Variant bad = Variant::String(u"Z:\\no\\such\\folder\\out.xml");
  Variant none;
  EXCEPINFO excep{};
  EXPECT_EQ(CallByName(ds.get(), L"Save", {*bad.get()}, none.get(), &excep), DISP_E_EXCEPTION);
  EXPECT_EQ(HRESULT_CODE(excep.scode), 75);
  EXPECT_NE(std::wstring(excep.bstrDescription ? excep.bstrDescription : L"").find(L"Cannot write"),
            std::wstring::npos);
  EXPECT_EQ(std::wstring(excep.bstrSource ? excep.bstrSource : L""), L"QNMuroWPS");
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrHelpFile);
}

std::string ReadLog() {
  const char* dir = std::getenv("QNMURO_WORKDIR");
  std::ifstream in(std::string(dir != nullptr ? dir : "C:\\OAWork") + "\\comlog.txt",
                   std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

TEST(RegisteredServerTest, AddInConnectsThroughTheConnectionInterface) {
  Ptr<IDispatch> addin = Create(L"QNMuroWPS.WPSaddin");
  ASSERT_TRUE(addin) << "QNMuroWPS.WPSaddin is not registered";
  Ptr<IDTExtensibility2> connection = addin.As<IDTExtensibility2>(IID_IDTExtensibility2);
  ASSERT_TRUE(connection);
  EXPECT_EQ(connection->OnConnection(nullptr, ext_cm_Startup, nullptr, nullptr), S_OK);
  EXPECT_EQ(connection->OnStartupComplete(nullptr), S_OK);
  EXPECT_EQ(connection->OnDisconnection(ext_dm_HostShutdown, nullptr), S_OK);
  // The log is in the ANSI code page: the start and end lines in GBK.
  const std::string log = ReadLog();
  EXPECT_NE(log.find("WPS\xb2\xe5\xbc\xfe\xbf\xaa\xca\xbc\xd3\xda"),
            std::string::npos);  // 插件开始于
  EXPECT_NE(log.find("WPS\xb2\xe5\xbc\xfe\xbd\xe1\xca\xf8\xa3\xa1"),
            std::string::npos);  // 插件结束！

  // Every operation of the add-in is reachable by name.
  for (const Member& member : AddInMembers()) {
    DISPID id = 0;
    auto* name = const_cast<LPOLESTR>(member.name);
    EXPECT_EQ(addin->GetIDsOfNames(kNoIid, &name, 1, LOCALE_USER_DEFAULT, &id), S_OK)
        << std::string(member.name, member.name + wcslen(member.name));
  }
}

}  // namespace
}  // namespace qnmuro::com
