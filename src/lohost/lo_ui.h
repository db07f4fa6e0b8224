// The add-in's boxes in Writer's own process: LibreOffice's message boxes, an input box and
// the add-in's forms as dialogs, and its file dialog, over the active window.
#ifndef QNMURO_LOHOST_LO_UI_H_
#define QNMURO_LOHOST_LO_UI_H_

#include <com/sun/star/uno/XComponentContext.hpp>

#include <memory>

#include "platform/ui.h"

namespace qnmuro::lohost {

std::unique_ptr<UiService> NewWriterUi(
    const com::sun::star::uno::Reference<com::sun::star::uno::XComponentContext>& context);

}  // namespace qnmuro::lohost

#endif  // QNMURO_LOHOST_LO_UI_H_
