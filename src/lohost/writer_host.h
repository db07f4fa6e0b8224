// LibreOffice Writer as the add-in's host, through UNO. This header is the Writer host's whole
// public face: no UNO type appears in it, so that the command and the tests stay free of the
// office's headers.
//
// StartWriterHost starts Writer headless in a process of its own, in a user profile of its own
// (a fresh temporary one unless a folder is given), connects to it over a pipe and returns the
// object model of host.h over it, with what `qnmuro run` inspects (hostkit/script_host.h).
// Destroying the host closes what is still open without saving, stops Writer and removes a
// temporary profile; nothing is left running.
#ifndef QNMURO_LOHOST_WRITER_HOST_H_
#define QNMURO_LOHOST_WRITER_HOST_H_

#include <memory>
#include <string>

#include "hostkit/script_host.h"

namespace qnmuro::lohost {

struct WriterStartOptions {
  // The user profile folder; empty: a fresh temporary one, removed when the host goes.
  std::u16string profile_dir;
  // How long to wait for Writer to accept the connection, in seconds.
  int start_timeout_seconds = 60;
};

// Raises an error (kNotAvailable, with the reason) when Writer does not start or connect.
std::unique_ptr<hostkit::ScriptHost> StartWriterHost(const hostkit::HostOptions& options,
                                                     const WriterStartOptions& start);

// The office's program folder this build was made against ("/usr/lib/libreoffice/program"),
// and whether Writer can be started from it (soffice.bin is there).
std::u16string WriterProgramDir();
bool WriterInstalled();

}  // namespace qnmuro::lohost

#endif  // QNMURO_LOHOST_WRITER_HOST_H_
