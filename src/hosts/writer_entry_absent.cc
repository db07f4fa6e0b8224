// Writer where this build has no LibreOffice SDK: listed, so that --host names it and says why
// it cannot be had, but never started.
#include <memory>

#include "base/error.h"
#include "host/host.h"
#include "hosts/writer_entry.h"

namespace qnmuro::hosts {

std::string WriterUnavailable() {
  return "this qnmuro was built without the LibreOffice SDK";
}

hostkit::HostFactory WriterFactory(const std::u16string& /*profile_dir*/) {
  return [](const hostkit::HostOptions&) -> std::unique_ptr<hostkit::ScriptHost> {
    throw MakeError(host::kNotAvailable);
  };
}

}  // namespace qnmuro::hosts
