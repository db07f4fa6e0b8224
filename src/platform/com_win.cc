#include "platform/com_win.h"

namespace qnmuro::com {
namespace {

// Balances a successful CoInitializeEx when the thread ends.
struct ThreadCom {
  ThreadCom() : initialized(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~ThreadCom() {
    if (initialized) CoUninitialize();
  }
  bool initialized;
};

}  // namespace

void EnsureInitialized() {
  thread_local ThreadCom com;
}

Variant Variant::String(std::u16string_view text) {
  Variant v;
  v.v_.vt = VT_BSTR;
  v.v_.bstrVal = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                                   static_cast<UINT>(text.size()));
  return v;
}

Variant Variant::Bool(bool value) {
  Variant v;
  v.v_.vt = VT_BOOL;
  v.v_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

Variant Variant::Bytes(std::string_view bytes) {
  Variant v;
  SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
  if (array == nullptr) return v;
  void* data = nullptr;
  if (SUCCEEDED(SafeArrayAccessData(array, &data))) {
    if (!bytes.empty()) memcpy(data, bytes.data(), bytes.size());
    SafeArrayUnaccessData(array);
  }
  v.v_.vt = VT_ARRAY | VT_UI1;
  v.v_.parray = array;
  return v;
}

std::u16string Variant::Text() const {
  if (v_.vt == VT_BSTR) {
    return v_.bstrVal == nullptr ? std::u16string()
                                 : std::u16string(reinterpret_cast<const char16_t*>(v_.bstrVal),
                                                  SysStringLen(v_.bstrVal));
  }
  VARIANT copy;
  VariantInit(&copy);
  std::u16string text;
  if (SUCCEEDED(VariantChangeType(&copy, const_cast<VARIANT*>(&v_), 0, VT_BSTR))) {
    text.assign(reinterpret_cast<const char16_t*>(copy.bstrVal), SysStringLen(copy.bstrVal));
  }
  VariantClear(&copy);
  return text;
}

}  // namespace qnmuro::com
