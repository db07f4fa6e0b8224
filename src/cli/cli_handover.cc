// qnmuro handover URL|FILE --config CONTROL [--datasource DS] [--name NAME]: the OA system's
// side of a hand-over in one command. The document is downloaded into the work directory
// through the add-in's own transfer code (a local file is copied), the control file and the
// data source are placed beside it under the naming rule (<stem>.xml, <stem>.ds.xml), and
// CurrentFile is set last, so that a hand-over that failed half-way is never taken up.
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>

#include "base/text.h"
#include "cli/command.h"
#include "cli/transfer_session.h"
#include "common/context.h"
#include "common/identity.h"
#include "common/shared_state.h"
#include "common/utils.h"
#include "config/config.h"
#include "platform/file_io.h"
#include "platform/registry_store.h"
#include "platform/services.h"

namespace qnmuro::cli {
namespace {

namespace fs = std::filesystem;

struct HandoverArgs {
  std::string source;
  std::string config;
  std::string datasource;
  std::string name;
  bool verbose = false;
  std::string dir;   // of `handover check`
  std::string host;  // of `handover check`: the word processor that reads the bookmarks
  bool json = false;
};

bool IsUrl(const std::string& source) {
  const std::u16string lower = AsciiLower(U16(source.substr(0, 8)));
  return lower.rfind(u"http://", 0) == 0 || lower.rfind(u"https://", 0) == 0;
}

// The document's name: the last segment of the address (query and fragment dropped, %XX
// decoded) or of the file's path.
std::string DefaultName(const std::string& source) {
  if (!IsUrl(source)) return U8(FromPath(ToPath(U16(source)).filename()));
  std::string path = source.substr(0, source.find_first_of("?#"));
  const size_t scheme = path.find("://");
  path = path.substr(path.find('/', scheme + 3) == std::string::npos ? path.size()
                                                                     : path.find('/', scheme + 3));
  std::string name = path.substr(path.rfind('/') + 1);
  std::string decoded;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '%' && i + 2 < name.size() &&
        std::isxdigit(static_cast<unsigned char>(name[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(name[i + 2]))) {
      decoded += static_cast<char>(std::stoi(name.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      decoded += name[i];
    }
  }
  return decoded;
}

// Copies `from` to `to` unless they are the same file, as a download places its file: written
// beside under a name of its own and renamed over `to`, never through a link planted at `to`.
// False with *why set on failure.
bool Place(const fs::path& from, const fs::path& to, std::string* why) {
  std::error_code ec;
  if (fs::is_symlink(to, ec)) {
    *why = U8(FromPath(to)) + " is a link: nothing is written through it (remove it first)";
    return false;
  }
  if (fs::exists(to, ec) && fs::equivalent(from, to, ec)) return true;
  std::string bytes;
  int err = 0;
  switch (ReadRegularFile(from, size_t{1} << 30, &bytes, &err)) {
    case FileReadStatus::kOk:
      err = ReplaceFileContents(to, bytes);
      break;
    case FileReadStatus::kTooLarge:
      err = EFBIG;
      break;
    case FileReadStatus::kMissing:
    case FileReadStatus::kNotRegular:
      err = err != 0 ? err : ENOENT;
      break;
    case FileReadStatus::kFailed:
      break;
  }
  if (err != 0) {
    *why = "cannot copy " + U8(FromPath(from)) + " to " + U8(FromPath(to)) + ": " +
           std::generic_category().message(err);
  }
  return err == 0;
}

// The first character of `name` that the code page turns into another (the add-in reads
// CurrentFile in it), as "U+XXXX (c)"; empty when every one survives.
std::string LostCharacter(const std::u16string& name) {
  for (size_t i = 0; i < name.size();) {
    const bool pair = i + 1 < name.size() && name[i] >= 0xD800 && name[i] < 0xDC00 &&
                      name[i + 1] >= 0xDC00 && name[i + 1] < 0xE000;
    const std::u16string one = name.substr(i, pair ? 2 : 1);
    if (FromAnsi(ToAnsi(one)) != one) {
      const char32_t code = pair ? 0x10000 + ((one[0] - 0xD800) << 10) + (one[1] - 0xDC00) : one[0];
      char hex[16];
      std::snprintf(hex, sizeof hex, "U+%04X", static_cast<unsigned>(code));
      return std::string(hex) + " (" + U8(one) + ")";
    }
    i += one.size();
  }
  return {};
}

bool SetCurrentFileValue(const std::u16string& name, std::string* why) {
  const auto store = DefaultRegistryStore();
  long code = store->CreateKey(kHkeyLocalMachine, kIdentityKey);
  if (code == kRegOk) {
    code = store->SetValue(kHkeyLocalMachine, kIdentityKey, u"CurrentFile",
                           RegistryValue::String(name));
  }
  if (code != kRegOk) {
    *why = "cannot write CurrentFile to the registry " + DefaultRegistryPath().string() + ": " +
           U8(RegistryResultText(code)) + " (code " + std::to_string(code) + ")";
  }
  return code == kRegOk;
}

bool ControlLoads(const std::string& file, std::string* why) {
  SharedState state;  // no event log
  Context ctx;
  ctx.state = &state;
  Config config(ctx);
  if (config.Init(U16(file))) return true;
  *why = "cannot load the control file " + file + ": " + U8(config.reason()) +
         " (the add-in logs: " + U8(config.last_report()) + ")";
  return false;
}

void RunHandover(const HandoverArgs& args) {
  std::error_code ec;
  const std::string name = args.name.empty() ? DefaultName(args.source) : args.name;
  if (name.empty() || name == "." || name == ".." ||
      name.find_first_of("/\\") != std::string::npos) {
    Usage("handover: cannot name the document after " + args.source + "; give --name NAME");
  }
  // An input that is not there is a failure (1), not a mistake in the command line (2).
  if (!IsUrl(args.source) && !fs::is_regular_file(ToPath(U16(args.source)))) {
    return Fail("handover: " + args.source + " is neither an http(s) address nor a file");
  }
  for (const std::string& file : {args.config, args.datasource}) {
    if (!file.empty() && !fs::is_regular_file(ToPath(U16(file)))) {
      return Fail("handover: no file " + file);
    }
  }
  if (const std::string lost = LostCharacter(U16(name)); !lost.empty()) {
    Usage("handover: the name " + name + " has a character that the code page " + AnsiCodePage() +
          " cannot carry, " + lost + ", so the add-in would read another name; give --name");
  }
  const std::u16string lower = AsciiLower(U16(name));
  if (lower.size() >= 4 && lower.compare(lower.size() - 4, 4, u".xml") == 0) {
    Usage("handover: " + name + " would be overwritten by its own control file; give --name");
  }
  std::string why;
  // A download runs the add-in's transfer, logged as the add-in logs it; a copy needs no log.
  TransferSession session;
  if (IsUrl(args.source) ? !session.Open(args.config, &why) : !ControlLoads(args.config, &why)) {
    return Fail("handover: " + why);
  }
  const fs::path work = ToPath(DefaultWorkDir());
  fs::create_directories(work, ec);
  const std::u16string stem = RemoveFileExtension(U16(name));
  const fs::path document = work / ToPath(U16(name));
  if (IsUrl(args.source)) {
    if (!session.Transfer(args.source, name, false, &why)) {
      return Fail("handover: download failed: " + why + " (the log is " + session.LogPath() + ")");
    }
  } else if (!Place(ToPath(U16(args.source)), document, &why)) {
    return Fail("handover: " + why);
  }
  if (!Place(ToPath(U16(args.config)), work / ToPath(stem + u".xml"), &why)) {
    return Fail("handover: " + why);
  }
  const fs::path data_source = work / ToPath(stem + u".ds.xml");
  if (!args.datasource.empty()) {
    if (!Place(ToPath(U16(args.datasource)), data_source, &why)) return Fail("handover: " + why);
  } else if (fs::exists(data_source)) {
    std::cerr << "qnmuro: handover: warning: the earlier " << U8(FromPath(data_source))
              << " stays and will be merged\n";
  }
  if (!SetCurrentFileValue(U16(name), &why)) return Fail("handover: " + why);
  if (args.verbose) {
    std::cout << "document: " << U8(FromPath(document))
              << "\ncontrol file: " << U8(FromPath(work / ToPath(stem + u".xml"))) << "\n";
    if (!args.datasource.empty()) std::cout << "data source: " << U8(FromPath(data_source)) << "\n";
    std::cout << "CurrentFile: " << name << "\n";
  }
}

}  // namespace

void AddHandover(CLI::App& app) {
  CLI::App* handover = app.add_subcommand(
      "handover",
      "Hand a document over as the OA system does: fetch it into the work directory, place its "
      "control file and data source beside it and set CurrentFile");
  auto args = std::make_shared<HandoverArgs>();
  handover->add_option("SOURCE", args->source, "the document: an http(s) address or a file");
  CLI::Option* config =
      handover->add_option("--config", args->config, "the document's control file");
  handover->add_option("--datasource", args->datasource, "the document's data source");
  handover->add_option("--name", args->name,
                       "the document's file name in the work directory (default: the last part "
                       "of SOURCE)");
  handover->add_flag("-v,--verbose", args->verbose, "say where each file went");
  CLI::App* check = handover->add_subcommand(
      "check", "Say what the add-in will do with the hand-over in DIR, and what is wrong");
  check->add_option("DIR", args->dir, "the work directory (default: QNMURO_WORKDIR)");
  check
      ->add_option("--host", args->host,
                   "the word processor that reads the document's bookmarks: " + HostChoices(false) +
                       " (default: " + DefaultReaders() + ")")
      ->check(HostValidator());
  check->add_flag("--json", args->json, "Print what was found as one JSON object");
  check->callback([args] { ExitStatus() = CheckHandover(args->dir, args->host, args->json); });
  handover->callback([handover, args, config] {
    if (!handover->get_subcommands().empty()) return;
    if (args->source.empty()) Usage("handover: give the document (URL or FILE) and --config");
    if (config->count() == 0) Usage("handover: --config CONTROL is required");
    RunHandover(*args);
  });
  const std::vector<std::string> env = {"QNMURO_WORKDIR", "QNMURO_REGISTRY", "QNMURO_CODEPAGE",
                                        "QNMURO_CA_BUNDLE"};
  SetHelpFooter(
      check,
      {"qnmuro handover check", "qnmuro handover check ~/OAWork",
       "qnmuro handover check --json | jq .usable", "qnmuro handover check --host libreoffice"},
      {"QNMURO_WORKDIR", "QNMURO_REGISTRY", "QNMURO_CODEPAGE"});
  SetHelpFooter(handover,
                {"qnmuro handover template.doc --config control.xml --datasource data.xml "
                 "--name notice.doc",
                 "qnmuro handover 'http://127.0.0.1:8080/oa/doc.nsf/0/6F2A/$file/notice.doc' "
                 "--config notice.xml",
                 "qnmuro handover check"},
                env);
}

}  // namespace qnmuro::cli
