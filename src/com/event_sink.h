// Subscribes to an automation object's events by name. The object's default event interface is
// found in its own type information (IProvideClassInfo), the events' DISPIDs by name in that
// interface's description, and the connection point through IConnectionPointContainer, so no
// host's GUIDs are compiled in. Windows-only.
#ifndef QNMURO_COM_EVENT_SINK_H_
#define QNMURO_COM_EVENT_SINK_H_

#include <oaidl.h>
#include <ocidl.h>

#include <functional>
#include <utility>
#include <vector>

namespace qnmuro::com {

class EventSink {
 public:
  // Called with the event's arguments (last first, as IDispatch hands them over). A handler's
  // failure is caught and ends there: nothing travels back into the object raising the event.
  using Handler = std::function<void(DISPPARAMS& args)>;

  // Subscribes `handlers` (event name, handler) to `source`. Throws Error 438 when the object
  // describes no event interface, has no connection point for it, or lacks a named event.
  EventSink(IDispatch* source, std::vector<std::pair<const wchar_t*, Handler>> handlers);
  // Unsubscribes.
  ~EventSink();
  EventSink(const EventSink&) = delete;
  EventSink& operator=(const EventSink&) = delete;

 private:
  class Receiver;

  IConnectionPoint* point_ = nullptr;
  Receiver* receiver_ = nullptr;
  DWORD cookie_ = 0;
};

}  // namespace qnmuro::com

#endif  // QNMURO_COM_EVENT_SINK_H_
