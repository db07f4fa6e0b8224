#include "host_object.h"

#include "base/error.h"

namespace qnmuro::com {

// The tests' texts are ASCII.
std::string Narrow(const std::wstring& text) {
  return std::string(text.begin(), text.end());
}
std::string Narrow(const std::u16string& text) {
  return std::string(text.begin(), text.end());
}

namespace {

BSTR Allocated(const std::u16string& text) {
  return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                           static_cast<UINT>(text.size()));
}

}  // namespace

ITypeLib* HostLibrary() {
  static ITypeLib* library = [] {
    ITypeLib* loaded = nullptr;
    LoadTypeLibEx(QNMURO_FAKE_HOST_TLB, REGKIND_NONE, &loaded);
    return loaded;
  }();
  return library;
}

// A property written (plainly or by reference) goes to the journal as "Object.Member=value";
// a method called as "Object.Member()".
HRESULT HostObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                           EXCEPINFO* excep, UINT*) {
  try {
    return Dispatch(id, flags, *params, result);
  } catch (const Error& error) {
    if (excep != nullptr) {
      *excep = EXCEPINFO{};
      excep->wCode = static_cast<WORD>(error.number());
      excep->bstrDescription = Allocated(error.description());
      excep->bstrSource = Allocated(error.source());
    }
    return DISP_E_EXCEPTION;
  }
}

HRESULT HostObject::Dispatch(DISPID id, WORD flags, DISPPARAMS& params, VARIANT* result) {
  Bstr name;
  UINT found = 0;
  if (FAILED(members_->GetNames(id, name.Out(), 1, &found)) || found == 0) {
    return DISP_E_MEMBERNOTFOUND;
  }
  const std::wstring member(reinterpret_cast<const wchar_t*>(name.get()));
  if ((flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0) {
    if (params.cArgs != 1) return DISP_E_BADPARAMCOUNT;
    Variant value;
    VariantCopy(value.get(), &params.rgvarg[0]);
    Variant text;
    VariantChangeType(text.get(), value.get(), VARIANT_ALPHABOOL, VT_BSTR);
    journal_->push_back(name_ + "." + Narrow(member) + "=" + Narrow(text.Text()));
    const auto setter = setters_.find(member);
    if (setter != setters_.end()) {
      setter->second(*value.get());
    } else {
      Set(member, std::move(value));
    }
    return S_OK;
  }
  const auto method = methods_.find(member);
  if (method != methods_.end()) {
    journal_->push_back(name_ + "." + Narrow(member) + "()");
    return method->second(params, result);
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

}  // namespace qnmuro::com
