#include "com/late_bound.h"

#include <oleauto.h>

#include <vector>

#include "base/error.h"
#include "com/edge.h"

namespace qnmuro::com {

LateBound::LateBound(IDispatch* object) : object_(object) {
  object_->AddRef();
}

Variant LateBound::Get(const wchar_t* member) {
  return Invoke(member, DISPATCH_PROPERTYGET | DISPATCH_METHOD, nullptr, 0);
}

void LateBound::Put(const wchar_t* member, Variant value) {
  Invoke(member, DISPATCH_PROPERTYPUT, value.get(), 1);
}

void LateBound::PutObject(const wchar_t* member, IDispatch* value) {
  Variant object = ObjectVariant(value);
  try {
    Invoke(member, DISPATCH_PROPERTYPUTREF, object.get(), 1);
  } catch (const Error& error) {
    // An object whose property is declared as a plain write answers "no such member" to the
    // Set form.
    if (error.number() != kErrNotSupported) throw;
    Invoke(member, DISPATCH_PROPERTYPUT, object.get(), 1);
  }
}

Variant LateBound::Call(const wchar_t* member, std::initializer_list<Variant*> args) {
  // IDispatch takes its arguments last first.
  std::vector<VARIANT> reversed;
  for (auto it = args.end(); it != args.begin();) reversed.push_back(*(*--it)->get());
  return Invoke(member, DISPATCH_METHOD, reversed.data(), static_cast<UINT>(reversed.size()));
}

std::u16string LateBound::GetText(const wchar_t* member) {
  return Get(member).Text();
}

bool LateBound::GetBool(const wchar_t* member) {
  return V_BOOL(Converted(*Get(member).get(), VT_BOOL).get()) != VARIANT_FALSE;
}

long LateBound::GetLong(const wchar_t* member) {
  return V_I4(Converted(*Get(member).get(), VT_I4).get());
}

float LateBound::GetSingle(const wchar_t* member) {
  return V_R4(Converted(*Get(member).get(), VT_R4).get());
}

Ptr<IDispatch> LateBound::GetObject(const wchar_t* member) {
  Variant value = Get(member);
  return ObjectOf(*value.get());
}

Ptr<IDispatch> LateBound::CallObject(const wchar_t* member, std::initializer_list<Variant*> args) {
  Variant value = Call(member, args);
  return ObjectOf(*value.get());
}

Variant LateBound::Invoke(const wchar_t* member, WORD flags, VARIANT* args, UINT count) {
  const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  DISPID id = DISPID_UNKNOWN;
  auto* name = const_cast<LPOLESTR>(member);
  if (FAILED(object_->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id))) {
    throw MakeError(kErrNotSupported);
  }
  DISPID named_put = DISPID_PROPERTYPUT;
  DISPPARAMS params{args, put ? &named_put : nullptr, count, put ? 1u : 0u};
  Variant result;
  EXCEPINFO excep{};
  UINT arg_error = 0;
  const HRESULT hr = object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                     result.get(), &excep, &arg_error);
  if (SUCCEEDED(hr)) return result;
  // A member the object's description names but the object does not carry.
  if (hr == DISP_E_MEMBERNOTFOUND) throw MakeError(kErrNotSupported);
  if (hr == DISP_E_EXCEPTION && excep.pfnDeferredFillIn != nullptr) excep.pfnDeferredFillIn(&excep);
  const HRESULT code = hr == DISP_E_EXCEPTION ? excep.scode : hr;
  const long number = excep.wCode != 0 ? excep.wCode : static_cast<long>(HRESULT_CODE(code));
  std::u16string description = TextOf(excep.bstrDescription);
  std::u16string source = TextOf(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrHelpFile);
  if (description.empty()) throw MakeError(number);
  throw Error(number, std::move(description), source.empty() ? u"QNMuroWPS" : std::move(source));
}

Variant LongVariant(long value) {
  Variant v;
  V_VT(v.get()) = VT_I4;
  V_I4(v.get()) = value;
  return v;
}

Variant SingleVariant(float value) {
  Variant v;
  V_VT(v.get()) = VT_R4;
  V_R4(v.get()) = value;
  return v;
}

Variant LongRefVariant(long* slot) {
  Variant v;
  V_VT(v.get()) = VT_I4 | VT_BYREF;
  V_I4REF(v.get()) = slot;
  return v;
}

Variant SingleRefVariant(float* slot) {
  Variant v;
  V_VT(v.get()) = VT_R4 | VT_BYREF;
  V_R4REF(v.get()) = slot;
  return v;
}

Variant Converted(VARIANT& value, VARTYPE type) {
  Variant converted;
  if (FAILED(VariantChangeType(converted.get(), &value, 0, type))) {
    throw MakeError(kErrTypeMismatch);
  }
  return converted;
}

Variant ObjectVariant(IDispatch* object) {
  Variant v;
  object->AddRef();
  V_VT(v.get()) = VT_DISPATCH;
  V_DISPATCH(v.get()) = object;
  return v;
}

Variant MissingVariant() {
  Variant v;
  V_VT(v.get()) = VT_ERROR;
  V_ERROR(v.get()) = DISP_E_PARAMNOTFOUND;
  return v;
}

Ptr<IDispatch> ObjectOf(const VARIANT& value) {
  IDispatch* object = nullptr;
  if (V_VT(&value) == VT_DISPATCH) object = V_DISPATCH(&value);
  if (V_VT(&value) == (VT_DISPATCH | VT_BYREF) && V_DISPATCHREF(&value) != nullptr) {
    object = *V_DISPATCHREF(&value);
  }
  if (object == nullptr) throw MakeError(kErrObjectNotSet);
  object->AddRef();
  return Ptr<IDispatch>(object);
}

bool FlagOf(const VARIANT& value) {
  if (V_VT(&value) == VT_BOOL) return V_BOOL(&value) != VARIANT_FALSE;
  if (V_VT(&value) == (VT_BOOL | VT_BYREF) && V_BOOLREF(&value) != nullptr) {
    return *V_BOOLREF(&value) != VARIANT_FALSE;
  }
  throw MakeError(kErrTypeMismatch);
}

void SetFlag(VARIANT& value, bool on) {
  if (V_VT(&value) == (VT_BOOL | VT_BYREF) && V_BOOLREF(&value) != nullptr) {
    *V_BOOLREF(&value) = on ? VARIANT_TRUE : VARIANT_FALSE;
  }
}

}  // namespace qnmuro::com
