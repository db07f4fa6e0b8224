// qnmuro doctor [--json]: the add-in's health on this desktop, checked as the clerk who runs it:
// the word processor finds and loads the add-in, this user can clear CurrentFile and write the
// work directory, the OA server of the newest control file answers, and where the log is. An
// integrator runs it on every desktop and collects the JSON.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "base/text.h"
#include "cli/command.h"
#include "cli/doctor.h"
#include "cli/json.h"
#include "common/context.h"
#include "common/identity.h"
#include "common/shared_state.h"
#include "common/url_operation.h"
#include "config/config.h"
#include "platform/file_io.h"
#include "platform/http_client.h"
#include "platform/registry_store.h"
#include "platform/services.h"
#include "transfer/url_request.h"

namespace qnmuro::cli {
namespace {

namespace fs = std::filesystem;

DoctorCheck CurrentFileCheck(const Context& ctx) {
  DoctorCheck check{"CurrentFile writable", false, ""};
  if (ctx.registry->KeyExists(kHkeyLocalMachine, kIdentityKey) != kRegOk) {
    check.detail = "the key HKEY_LOCAL_MACHINE\\" + U8(kIdentityKey) +
                   " is not there: the OA client writes it at a hand-over; on Windows the "
                   "package creates it and lets the users write it";
    return check;
  }
  // Written back as it is: the add-in clears it at every hand-over.
  check.ok = SetCurrentFile(ctx, GetCurrentFile(ctx));
  check.detail = check.ok ? "this user can clear it after a hand-over"
                          : "this user cannot write it (system error " +
                                std::to_string(LastSystemError()) +
                                "): each hand-over is then taken once through the work "
                                "directory, and no password is kept";
  return check;
}

DoctorCheck WorkDirectoryCheck(const Context& ctx) {
  DoctorCheck check{"work directory", false, ""};
  const fs::path dir = ToPath(ctx.work_dir);
  const fs::path probe = dir / ".qnmuro-doctor";
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) {
    check.detail = U8(ctx.work_dir) + " is not there";
    return check;
  }
  check.ok = ReplaceFileContents(probe, "doctor") == 0 && fs::remove(probe, ec);
  check.detail = U8(ctx.work_dir) + (check.ok ? ": this user can create, write and delete files"
                                              : ": this user cannot create, write or delete files");
  return check;
}

// The control file most recently written to the work directory that loads.
bool NewestControlFile(const Context& ctx, fs::path* file, ControlRecords* records) {
  std::vector<std::pair<fs::file_time_type, fs::path>> files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(ToPath(ctx.work_dir), ec)) {
    const std::u16string name = AsciiLower(FromPath(entry.path().filename()));
    if (name.size() < 4 || name.compare(name.size() - 4, 4, u".xml") != 0) continue;
    if (name.size() >= 7 && name.compare(name.size() - 7, 7, u".ds.xml") == 0) continue;
    files.emplace_back(entry.last_write_time(ec), entry.path());
  }
  std::sort(files.rbegin(), files.rend());
  for (const auto& [time, path] : files) {
    SharedState state;
    Context loading;
    loading.state = &state;
    if (!Config(loading).Init(FromPath(path))) continue;
    *file = path;
    *records = state.records;
    return true;
  }
  return false;
}

DoctorCheck ServerCheck(const Context& ctx, HttpClient* http) {
  DoctorCheck check{"OA server", false, ""};
  fs::path file;
  ControlRecords records;
  if (!NewestControlFile(ctx, &file, &records)) {
    check.ok = true;  // nothing handed over yet: nothing to reach
    check.detail = "no control file in the work directory yet";
    return check;
  }
  const std::u16string& root = records.commonInfo.rootUrl;
  UrlOperation url;
  url.SetUrl(root);
  if (!HasUsableAddress(url)) {
    check.detail = U8(root) + " (" + U8(FromPath(file)) + ") is no http or https address";
    return check;
  }
  HttpRequest request;
  request.method = "GET";
  request.secure = url.CheckSSLHttp();
  request.host = ToAnsi(url.Host());
  request.port = url.Port();
  request.target = RequestTarget(url.UrlObject().empty() ? u"/" : url.UrlObject());
  request.connect_timeout = std::chrono::milliseconds(5000);
  request.stall_timeout = std::chrono::seconds(10);
  const HttpResponse response = http->Send(request, nullptr);
  // Any answer, a refusal included, means the server is there.
  check.ok = response.ok();
  check.detail = U8(root) + " (" + U8(FromPath(file)) + "): " +
                 (check.ok ? "answers (" + std::to_string(response.status) +
                                 (response.reason.empty() ? "" : " " + response.reason) + ")"
                           : U8(FromAnsi(DescribeHttpTrouble(request, response))));
  return check;
}

DoctorCheck LogCheck(const Context& ctx) {
  const std::u16string log = ctx.work_dir + kPathSeparator + u"comlog.txt";
  std::error_code ec;
  const bool there = fs::is_regular_file(ToPath(log), ec);
  return {"log", true,
          U8(log) + (there ? "" : " (none yet: the add-in writes it when clientLog is true)")};
}

int Doctor(bool json) {
  Services services = DefaultServices();
  Context ctx = ContextFor(services, nullptr);
  std::vector<DoctorCheck> checks = RegistrationChecks(services.registry.get());
  checks.push_back(CurrentFileCheck(ctx));
  checks.push_back(WorkDirectoryCheck(ctx));
  checks.push_back(ServerCheck(ctx, services.http.get()));
  checks.push_back(LogCheck(ctx));
  const bool all_well =
      std::all_of(checks.begin(), checks.end(), [](const DoctorCheck& c) { return c.ok; });
  if (json) {
    std::vector<std::string> items;
    for (const DoctorCheck& c : checks) {
      items.push_back(JsonObject()
                          .Text("name", c.name)
                          .Raw("ok", c.ok ? "true" : "false")
                          .Text("detail", c.detail)
                          .Done());
    }
    std::cout << JsonObject()
                     .Raw("checks", JsonArray(items))
                     .Raw("ok", all_well ? "true" : "false")
                     .Done()
              << "\n";
  } else {
    for (const DoctorCheck& c : checks) {
      std::cout << (c.ok ? "ok    " : "FAIL  ") << c.name << ": " << c.detail << "\n";
    }
  }
  return all_well ? 0 : 1;
}

}  // namespace

void AddDoctor(CLI::App& app) {
  CLI::App* doctor = app.add_subcommand(
      "doctor", "Check the add-in's health on this desktop, as the clerk who runs it");
  auto json = std::make_shared<bool>(false);
  doctor->add_flag("--json", *json, "Print the checks as one JSON object");
  doctor->callback([json] { ExitStatus() = Doctor(*json); });
  SetHelpFooter(doctor, {"qnmuro doctor", "qnmuro doctor --json"},
                {"QNMURO_WORKDIR", "QNMURO_REGISTRY", "QNMURO_CA_BUNDLE"});
}

}  // namespace qnmuro::cli
