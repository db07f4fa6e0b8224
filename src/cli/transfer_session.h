// What the transfer commands (agent, transfer) run the add-in's own code with: the work
// directory, the event log, the registry, the terminal UI, the HTTP client and the control
// file loaded into the shared records, exactly as the add-in holds them.
#ifndef QNMURO_CLI_TRANSFER_SESSION_H_
#define QNMURO_CLI_TRANSFER_SESSION_H_

#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "base/text.h"
#include "common/context.h"
#include "common/shared_state.h"
#include "common/velto_log.h"
#include "config/config.h"
#include "platform/services.h"

namespace qnmuro::cli {

class TransferSession {
 public:
  // Prepares the work directory and the services and loads the control file. False with
  // *error set when one of them cannot be used.
  bool Open(const std::string& control_file, std::string* error) {
    if (!OpenServices(error)) return false;
    Config config(ctx_);
    if (!config.Init(Utf8ToUtf16(control_file))) {
      *error = "cannot load the control file " + control_file + ": " + U8(config.last_report());
      return false;
    }
    return true;
  }

  // The same without a control file (the pending uploads carry their own addresses and users).
  bool OpenServices(std::string* error) {
    services_ = DefaultServices();
    std::error_code ec;
    std::filesystem::create_directories(ToPath(services_.work_dir), ec);
    if (!std::filesystem::is_directory(ToPath(services_.work_dir), ec)) {
      *error = "cannot use the work directory " + U8(services_.work_dir);
      return false;
    }
    state_.eventLog = std::make_unique<VeltoLog>(services_.work_dir, services_.clock.get(),
                                                 &state_.records.commonInfo.clientLog);
    ctx_ = ContextFor(services_, &state_);
    return true;
  }

  Context& ctx() { return ctx_; }
  const ControlRecords& records() const { return state_.records; }
  std::string LogPath() const { return U8(ctx_.workDir) + "/comlog.txt"; }

 private:
  // Declared before the state: the log writes its end banner with the clock.
  Services services_;
  SharedState state_;
  Context ctx_;
};

}  // namespace qnmuro::cli

#endif  // QNMURO_CLI_TRANSFER_SESSION_H_
