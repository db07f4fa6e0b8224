#include "com/edge.h"

#include <oleauto.h>

#include <vector>

#include "platform/com_win.h"

namespace qnmuro::com {

HRESULT ErrorHresult(long number) {
  if (number <= 0 || number > 0xFFFF) return E_FAIL;
  return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, number);
}

HRESULT ReportFailure(const Error& error, REFIID iid) noexcept {
  Ptr<ICreateErrorInfo> create;
  if (SUCCEEDED(CreateErrorInfo(create.Out()))) {
    create->SetGUID(iid);
    Bstr source(error.source());
    Bstr description(error.description());
    create->SetSource(source.get());
    create->SetDescription(description.get());
    Ptr<IErrorInfo> info = create.As<IErrorInfo>(IID_IErrorInfo);
    if (info) SetErrorInfo(0, info.get());
  }
  return ErrorHresult(error.number());
}

std::u16string TextOf(BSTR text) {
  if (text == nullptr) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
}

HRESULT ReturnText(std::u16string_view text, BSTR* out) {
  *out = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                           static_cast<UINT>(text.size()));
  return *out == nullptr ? E_OUTOFMEMORY : S_OK;
}

std::optional<std::u16string> OptionalText(const VARIANT& value) {
  VARIANT plain;
  VariantInit(&plain);
  if (FAILED(VariantCopyInd(&plain, const_cast<VARIANT*>(&value))))
    throw MakeError(kErrTypeMismatch);
  std::optional<std::u16string> text;
  const bool missing = V_VT(&plain) == VT_EMPTY || V_VT(&plain) == VT_NULL ||
                       (V_VT(&plain) == VT_ERROR && V_ERROR(&plain) == DISP_E_PARAMNOTFOUND);
  if (!missing) {
    VARIANT converted;
    VariantInit(&converted);
    const HRESULT hr = VariantChangeType(&converted, &plain, 0, VT_BSTR);
    if (SUCCEEDED(hr)) text = TextOf(V_BSTR(&converted));
    VariantClear(&converted);
    if (FAILED(hr)) {
      VariantClear(&plain);
      throw MakeError(kErrTypeMismatch);
    }
  }
  VariantClear(&plain);
  return text;
}

HRESULT InvokeByTypeInfo(ITypeInfo* type_info, void* object, DISPID member, WORD flags,
                         DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep, UINT* arg_error) {
  if (type_info == nullptr) return E_UNEXPECTED;
  // A script passes its variables by reference as variants, which the type library's text
  // parameters (BSTR by reference) do not take: hand the values over instead. No operation
  // writes its arguments back, so the caller's variables keep what they held either way.
  std::vector<VARIANT> args;
  DISPPARAMS unwrapped{};
  if (params != nullptr) {
    args.assign(params->rgvarg, params->rgvarg + params->cArgs);
    for (VARIANT& arg : args) {
      if (V_VT(&arg) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(&arg) != nullptr) {
        arg = *V_VARIANTREF(&arg);
      }
    }
    unwrapped = *params;
    unwrapped.rgvarg = args.data();
    params = &unwrapped;
  }
  SetErrorInfo(0, nullptr);
  EXCEPINFO local{};
  EXCEPINFO* info = excep != nullptr ? excep : &local;
  const HRESULT hr = type_info->Invoke(object, member, flags, params, result, info, arg_error);
  if (hr == DISP_E_EXCEPTION && info->bstrDescription == nullptr) {
    // Not every automation runtime copies the method's error information into the exception
    // record; the caller's script reads its description from there.
    Ptr<IErrorInfo> error;
    if (GetErrorInfo(0, error.Out()) == S_OK && error) {
      error->GetDescription(&info->bstrDescription);
      if (info->bstrSource == nullptr) error->GetSource(&info->bstrSource);
      SetErrorInfo(0, error.get());
    }
  }
  if (info == &local) {
    SysFreeString(local.bstrDescription);
    SysFreeString(local.bstrSource);
    SysFreeString(local.bstrHelpFile);
  }
  return hr;
}

}  // namespace qnmuro::com
