// A word processor's command bars and their controls, reached by member name. Windows-only.
#ifndef QNMURO_COM_LATE_BOUND_CONTROL_H_
#define QNMURO_COM_LATE_BOUND_CONTROL_H_

#include <oaidl.h>

#include <memory>

#include "host/host.h"

namespace qnmuro::com {

// The control's caption, tooltip, visible and enabled states, type, style, Execute, a popup's
// controls, a button's clicks (through the control's own event interface) and a button's face
// (its Picture, a picture object made from and read back as BMP bytes; Face() gives an empty
// label, which the host does not keep). A face on a control that is not a button raises
// host::kNotAvailable.
std::shared_ptr<host::Control> LateBoundControl(IDispatch* control);

// The application's command bars; `application` is asked for them on every call.
std::unique_ptr<host::CommandBars> LateBoundCommandBars(IDispatch* application);

}  // namespace qnmuro::com

#endif  // QNMURO_COM_LATE_BOUND_CONTROL_H_
