// What the transfer commands (agent, transfer, handover) run the add-in's own code with: the
// work directory, the event log, the registry, the terminal UI, the HTTP client (watched: see
// watched_http.h) and the control file loaded into the shared records, exactly as the add-in
// holds them.
#ifndef QNMURO_CLI_TRANSFER_SESSION_H_
#define QNMURO_CLI_TRANSFER_SESSION_H_

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "cli/watched_http.h"
#include "common/context.h"
#include "common/shared_state.h"
#include "platform/services.h"

namespace qnmuro::cli {

class TransferSession {
 public:
  // Prepares the work directory and the services and loads the control file. False with
  // *error set when one of them cannot be used.
  bool Open(const std::string& control_file, std::string* error);
  // The same without a control file (the pending uploads carry their own addresses and users).
  bool OpenServices(std::string* error);

  Context& ctx() { return ctx_; }
  const ControlRecords& records() const { return state_.records; }
  std::string LogPath() const;
  // The status of the last response, on the agent's client where the platform has one.
  int last_status() const;
  // Why the last request that failed or was refused did not succeed, in words; or empty.
  std::string last_trouble() const;

  // Downloads `url` into `local` (relative: in the work directory) or uploads the file `local`
  // to `url`, with the user and password the add-in would take. On failure *reason says why in
  // words where the exchange tells, followed by the last error line the transfer wrote to the
  // log (UTF-8), or its own failure text.
  bool Transfer(const std::string& url, const std::string& local, bool upload, std::string* reason);

 private:
  std::filesystem::path LogFile() const;
  // The text of the last error line appended to the log since byte `from`, or empty.
  std::string LastErrorLineSince(uintmax_t from) const;

  // Declared before the state: the log writes its end banner with the clock.
  Services services_;
  std::unique_ptr<WatchedHttpClient> watched_;
  std::unique_ptr<WatchedHttpClient> watched_agent_;
  SharedState state_;
  Context ctx_;
};

}  // namespace qnmuro::cli

#endif  // QNMURO_CLI_TRANSFER_SESSION_H_
