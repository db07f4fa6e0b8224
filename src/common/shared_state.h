// The state one loaded add-in shares among all its operations and documents: the event log
// and the records of the control file loaded last. There is exactly one per loaded add-in,
// owned by whoever loads it and passed explicitly; there are no mutable globals.
#ifndef QNMURO_COMMON_SHARED_STATE_H_
#define QNMURO_COMMON_SHARED_STATE_H_

#include <memory>

#include "common/records.h"

namespace qnmuro {

class VeltoLog;

struct SharedState {
  SharedState();
  ~SharedState();
  SharedState(const SharedState&) = delete;
  SharedState& operator=(const SharedState&) = delete;

  // The event log while the add-in is connected; null before connection and after
  // disconnection. Its WriteLog obeys records.commonInfo.clientLog.
  std::unique_ptr<VeltoLog> eventLog;

  // The control-file records; records.commonInfo.clientLog is the log switch.
  ControlRecords records;

  // True when the last control-file load of the workflow document failed: that document
  // must never be uploaded with another document's records.
  bool controlLoadFailed = false;
};

}  // namespace qnmuro

#endif  // QNMURO_COMMON_SHARED_STATE_H_
