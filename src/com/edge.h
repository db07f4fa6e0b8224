// What every method of the COM edge does at its boundary: check pointers, convert BSTR and
// VARIANT into the core's text and back, and turn a failure of the core into an HRESULT with
// the error's description and source as the caller's error information, so that a script sees
// the add-in's own text. Windows-only; nothing here is handed to the core.
#ifndef QNMURO_COM_EDGE_H_
#define QNMURO_COM_EDGE_H_

#include <windows.h>

#include <oaidl.h>

#include <optional>
#include <string>
#include <string_view>

#include "base/error.h"

namespace qnmuro::com {

// The HRESULT a failure with this error number travels as: the control facility with the
// number in its low word (what automation clients read back as the error number), E_FAIL for
// a number that does not fit.
HRESULT ErrorHresult(long number);

// Sets the thread's error information (description, source, the interface) and returns the
// error's HRESULT.
HRESULT ReportFailure(const Error& error, REFIID iid) noexcept;

// Runs `body` (which returns an HRESULT); any failure of the core becomes ReportFailure.
template <class Body>
HRESULT Guarded(REFIID iid, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return ReportFailure(CurrentError(), iid);
  }
}

// Clears an [out] result before anything can fail, so that a failing call hands back no text
// (or false); false when there is no result to clear.
inline bool Cleared(BSTR* out) {
  if (out == nullptr) return false;
  *out = nullptr;
  return true;
}
inline bool Cleared(VARIANT_BOOL* out) {
  if (out == nullptr) return false;
  *out = VARIANT_FALSE;
  return true;
}

// A BSTR's text (a null BSTR is the empty text).
std::u16string TextOf(BSTR text);
// Stores a new BSTR with the text in *out; E_OUTOFMEMORY when it cannot be allocated.
HRESULT ReturnText(std::u16string_view text, BSTR* out);
inline VARIANT_BOOL ToVariantBool(bool value) {
  return value ? VARIANT_TRUE : VARIANT_FALSE;
}

// An optional argument's text: nullopt when it was left out (or is empty or null), the value
// converted to text otherwise. Throws Error 13 when it cannot be converted.
std::optional<std::u16string> OptionalText(const VARIANT& value);

// IDispatch::Invoke through the interface's type information, with the error information
// that a failing method left copied into `excep` where the type information did not.
HRESULT InvokeByTypeInfo(ITypeInfo* type_info, void* object, DISPID member, WORD flags,
                         DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep, UINT* arg_error);

}  // namespace qnmuro::com

#endif  // QNMURO_COM_EDGE_H_
