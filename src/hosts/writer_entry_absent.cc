// Writer's row where this build has no LibreOffice SDK: listed, so that --host names it and
// says why it cannot be had, but never started.
#include "hosts/writer_entry.h"

#include "base/error.h"
#include "host/host.h"

namespace qnmuro::hosts {

HostEntry WriterEntry() {
  HostEntry e;
  e.name = "libreoffice";
  e.title = "Writer";
  e.full_title = "LibreOffice Writer";
  e.unavailable = [] { return std::string("this qnmuro was built without the LibreOffice SDK"); };
  e.make = [](const std::u16string&) -> hostkit::HostFactory {
    return [](const hostkit::HostOptions&) -> std::unique_ptr<hostkit::ScriptHost> {
      throw MakeError(host::kNotAvailable);
    };
  };
  e.save_formats = {u".odt", u".doc", u".docx"};
  e.keeps_deleted_text = true;
  return e;
}

}  // namespace qnmuro::hosts
