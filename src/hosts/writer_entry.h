// What Writer's row of the host table takes from the file CMake chooses: writer_entry.cc where
// the LibreOffice SDK is, writer_entry_absent.cc (which says so) elsewhere. The row's other
// facts are in host_table.cc, the same for both.
#ifndef QNMURO_HOSTS_WRITER_ENTRY_H_
#define QNMURO_HOSTS_WRITER_ENTRY_H_

#include <string>

#include "hostkit/script_host.h"

namespace qnmuro::hosts {

// Why Writer cannot be started here; empty when it can.
std::string WriterUnavailable();
// Writer's factory, with its user profile in `profile_dir` (empty: a fresh temporary one).
hostkit::HostFactory WriterFactory(const std::u16string& profile_dir);

}  // namespace qnmuro::hosts

#endif  // QNMURO_HOSTS_WRITER_ENTRY_H_
