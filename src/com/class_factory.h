// The class factories of the server's two classes. Windows-only.
#ifndef QNMURO_COM_CLASS_FACTORY_H_
#define QNMURO_COM_CLASS_FACTORY_H_

#include <windows.h>

namespace qnmuro::com {

// DllGetClassObject: the factory of WPSaddin or DataSource, CLASS_E_CLASSNOTAVAILABLE for any
// other class.
HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out);

// New objects, with one reference, asked for `iid`.
HRESULT CreateDataSourceObject(REFIID iid, void** out);
HRESULT CreateWPSaddinObject(REFIID iid, void** out);

}  // namespace qnmuro::com

#endif  // QNMURO_COM_CLASS_FACTORY_H_
