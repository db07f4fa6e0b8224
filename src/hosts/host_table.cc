#include "hosts/host_table.h"

#include <memory>

#include "hosts/writer_entry.h"
#include "simhost/sim_host.h"

namespace qnmuro::hosts {
namespace {

HostEntry SimEntry() {
  HostEntry e;
  e.name = "sim";
  e.help_note = "the simulated one";
  e.title = e.full_title = "the simulated word processor";
  e.unavailable = [] { return std::string(); };
  e.make = [](const std::u16string&) -> hostkit::HostFactory {
    return [](const hostkit::HostOptions& options) -> std::unique_ptr<hostkit::ScriptHost> {
      return simhost::NewSimApplication(options);
    };
  };
  e.save_formats = {u".fodt"};
  e.keeps_deleted_text = false;
  return e;
}

HostEntry WriterEntry() {
  HostEntry e;
  e.name = "libreoffice";
  e.title = "Writer";
  e.full_title = "LibreOffice Writer";
  e.unavailable = WriterUnavailable;
  e.make = WriterFactory;
  e.save_formats = {u".odt", u".doc", u".docx"};
  e.keeps_deleted_text = true;
  return e;
}

}  // namespace

const std::vector<HostEntry>& HostTable() {
  static const std::vector<HostEntry> table = {SimEntry(), WriterEntry()};
  return table;
}

const HostEntry* FindHost(std::string_view name) {
  for (const HostEntry& entry : HostTable()) {
    if (entry.name == name) return &entry;
  }
  return nullptr;
}

std::vector<std::string> HostNames() {
  std::vector<std::string> names;
  for (const HostEntry& entry : HostTable()) names.push_back(entry.name);
  return names;
}

}  // namespace qnmuro::hosts
