// qnmuro pending list | retry | drop ID: the uploads that wait in the work directory for the
// OA server (transfer/pending_uploads.h), shown, sent again or removed.
#include <iostream>
#include <memory>
#include <string>

#include "cli/command.h"
#include "cli/json.h"
#include "cli/transfer_session.h"
#include "transfer/pending_uploads.h"

namespace qnmuro::cli {
namespace {

std::string Json(const std::u16string& text) {
  return JsonQuote(Utf16ToUtf8(text));
}

std::u16string StateOf(const PendingEntry& entry) {
  if (!entry.problem.empty()) return u"unusable: " + entry.problem;
  return entry.conflict ? u"conflict" : u"pending";
}

void PrintJson(const std::vector<PendingEntry>& entries) {
  std::cout << "[";
  for (size_t i = 0; i < entries.size(); ++i) {
    const PendingEntry& e = entries[i];
    std::cout << (i ? ",\n " : "\n ") << "{\"id\": " << Json(e.id)
              << ", \"document\": " << Json(e.name) << ", \"unid\": " << Json(e.job.unid)
              << ", \"size\": " << e.size << ", \"time\": " << Json(e.time)
              << ", \"state\": " << Json(e.conflict ? u"conflict" : u"pending")
              << ", \"problem\": " << Json(e.problem) << ", \"server_tag\": " << Json(e.serverTag)
              << ", \"based_on_tag\": " << Json(e.namedTag)
              << ", \"last_error\": " << Json(e.lastError) << "}";
  }
  std::cout << (entries.empty() ? "]\n" : "\n]\n");
}

void PrintTable(const std::vector<PendingEntry>& entries) {
  if (entries.empty()) {
    std::cout << "no pending uploads\n";
    return;
  }
  for (const PendingEntry& e : entries) {
    std::cout << U8(e.id) << "  " << U8(e.name) << "  unid " << U8(e.job.unid) << "  " << e.size
              << " bytes  " << U8(e.time) << "  " << U8(StateOf(e)) << "\n";
    if (e.conflict) {
      std::cout << "    based on " << U8(e.namedTag) << ", the server has "
                << U8(e.serverTag.empty() ? u"another version" : e.serverTag) << "\n";
    }
    if (!e.lastError.empty()) std::cout << "    last error: " << U8(e.lastError) << "\n";
  }
}

struct PendingArgs {
  bool json = false;
  std::string id;
  bool yes = false;
};

int Run(const std::string& action, const PendingArgs& args) {
  TransferSession session;
  std::string error;
  if (!session.OpenServices(&error)) {
    std::cerr << "qnmuro: pending: " << error << "\n";
    return 1;
  }
  PendingUploads pending(session.ctx());
  if (action == "list") {
    const std::vector<PendingEntry> entries = pending.List();
    args.json ? PrintJson(entries) : PrintTable(entries);
    return 0;
  }
  if (action == "retry") {
    const RetryReport r = pending.RetryAll();
    std::cout << r.uploaded << " uploaded, " << r.failed << " failed, " << r.untried
              << " not tried after the failure, " << r.conflicts << " conflicts left alone, "
              << r.unusable << " unusable\n";
    if (r.failed > 0) std::cerr << "qnmuro: pending: the log is " << session.LogPath() << "\n";
    return r.failed > 0 || r.untried > 0 ? 1 : 0;
  }
  const std::u16string id = Utf8ToUtf16(args.id);
  for (const PendingEntry& e : pending.List()) {
    if (e.id != id) continue;
    if (!args.yes) {
      std::cerr << "Drop the pending upload " << args.id << " (" << U8(e.name) << ", unid "
                << U8(e.job.unid) << ", " << e.size << " bytes, " << U8(e.time)
                << ")? Its version is then on neither the server nor in the pending uploads. "
                   "[y/N] ";
      std::string answer;
      std::getline(std::cin, answer);
      if (answer != "y" && answer != "Y" && answer != "yes") {
        std::cerr << "qnmuro: pending: nothing dropped\n";
        return 1;
      }
    }
    pending.Drop(id);
    std::cout << "dropped " << args.id << "\n";
    return 0;
  }
  std::cerr << "qnmuro: pending: no pending upload " << args.id << " (see qnmuro pending list)\n";
  return 1;
}

}  // namespace

void AddPending(CLI::App& app) {
  CLI::App* pending =
      app.add_subcommand("pending", "Uploads kept in the work directory until the server confirms");
  pending->require_subcommand(1);
  auto args = std::make_shared<PendingArgs>();
  CLI::App* list = pending->add_subcommand("list", "Show them, oldest first");
  list->add_flag("--json", args->json, "one JSON array, for programs");
  list->callback([args] { ExitStatus() = Run("list", *args); });
  CLI::App* retry =
      pending->add_subcommand("retry", "Send them again, oldest first (conflicts left alone)");
  retry->callback([args] { ExitStatus() = Run("retry", *args); });
  CLI::App* drop = pending->add_subcommand("drop", "Remove one, after asking");
  drop->add_option("ID", args->id, "as `qnmuro pending list` shows it")->required();
  drop->add_flag("--yes", args->yes, "do not ask");
  drop->callback([args] { ExitStatus() = Run("drop", *args); });

  const std::vector<std::string> env = {"QNMURO_WORKDIR", "QNMURO_REGISTRY", "QNMURO_CODEPAGE",
                                        "QNMURO_CA_BUNDLE"};
  SetHelpFooter(list, {"qnmuro pending list", "qnmuro pending list --json"}, env);
  SetHelpFooter(retry, {"qnmuro pending retry"}, env);
  SetHelpFooter(drop, {"qnmuro pending drop 20261209101500-1", "qnmuro pending drop ID --yes"},
                env);
  SetHelpFooter(pending, {"qnmuro pending list", "qnmuro pending retry"}, env);
}

}  // namespace qnmuro::cli
