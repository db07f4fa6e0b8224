// The add-in's command bars as real toolbars of Writer's document windows, for the add-in in
// Writer's own process. A button's command is kCommandProtocol + "<bar>/<index from 0>"; the
// extension's protocol handler runs it (Execute) through RunCommand.
#ifndef QNMURO_LOHOST_LO_TOOLBAR_H_
#define QNMURO_LOHOST_LO_TOOLBAR_H_

#include <string>

#include "lohost/lo_model.h"

namespace qnmuro::lohost {

inline constexpr char kCommandProtocol[] = "vnd.qnmuro.wps:";

// Shows each bar the add-in added in every window of the application's documents (resource
// "private:resource/toolbar/custom_<bar name>"), with its visible buttons' captions in order,
// and removes toolbars of bars that are gone. Failures leave the windows as they were.
// Each window's options command (.uno:OptionsTreeDialog) is intercepted too: unavailable while
// the add-in has disabled its options menu item.
void ShowToolbars(LoApplication& app);
// The add-in is going: the interceptors let every options command through again.
void ForgetToolbars();

// The control a command names, or null.
std::shared_ptr<host::Control> CommandControl(LoApplication& app, const OUString& url);

}  // namespace qnmuro::lohost

#endif  // QNMURO_LOHOST_LO_TOOLBAR_H_
