// The server's objects at their boundary: a call that fails hands back no text, and a class
// whose constructor fails gives its caller an HRESULT, never an exception.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>

#include "com/class_factory.h"
#include "platform/com_win.h"
#include "qnmurowps.h"

namespace qnmuro::com {
namespace {

TEST(DataSourceObjectTest, AFailingCallHandsBackNoText) {
  EnsureInitialized();
  Ptr<IDataSource> ds;
  ASSERT_EQ(CreateDataSourceObject(IID_IDataSource, reinterpret_cast<void**>(ds.Out())), S_OK);
  BSTR text = SysAllocString(L"x");
  const struct {
    const char* method;
    std::function<HRESULT(BSTR*)> call;
  } calls[] = {
      {"ItemGetDescByName", [&](BSTR* out) { return ds->ItemGetDescByName(nullptr, out); }},
      {"ItemGetValueByName", [&](BSTR* out) { return ds->ItemGetValueByName(nullptr, out); }},
      {"ItemSetValueByName",
       [&](BSTR* out) { return ds->ItemSetValueByName(&text, nullptr, out); }},
      {"ItemGetValueByDesc", [&](BSTR* out) { return ds->ItemGetValueByDesc(nullptr, out); }},
      {"ItemSetValueByDesc",
       [&](BSTR* out) { return ds->ItemSetValueByDesc(nullptr, &text, out); }},
      {"ItemGetExtendValueByName",
       [&](BSTR* out) { return ds->ItemGetExtendValueByName(&text, nullptr, out); }},
  };
  for (const auto& c : calls) {
    // What the caller's variable held before the call must not come back as the answer.
    BSTR stale = SysAllocString(L"stale");
    BSTR result = stale;
    EXPECT_EQ(c.call(&result), E_POINTER) << c.method;
    EXPECT_EQ(result, nullptr) << c.method;
    SysFreeString(stale);
  }
  for (auto call : {&IDataSource::LoadXML, &IDataSource::ItemIsExtendExist}) {
    VARIANT_BOOL answer = VARIANT_TRUE;
    EXPECT_EQ((ds.get()->*call)(nullptr, &answer), E_POINTER);
    EXPECT_EQ(answer, VARIANT_FALSE);
  }
  SysFreeString(text);
}

// Objects whose construction fails the two ways it can.
struct Unknown : IUnknown {
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 0; }
};
struct NoMemory : Unknown {
  NoMemory() { throw std::bad_alloc(); }
};
struct Broken : Unknown {
  Broken() { throw std::runtime_error("no host"); }
};

TEST(ClassFactoryTest, AConstructorThatFailsGivesAnHresultAndNoObject) {
  void* out = &out;
  EXPECT_EQ((CreateObject<NoMemory, IUnknown>(IID_IUnknown, &out)), E_OUTOFMEMORY);
  EXPECT_EQ(out, nullptr);
  out = &out;
  EXPECT_EQ((CreateObject<Broken, IUnknown>(IID_IUnknown, &out)), E_FAIL);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ((CreateObject<Broken, IUnknown>(IID_IUnknown, nullptr)), E_POINTER);
}

}  // namespace
}  // namespace qnmuro::com
