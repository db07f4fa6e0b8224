// A word processor's command-bar control, reached by member name, as the add-in's click
// handlers see the clicked button. Windows-only.
#ifndef QNMURO_COM_LATE_BOUND_CONTROL_H_
#define QNMURO_COM_LATE_BOUND_CONTROL_H_

#include <oaidl.h>

#include <memory>

#include "host/host.h"

namespace qnmuro::com {

// The control's caption, tooltip, visible and enabled states, type, style and its Execute.
// Faces, click subscriptions and a popup's controls are not reachable through it (Error 438).
std::shared_ptr<host::Control> LateBoundControl(IDispatch* control);

}  // namespace qnmuro::com

#endif  // QNMURO_COM_LATE_BOUND_CONTROL_H_
