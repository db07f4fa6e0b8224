#include "hosts/writer_entry.h"

#include "base/text.h"
#include "lohost/writer_host.h"

namespace qnmuro::hosts {

HostEntry WriterEntry() {
  HostEntry e;
  e.name = "libreoffice";
  e.title = "Writer";
  e.full_title = "LibreOffice Writer";
  e.unavailable = []() -> std::string {
    if (lohost::WriterInstalled()) return "";
    return "Writer is not installed in " + U8(lohost::WriterProgramDir());
  };
  e.make = [](const std::u16string& profile_dir) -> hostkit::HostFactory {
    lohost::WriterStartOptions start;
    start.profile_dir = profile_dir;
    return [start](const hostkit::HostOptions& options) {
      return lohost::StartWriterHost(options, start);
    };
  };
  e.save_formats = {u".odt", u".doc", u".docx"};
  e.keeps_deleted_text = true;
  return e;
}

}  // namespace qnmuro::hosts
