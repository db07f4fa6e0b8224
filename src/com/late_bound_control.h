// A word processor's command bars and their controls, reached by member name. Windows-only.
#ifndef QNMURO_COM_LATE_BOUND_CONTROL_H_
#define QNMURO_COM_LATE_BOUND_CONTROL_H_

#include <oaidl.h>

#include <memory>

#include "host/host.h"

namespace qnmuro::com {

// The control's caption, tooltip, visible and enabled states, type, style, Execute, a popup's
// controls and a button's clicks (through the control's own event interface). Faces are not
// reachable through it (Error 438): the toolbar is built without them.
std::shared_ptr<host::Control> LateBoundControl(IDispatch* control);

// The application's command bars; `application` is asked for them on every call.
std::unique_ptr<host::CommandBars> LateBoundCommandBars(IDispatch* application);

}  // namespace qnmuro::com

#endif  // QNMURO_COM_LATE_BOUND_CONTROL_H_
