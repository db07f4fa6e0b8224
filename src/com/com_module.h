// The in-process server's module: its path, the count of live objects and server locks
// that DllCanUnloadNow reads, and the type information of its embedded type library.
// Windows-only.
#ifndef QNMURO_COM_COM_MODULE_H_
#define QNMURO_COM_COM_MODULE_H_

#include <windows.h>

#include <oaidl.h>

#include <string>

namespace qnmuro::com {

// The DLL's full path, as registered and as the type library is loaded from.
std::wstring ModulePath();

// Every object and server lock counts while it lives; the server may be unloaded at zero.
void AddModuleReference();
void ReleaseModuleReference();
bool ModuleInUse();

// The type information of an interface or class of the embedded type library; null (and a
// failure code) when the library cannot be read.
HRESULT LoadTypeInfo(REFGUID guid, ITypeInfo** out);

}  // namespace qnmuro::com

#endif  // QNMURO_COM_COM_MODULE_H_
