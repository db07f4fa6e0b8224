// The --host choice of `run`, `demo` and `handover check`, read from the host table
// (hosts/host_table.h), and `qnmuro hosts`: the table's names for the shell completion, a
// subcommand kept out of the help.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "base/text.h"
#include "cli/command.h"
#include "hosts/host_table.h"

namespace qnmuro::cli {

std::string HostChoices(bool with_notes) {
  const std::vector<hosts::HostEntry>& table = hosts::HostTable();
  std::string out;
  for (size_t i = 0; i < table.size(); ++i) {
    if (i > 0) out += i + 1 == table.size() ? " or " : ", ";
    out += table[i].name;
    if (with_notes && !table[i].help_note.empty()) out += " (" + table[i].help_note + ")";
  }
  return out;
}

CLI::Validator HostValidator() {
  return CLI::IsMember(hosts::HostNames());
}

hostkit::HostFactory HostFactoryFor(const HostChoice& choice) {
  const hosts::HostEntry* entry = hosts::FindHost(choice.host);
  if (entry == nullptr) Usage("--host " + choice.host + ": no such word processor");
  const std::string why = entry->unavailable();
  if (!why.empty()) Usage("--host " + entry->name + ": " + why);
  return entry->make(Utf8ToUtf16(choice.profile));
}

void AddHostOptions(CLI::App& command, HostChoice& choice) {
  command.add_option("--host", choice.host, "the word processor: " + HostChoices(true))
      ->check(HostValidator());
  command.add_option(
      "--profile", choice.profile,
      "with --host libreoffice: Writer's user profile folder (default: a fresh temporary one)");
}

void AddHosts(CLI::App& app) {
  // The completion asks for the names; people read them in the help of --host.
  CLI::App* listing = app.add_subcommand("hosts", "List the word processors --host can name");
  listing->group("");
  listing->callback([] {
    for (const std::string& name : hosts::HostNames()) std::cout << name << "\n";
  });
  SetHelpFooter(listing, {"qnmuro hosts"}, {});
}

}  // namespace qnmuro::cli
