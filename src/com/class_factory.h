// The class factories of the server's two classes. Windows-only.
#ifndef QNMURO_COM_CLASS_FACTORY_H_
#define QNMURO_COM_CLASS_FACTORY_H_

#include <windows.h>

#include <new>

namespace qnmuro::com {

// DllGetClassObject: the factory of WPSaddin or DataSource, CLASS_E_CLASSNOTAVAILABLE for any
// other class.
HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out);

// New objects, with one reference, asked for `iid`.
HRESULT CreateDataSourceObject(REFIID iid, void** out);
HRESULT CreateWPSaddinObject(REFIID iid, void** out);

// A new T (created with one reference, released through `Interface`) asked for `iid`. A
// constructor that fails stays inside the server: E_OUTOFMEMORY when memory ran out, E_FAIL for
// any other failure, and *out null.
template <class T, class Interface>
HRESULT CreateObject(REFIID iid, void** out) noexcept {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  Interface* object = nullptr;
  try {
    object = new T();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
  const HRESULT hr = object->QueryInterface(iid, out);
  object->Release();
  return hr;
}

}  // namespace qnmuro::com

#endif  // QNMURO_COM_CLASS_FACTORY_H_
