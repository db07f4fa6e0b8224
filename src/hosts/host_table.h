// The word processors the command can drive, registered in one table: `qnmuro run` and `demo`
// (--host), `handover check` (which one reads the bookmarks), the shell completion (through
// `qnmuro hosts`) and the host conformance suite all read it. The first host is the default
// and always available.
#ifndef QNMURO_HOSTS_HOST_TABLE_H_
#define QNMURO_HOSTS_HOST_TABLE_H_

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "hostkit/script_host.h"

namespace qnmuro::hosts {

struct HostEntry {
  // The --host value: "sim", "libreoffice".
  std::string name;
  // What --help says after the name, in parentheses; empty: nothing.
  std::string help_note;
  // How messages name it: "Writer"; and in full, when nothing else says which office it is.
  std::string title;
  std::string full_title;
  // Why it cannot be started here, one phrase ("this qnmuro was built without ..."); empty
  // when it can.
  std::function<std::string()> unavailable;
  // Its factory. `profile_dir`: the user profile folder of a host that keeps one (empty: a
  // fresh temporary one); the others ignore it.
  std::function<hostkit::HostFactory(const std::u16string& profile_dir)> make;
  // The file extensions it saves and reopens with text, bookmarks and revisions intact; the
  // first is its own.
  std::vector<std::u16string> save_formats;
  // Whether a tracked deletion stays in the main text, marked deleted, until it is accepted.
  bool keeps_deleted_text = false;

  bool available() const { return unavailable().empty(); }
};

// Every host, the default first.
const std::vector<HostEntry>& HostTable();
// The host called `name`; null when there is none.
const HostEntry* FindHost(std::string_view name);
// The hosts' names in table order.
std::vector<std::string> HostNames();

}  // namespace qnmuro::hosts

#endif  // QNMURO_HOSTS_HOST_TABLE_H_
