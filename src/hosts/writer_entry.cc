#include "hosts/writer_entry.h"

#include "base/text.h"
#include "lohost/writer_host.h"

namespace qnmuro::hosts {

std::string WriterUnavailable() {
  if (lohost::WriterInstalled()) return "";
  return "Writer is not installed in " + U8(lohost::WriterProgramDir());
}

hostkit::HostFactory WriterFactory(const std::u16string& profile_dir) {
  lohost::WriterStartOptions start;
  start.profile_dir = profile_dir;
  return [start](const hostkit::HostOptions& options) {
    return lohost::StartWriterHost(options, start);
  };
}

}  // namespace qnmuro::hosts
