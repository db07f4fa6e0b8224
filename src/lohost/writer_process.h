// A headless Writer in a process of its own, in a user profile of its own, reached over a
// pipe. Internal to lohost.
#ifndef QNMURO_LOHOST_WRITER_PROCESS_H_
#define QNMURO_LOHOST_WRITER_PROCESS_H_

#include <sys/types.h>
#include <com/sun/star/uno/XComponentContext.hpp>

#include <memory>
#include <string>

#include "lohost/writer_host.h"

namespace qnmuro::lohost {

struct RunningWriter;

class WriterProcess {
 public:
  // Starts Writer and connects; kNotAvailable with the reason when it does not come up in
  // time (the process is then stopped again).
  static std::unique_ptr<WriterProcess> Start(const WriterStartOptions& options);
  // Stops Writer: asks it to terminate, waits, then kills what is left of its process group,
  // and removes a temporary profile. A SIGTERM, SIGINT or SIGHUP that ends the program (one it
  // neither ignores nor handles itself) does the same first: the handler is set by the first
  // Start.
  ~WriterProcess();
  WriterProcess(const WriterProcess&) = delete;
  WriterProcess& operator=(const WriterProcess&) = delete;

  // Writer's component context, over the connection.
  const css::uno::Reference<css::uno::XComponentContext>& Context() const { return remote_; }
  pid_t pid() const { return pid_; }

 private:
  WriterProcess() = default;
  void Stop();
  // Writer's process is now `pid` (none when not above 0), for the stop signals' handler.
  void Spawned(pid_t pid);

  pid_t pid_ = -1;
  RunningWriter* running_ = nullptr;  // its record for the stop signals' handler
  std::string profile_;               // UTF-8 path
  bool temporary_profile_ = false;
  css::uno::Reference<css::uno::XComponentContext> remote_;
};

}  // namespace qnmuro::lohost

#endif  // QNMURO_LOHOST_WRITER_PROCESS_H_
