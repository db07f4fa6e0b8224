// Writer's row of the host table, from the file CMake chooses: writer_entry.cc where the
// LibreOffice SDK is, writer_entry_absent.cc (which says so) elsewhere.
#ifndef QNMURO_HOSTS_WRITER_ENTRY_H_
#define QNMURO_HOSTS_WRITER_ENTRY_H_

#include "hosts/host_table.h"

namespace qnmuro::hosts {

HostEntry WriterEntry();

}  // namespace qnmuro::hosts

#endif  // QNMURO_HOSTS_WRITER_ENTRY_H_
