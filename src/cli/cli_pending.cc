// qnmuro pending list | retry | password ID | drop ID | forget-tag UNID NAME: the uploads that
// wait in the work directory for the OA server (transfer/pending_uploads.h), shown, sent again
// (with the password given anew), or removed; and a version tag that no longer describes the
// document forgotten.
#include <algorithm>
#include <iostream>
#include <memory>
#include <string>

#include "cli/command.h"
#include "cli/json.h"
#include "cli/transfer_session.h"
#include "common/cipher.h"
#include "common/identity.h"
#include "platform/ui.h"
#include "transfer/pending_uploads.h"
#include "transfer/version_tags.h"

namespace qnmuro::cli {
namespace {

std::u16string StateName(const PendingEntry& entry) {
  if (!entry.problem.empty()) return u"unusable";
  if (!entry.AddressUsable()) return u"no-address";
  return entry.conflict ? u"conflict" : entry.refused ? u"refused" : u"pending";
}

std::u16string StateOf(const PendingEntry& entry) {
  if (!entry.problem.empty()) return u"unusable: " + entry.problem;
  if (!entry.AddressUsable()) {
    return u"no-address: \"" + entry.job.url +
           u"\" is no absolute http(s) address; never sent (fix the control file's uploadUrl)";
  }
  return StateName(entry);
}

// For the table: control characters (from a folder or file name) shown as escapes, never sent
// to the terminal.
std::string Shown(const std::u16string& text) {
  std::string out;
  for (char c : U8(text)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) {
      static constexpr char kDigits[] = "0123456789abcdef";
      out += std::string("\\x") + kDigits[byte >> 4] + kDigits[byte & 15];
    } else {
      out += c;
    }
  }
  return out;
}

void PrintJson(const std::vector<PendingEntry>& entries) {
  std::vector<std::string> items;
  for (const PendingEntry& e : entries) {
    items.push_back(JsonObject()
                        .Text("id", U8(e.id))
                        .Text("document", U8(e.name))
                        .Text("unid", U8(e.job.unid))
                        .Raw("size", std::to_string(e.size))
                        .Text("time", U8(e.time))
                        .Text("state", U8(StateName(e)))
                        .Text("problem", U8(e.problem))
                        .Text("serverTag", U8(e.serverTag))
                        .Text("basedOnTag", U8(e.namedTag))
                        .Text("lastError", U8(e.lastError))
                        .Done());
  }
  std::cout << JsonArray(items) << "\n";
}

void PrintTable(const std::vector<PendingEntry>& entries) {
  if (entries.empty()) {
    std::cout << "no pending uploads\n";
    return;
  }
  for (const PendingEntry& e : entries) {
    std::cout << Shown(e.id) << "  " << Shown(e.name) << "  unid " << Shown(e.job.unid) << "  "
              << e.size << " bytes  " << Shown(e.time) << "  " << Shown(StateOf(e)) << "\n";
    if (e.conflict) {
      std::cout << "    based on " << Shown(e.namedTag) << ", the server has "
                << Shown(e.serverTag.empty() ? u"another version" : e.serverTag) << "\n";
    }
    if (e.refused) {
      std::cout << "    the server refused user " << Shown(e.job.user)
                << "'s password: qnmuro pending password " << Shown(e.id) << "\n";
    }
    if (!e.lastError.empty()) std::cout << "    last error: " << Shown(e.lastError) << "\n";
  }
}

struct PendingArgs {
  bool json = false;
  std::string id;
  bool yes = false;
  std::string unid;
  std::string name;
};

const char* OutcomeText(UploadOutcome outcome) {
  switch (outcome) {
    case UploadOutcome::kUploaded:
      return "uploaded";
    case UploadOutcome::kConflict:
      return "refused as a conflict: another user's version is on the server; kept";
    case UploadOutcome::kRefused:
      return "the server refused the password again; kept";
    case UploadOutcome::kUnusable:
      return "not sent: the entry is unusable";
    case UploadOutcome::kGone:
      return "not sent: the entry went meanwhile";
    case UploadOutcome::kNoAddress:
      return "not sent: its upload address is no absolute http(s) address; kept";
    case UploadOutcome::kFailed:
    case UploadOutcome::kNotKept:
      break;
  }
  return "not confirmed by the server; kept";
}

int Retry(TransferSession& session, PendingUploads& pending) {
  const RetryReport r = pending.RetryAll();
  std::cout << r.uploaded << " uploaded, " << r.failed << " failed, " << r.untried
            << " not tried after the failure, " << r.conflicts << " conflicts left alone, "
            << r.refused << " refused for the password, " << r.unusable << " unusable, "
            << r.no_address << " without a usable address\n";
  if (r.failed > 0) {
    const std::string trouble = session.last_trouble();
    std::cerr << "qnmuro: pending: " << (trouble.empty() ? "" : trouble + "; ") << "the log is "
              << session.LogPath() << "\n";
  }
  return r.failed > 0 || r.untried > 0 ? 1 : 0;
}

int ForgetTag(TransferSession& session, const PendingArgs& args) {
  const DocumentFile file{Utf8ToUtf16(args.unid), Utf8ToUtf16(args.name)};
  const std::u16string tag = HeldVersionTag(session.ctx(), file);
  if (tag.empty()) {
    std::cout << "no version tag held for " << args.unid << "/" << args.name << "\n";
    return 0;
  }
  RecordVersionTag(session.ctx(), file, u"");
  if (!HeldVersionTag(session.ctx(), file).empty()) {
    std::cerr << "qnmuro: pending: the registry keeps the tag (it cannot be written)\n";
    return 1;
  }
  std::cout << "forgot " << U8(tag) << " for " << args.unid << "/" << args.name
            << ": its next upload replaces whatever the server has\n";
  return 0;
}

int NoSuchEntry(const PendingArgs& args) {
  std::cerr << "qnmuro: pending: no pending upload " << args.id << " (see qnmuro pending list)\n";
  return 1;
}

int Password(TransferSession& session, PendingUploads& pending, const PendingArgs& args) {
  const std::u16string id = Utf8ToUtf16(args.id);
  const std::vector<PendingEntry> entries = pending.List();
  const auto entry = std::find_if(entries.begin(), entries.end(),
                                  [&](const PendingEntry& e) { return e.id == id; });
  if (entry == entries.end()) return NoSuchEntry(args);
  const std::optional<std::u16string> typed =
      session.ctx().ui->AskText(kPasswordAgainPrompt, kPasswordPromptTitle, u"");
  if (!typed || typed->empty()) {
    std::cerr << "qnmuro: pending: no password given; nothing sent\n";
    return 1;
  }
  SaveUserPassword(session.ctx(), entry->job.user, *typed);
  const UploadOutcome outcome = pending.SendWithPassword(id, EncryptString(session.ctx(), *typed))
                                    .value_or(UploadOutcome::kGone);
  std::cout << args.id << ": " << OutcomeText(outcome) << "\n";
  return outcome == UploadOutcome::kUploaded ? 0 : 1;
}

int Drop(PendingUploads& pending, const PendingArgs& args) {
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
    if (!pending.Drop(id)) {
      std::cerr << "qnmuro: pending: " << Shown(id) << " could not be removed (another "
                << "program may be sending it; try again); nothing dropped\n";
      return 1;
    }
    std::cout << "dropped " << Shown(id) << "\n";
    return 0;
  }
  return NoSuchEntry(args);
}

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
  if (action == "retry") return Retry(session, pending);
  if (action == "forget-tag") return ForgetTag(session, args);
  if (action == "password") return Password(session, pending, args);
  return Drop(pending, args);
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
  CLI::App* password = pending->add_subcommand(
      "password", "Ask for the user's password again and send one the server refused");
  password->add_option("ID", args->id, "as `qnmuro pending list` shows it")->required();
  password->callback([args] { ExitStatus() = Run("password", *args); });
  CLI::App* forget = pending->add_subcommand(
      "forget-tag", "Forget the version tag held for a document that came another way");
  forget->add_option("UNID", args->unid, "the document's unid")->required();
  forget->add_option("NAME", args->name, "its file name")->required();
  forget->callback([args] { ExitStatus() = Run("forget-tag", *args); });
  CLI::App* drop = pending->add_subcommand("drop", "Remove one, after asking");
  drop->add_option("ID", args->id, "as `qnmuro pending list` shows it")->required();
  drop->add_flag("--yes", args->yes, "do not ask");
  drop->callback([args] { ExitStatus() = Run("drop", *args); });

  const std::vector<std::string> env = {"QNMURO_WORKDIR", "QNMURO_REGISTRY", "QNMURO_CODEPAGE",
                                        "QNMURO_CA_BUNDLE"};
  SetHelpFooter(list, {"qnmuro pending list", "qnmuro pending list --json"}, env);
  SetHelpFooter(retry, {"qnmuro pending retry"}, env);
  SetHelpFooter(password, {"qnmuro pending password 20261209101500-1"}, env);
  SetHelpFooter(forget, {"qnmuro pending forget-tag 6F2A notice.doc"}, env);
  SetHelpFooter(drop, {"qnmuro pending drop 20261209101500-1", "qnmuro pending drop ID --yes"},
                env);
  SetHelpFooter(pending, {"qnmuro pending list", "qnmuro pending retry"}, env);
}

}  // namespace qnmuro::cli
