// DataSource as a COM class: each method clears its result, checks its pointers, hands the
// texts to the core's DataSource and returns its result. Lookups trap their own failures in the
// core; only Save raises, and its error reaches the caller with the core's description.
#include "com/class_factory.h"
#include "com/dual_object.h"
#include "com/edge.h"
#include "datasource/data_source.h"
#include "qnmurowps.h"

namespace qnmuro::com {
namespace {

class DataSourceObject final : public DualObject<IDataSource, &IID_IDataSource> {
 public:
  HRESULT STDMETHODCALLTYPE LoadXML(BSTR* FileName, VARIANT_BOOL* result) override {
    if (!Cleared(result) || FileName == nullptr) return E_POINTER;
    return Guarded(IID_IDataSource, [&] {
      *result = ToVariantBool(core_.LoadXML(TextOf(*FileName)));
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE ItemGetDescByName(BSTR* Item_Name, BSTR* result) override {
    if (!Cleared(result) || Item_Name == nullptr) return E_POINTER;
    return Guarded(IID_IDataSource,
                   [&] { return ReturnText(core_.ItemGetDescByName(TextOf(*Item_Name)), result); });
  }
  HRESULT STDMETHODCALLTYPE ItemGetValueByName(BSTR* Item_Name, BSTR* result) override {
    if (!Cleared(result) || Item_Name == nullptr) return E_POINTER;
    return Guarded(IID_IDataSource, [&] {
      return ReturnText(core_.ItemGetValueByName(TextOf(*Item_Name)), result);
    });
  }
  HRESULT STDMETHODCALLTYPE ItemSetValueByName(BSTR* Item_Name, BSTR* Item_Value,
                                               BSTR* result) override {
    if (!Cleared(result) || Item_Name == nullptr || Item_Value == nullptr) return E_POINTER;
    return Guarded(IID_IDataSource, [&] {
      return ReturnText(core_.ItemSetValueByName(TextOf(*Item_Name), TextOf(*Item_Value)), result);
    });
  }
  HRESULT STDMETHODCALLTYPE ItemGetValueByDesc(BSTR* Item_Desc, BSTR* result) override {
    if (!Cleared(result) || Item_Desc == nullptr) return E_POINTER;
    return Guarded(IID_IDataSource, [&] {
      return ReturnText(core_.ItemGetValueByDesc(TextOf(*Item_Desc)), result);
    });
  }
  HRESULT STDMETHODCALLTYPE ItemSetValueByDesc(BSTR* Item_Desc, BSTR* Item_Value,
                                               BSTR* result) override {
    if (!Cleared(result) || Item_Desc == nullptr || Item_Value == nullptr) return E_POINTER;
    return Guarded(IID_IDataSource, [&] {
      return ReturnText(core_.ItemSetValueByDesc(TextOf(*Item_Desc), TextOf(*Item_Value)), result);
    });
  }
  HRESULT STDMETHODCALLTYPE ItemGetExtendValueByName(BSTR* Item_Name, BSTR* Extend_Name,
                                                     BSTR* result) override {
    if (!Cleared(result) || Item_Name == nullptr || Extend_Name == nullptr) return E_POINTER;
    return Guarded(IID_IDataSource, [&] {
      return ReturnText(core_.ItemGetExtendValueByName(TextOf(*Item_Name), TextOf(*Extend_Name)),
                        result);
    });
  }
  HRESULT STDMETHODCALLTYPE ItemIsExtendExist(BSTR* Item_Name, VARIANT_BOOL* result) override {
    if (!Cleared(result) || Item_Name == nullptr) return E_POINTER;
    return Guarded(IID_IDataSource, [&] {
      *result = ToVariantBool(core_.ItemIsExtendExist(TextOf(*Item_Name)));
      return S_OK;
    });
  }
  HRESULT STDMETHODCALLTYPE Save(BSTR* FilePath) override {
    if (FilePath == nullptr) return E_POINTER;
    return Guarded(IID_IDataSource, [&] {
      core_.Save(TextOf(*FilePath));
      return S_OK;
    });
  }

 private:
  // Created on its own by a script or macro, the object has no add-in's event log to write
  // to: its failures are not logged.
  DataSource core_;
};

}  // namespace

HRESULT CreateDataSourceObject(REFIID iid, void** out) {
  return CreateObject<DataSourceObject, IDataSource>(iid, out);
}

}  // namespace qnmuro::com
