// The word processor's application object as the add-in's host, reached by member name
// (IDispatch, late-bound, every name from host_members.h) and its events through connection
// points found in the objects' own type information. Windows-only.
#ifndef QNMURO_COM_LATE_BOUND_HOST_H_
#define QNMURO_COM_LATE_BOUND_HOST_H_

#include <oaidl.h>

#include <memory>

#include "host/host.h"

namespace qnmuro::com {

// The application and, through it, its documents with their bookmarks, shapes and ranges, the
// selection, the active window, the options and command bars. One host document is one
// host::Document object for as long as the add-in holds it, so the document an event hands
// over is the one found among the open documents. A window shows only ranges this adapter
// handed out (Error 91 for any other range); its conversion of screen rectangles calls the
// member named kScreenToDocument in host_members.h, a name of this project's choosing.
std::unique_ptr<host::Application> LateBoundApplication(IDispatch* application);

// A new adapter of one host document (its bookmarks, shapes, ranges and close event).
std::shared_ptr<host::Document> LateBoundDocument(IDispatch* document);

}  // namespace qnmuro::com

#endif  // QNMURO_COM_LATE_BOUND_HOST_H_
