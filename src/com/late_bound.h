// Calls on an automation object by member name (IDispatch, late-bound), with the object's
// own error text carried into qnmuro::Error. Windows-only.
#ifndef QNMURO_COM_LATE_BOUND_H_
#define QNMURO_COM_LATE_BOUND_H_

#include <windows.h>

#include <oaidl.h>

#include <initializer_list>
#include <string>

#include "platform/com_win.h"

namespace qnmuro::com {

class LateBound {
 public:
  // Holds a reference to `object` (not null).
  explicit LateBound(IDispatch* object);

  // Property get, property put and method call. Arguments are given in call order. A member
  // the object lacks raises Error 438; a failing member raises Error with the object's own
  // number and description when it gives them, else the HRESULT's low word.
  Variant Get(const wchar_t* member);
  void Put(const wchar_t* member, Variant value);
  // An object-valued property write: by reference (the Set form) where the object takes that,
  // else as a plain write.
  void PutObject(const wchar_t* member, IDispatch* value);
  Variant Call(const wchar_t* member, std::initializer_list<Variant*> args = {});

  std::u16string GetText(const wchar_t* member);
  bool GetBool(const wchar_t* member);
  long GetLong(const wchar_t* member);
  float GetSingle(const wchar_t* member);
  // A member whose value is an object; Error 91 when it gives none.
  Ptr<IDispatch> GetObject(const wchar_t* member);
  Ptr<IDispatch> CallObject(const wchar_t* member, std::initializer_list<Variant*> args);

  IDispatch* get() const { return object_.get(); }

 private:
  Variant Invoke(const wchar_t* member, WORD flags, VARIANT* args, UINT count);

  Ptr<IDispatch> object_;
};

// A long as a VARIANT (VT_I4), and a single (VT_R4).
Variant LongVariant(long value);
Variant SingleVariant(float value);
// An argument the callee fills: a reference to the caller's long (VT_I4 | VT_BYREF) or single
// (VT_R4 | VT_BYREF). The slot must outlive the call.
Variant LongRefVariant(long* slot);
Variant SingleRefVariant(float* slot);
// `value` converted to `type`; Error 13 when it does not convert.
Variant Converted(VARIANT& value, VARTYPE type);
// An object as an argument (VT_DISPATCH, with a reference of its own).
Variant ObjectVariant(IDispatch* object);
// An optional argument left out.
Variant MissingVariant();
// The object a value holds (directly or by reference), with a reference of its own; Error 91
// when it holds none.
Ptr<IDispatch> ObjectOf(const VARIANT& value);
// An event's flag argument (VT_BOOL, directly or by reference), and writing it back where the
// raiser reads it.
bool FlagOf(const VARIANT& value);
void SetFlag(VARIANT& value, bool on);

}  // namespace qnmuro::com

#endif  // QNMURO_COM_LATE_BOUND_H_
