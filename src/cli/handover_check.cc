// qnmuro handover check [DIR] [--host HOST] [--json]: reads a work directory as document open
// will and says what the add-in will do with the hand-over, and what is wrong with it. The
// rules are the add-in's own (config/control_rules.h); the document's bookmarks are read by the
// word processor that can read the file.
#include <algorithm>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "addin/wps_addin.h"
#include "base/error.h"
#include "base/text.h"
#include "cli/command.h"
#include "cli/json.h"
#include "commands/command_support.h"
#include "commands/toolbar.h"
#include "common/context.h"
#include "common/handover_mark.h"
#include "common/identity.h"
#include "common/shared_state.h"
#include "common/utils.h"
#include "config/config.h"
#include "config/control_rules.h"
#include "config/vocabulary.h"
#include "datasource/data_source.h"
#include "datasource/merge.h"
#include "hosts/host_table.h"
#include "platform/clock.h"
#include "platform/file_io.h"
#include "platform/services.h"
#include "platform/xml.h"

namespace qnmuro::cli {
namespace {

// What the check found: facts on stdout (or gathered into one JSON object), problems and
// warnings on stderr.
class Report {
 public:
  explicit Report(bool json) : json_(json) {}

  // A fact: `line` for people, `value` (JSON) under `key` for programs.
  void Say(const std::string& key, const std::string& line, const std::string& value) {
    if (!json_) std::cout << line << "\n";
    facts_.Raw(key, value);
  }
  void Problem(const std::string& line) {
    std::cerr << "qnmuro: handover check: " << line << "\n";
    problems_.push_back(JsonQuote(line));
  }
  void Warn(const std::string& line) {
    std::cerr << "qnmuro: handover check: warning: " << line << "\n";
    warnings_.push_back(JsonQuote(line));
  }
  bool usable() const { return problems_.empty(); }

  // The last word; the exit status.
  int Finish(const std::string& current) {
    if (json_) {
      std::cout << facts_.Raw("problems", JsonArray(problems_))
                       .Raw("warnings", JsonArray(warnings_))
                       .Raw("usable", usable() ? "true" : "false")
                       .Done()
                << "\n";
    } else {
      std::cout << (usable() ? "usable: opening " + current + " makes it the workflow document"
                             : std::string("not usable as it is"))
                << "\n";
    }
    return usable() ? 0 : 1;
  }

 private:
  bool json_;
  JsonObject facts_;
  std::vector<std::string> problems_;
  std::vector<std::string> warnings_;
};

std::string Text(std::u16string_view text) {
  return JsonQuote(U8(text));
}

std::string List(const std::vector<std::u16string>& names) {
  std::vector<std::string> items;
  for (const std::u16string& name : names) items.push_back(Text(name));
  return JsonArray(items);
}

std::string Joined(const std::vector<std::u16string>& names) {
  std::string out;
  for (const std::u16string& name : names) out += (out.empty() ? "" : ", ") + U8(name);
  return out.empty() ? "none" : out;
}

std::string PreparationText(Preparation preparation) {
  switch (preparation) {
    case Preparation::kDraft:
      return "draft: the data source fills the bookmarks, the caret goes to BodyStart; the "
             "document is not locked";
    case Preparation::kView:
      return "view: the data source fills the bookmarks, then revision tracking is switched on "
             "and locked (only tracked changes possible)";
    case Preparation::kApprove:
      return "approve: the lock is lifted for the merge, then tracking is switched on and locked "
             "again";
    case Preparation::kFinalize:
      return "finalise: tracking off and unlocked, the data source fills the bookmarks, then "
             "every bookmark is removed and 正文生成完毕！ is shown";
    case Preparation::kNone:
      break;
  }
  return "no preparation: nothing is merged and nothing locked, the toolbar is shown";
}

void DescribeControl(const ControlRecords& r, Report& report) {
  const int16_t action = r.documentInfo.action;
  const std::u16string_view name = ActionName(action);
  report.Say("action",
             "action: " + std::to_string(action) + " (" +
                 (name.empty() ? std::string("unknown") : U8(name)) +
                 "): " + PreparationText(ActionPreparation(action)),
             JsonObject()
                 .Raw("code", std::to_string(action))
                 .Raw("name", name.empty() ? "null" : Text(name))
                 .Text("preparation", PreparationText(ActionPreparation(action)))
                 .Done());
  if (ActionUploads(action)) {
    const BinaryInfo* content = ContentBinary(r);
    const std::u16string url = AppendUrlParameter(content == nullptr ? u"" : content->uploadUrl,
                                                  UploadQuery(r.documentInfo.unid, action));
    report.Say("uploadUrl",
               "save and close: ask 是否要保存文档到服务器？ and on yes upload to " + U8(url),
               Text(url));
  } else {
    report.Say("uploadUrl", "save and close: nothing is uploaded for this action", "null");
  }
  const std::u16string user = WorkflowUserName(r.commonInfo.fullName, r.commonInfo.lastName);
  report.Say("user", "user in the word processor: " + U8(user), Text(user));
  std::vector<std::u16string> buttons;
  const std::u16string draft_url = r.binarys.empty() ? u"" : r.binarys[0].draftUrl;
  for (BarButton b : ButtonsToShow(r.documentInfo.button, draft_url)) {
    buttons.emplace_back(ButtonCaption(b));
  }
  report.Say("toolbar", "toolbar: " + Joined(buttons), List(buttons));
}

// "a", "a or b", "a, b or c".
std::string Listed(const std::vector<std::string>& words) {
  std::string out;
  for (size_t i = 0; i < words.size(); ++i) {
    if (i > 0) out += i + 1 == words.size() ? " or " : ", ";
    out += words[i];
  }
  return out;
}

// The document's bookmark names, read by the host called `host` (empty: each host of the
// table in turn, the first that can read the file). False with *why set when no host can read
// it; *used names the one that did.
bool BookmarkNames(const std::u16string& work_dir, const std::u16string& document,
                   const std::string& host, std::vector<std::u16string>* names, std::string* why,
                   std::string* used) {
  const auto clock = NewSystemClock();
  hostkit::HostOptions options;
  options.clock = clock.get();
  options.work_dir = work_dir;
  const auto read = [&](const std::string& which) {
    try {
      std::unique_ptr<host::Application> app = HostFactoryFor(HostChoice{which, ""})(options);
      const auto doc = app->GetDocuments().Open(document, false);
      host::Bookmarks& marks = doc->GetBookmarks();
      for (long i = 1; i <= marks.Count(); ++i) names->push_back(marks.Item(i)->Name());
      IgnoreFailure([&] { doc->Close(); });
      *used = which;
      return true;
    } catch (const Error& e) {
      *why += (why->empty() ? "" : "; ") + which + ": " + U8(e.description());
    } catch (const std::exception& e) {
      *why += (why->empty() ? "" : "; ") + which + ": " + e.what();
    }
    names->clear();
    return false;
  };
  if (!host.empty()) return read(host);
  std::vector<std::string> missing;  // the hosts that cannot be had here
  for (const hosts::HostEntry& entry : hosts::HostTable()) {
    if (!entry.available()) {
      missing.push_back(entry.title);
    } else if (read(entry.name)) {
      return true;
    }
  }
  if (!missing.empty()) {
    *why = "the simulated word processor reads only its own flat documents (" + *why + ") and " +
           Listed(missing) + " is not installed";
  }
  return false;
}

void CheckDataSource(const Context& ctx, const std::u16string& document, int16_t action,
                     const std::string& host, Report& report) {
  const std::u16string path = DataSourcePath(ctx, GetFileName(document));
  if (!IsPlainFile(path)) {
    report.Say("dataSource", "data source: none (" + U8(path) + "): no bookmark is filled",
               JsonObject().Text("file", U8(path)).Raw("present", "false").Done());
    return;
  }
  if (!ActionMerges(action)) {
    report.Say("dataSource", "data source: " + U8(path) + " is not merged for this action",
               JsonObject().Text("file", U8(path)).Raw("merged", "false").Done());
    return;
  }
  DataSource ds;
  if (!ds.LoadItems(path)) {
    XmlDocument xml;
    report.Problem("data source " + U8(path) +
                   (xml.LoadFile(path)
                        ? " has no items"
                        : " is not XML: " + U8(XmlFileTrouble(path, xml.parse_error()))) +
                   ": the add-in shows 数据源无法初始化，文档可能不正常，请联系系统管理员！");
    return;
  }
  std::vector<std::u16string> names;
  std::string why;
  std::string used;
  if (!BookmarkNames(ctx.work_dir, document, host, &names, &why, &used)) {
    report.Warn("cannot read the bookmarks of " + U8(document) + ": " + why);
    return;
  }
  std::vector<std::u16string> filled, emptied, unused;
  for (const std::u16string& name : names) {
    (ds.HasItemWithDesc(name) ? filled : emptied).push_back(name);
  }
  for (const std::u16string& desc : ds.ItemDescs()) {
    if (std::find(names.begin(), names.end(), desc) == names.end()) unused.push_back(desc);
  }
  std::string lines = "bookmarks read by: " + used + "\nbookmarks filled: " + Joined(filled);
  if (!emptied.empty()) lines += "\nbookmarks emptied (no item with that desc): " + Joined(emptied);
  if (!unused.empty())
    lines += "\nitems that fill nothing (no bookmark of that name): " + Joined(unused);
  report.Say("dataSource", lines,
             JsonObject()
                 .Text("file", U8(path))
                 .Raw("merged", "true")
                 .Text("readBy", used)
                 .Raw("bookmarksFilled", List(filled))
                 .Raw("bookmarksEmptied", List(emptied))
                 .Raw("itemsUnused", List(unused))
                 .Done());
  if (filled.empty()) {
    report.Problem("data source " + U8(path) + " fills none of the document's " +
                   std::to_string(names.size()) + " bookmarks (an item's desc names its bookmark)");
  }
}

// Whether this user can clear CurrentFile: written back unchanged, as a probe.
void CheckRegistry(const Context& ctx, const std::u16string& current, Report& report) {
  if (SetCurrentFile(ctx, current)) return;
  report.Warn("CurrentFile cannot be written (system error " + std::to_string(LastSystemError()) +
              "): the add-in cannot clear it after taking the hand-over and remembers it in " +
              U8(HandOverMarkPath(ctx)) +
              " instead, and no password can be kept; let the "
              "users set values of HKEY_LOCAL_MACHINE\\" +
              U8(kIdentityKey));
}

}  // namespace

std::string DefaultReaders() {
  const std::vector<hosts::HostEntry>& table = hosts::HostTable();
  std::vector<std::string> others;
  for (size_t i = 1; i < table.size(); ++i) others.push_back(table[i].title);
  return table.front().name + " when it can read the file, else " + Listed(others);
}

int CheckHandover(const std::string& dir, const std::string& host, bool json) {
  const Services services = DefaultServices({dir.empty() ? u"" : U16(dir), {}, false});
  SharedState state;  // no event log: the check writes nothing but the probe of CurrentFile
  Context ctx;
  ctx.state = &state;
  ctx.registry = services.registry.get();
  ctx.work_dir = services.work_dir;
  Report report(json);
  report.Say("workDirectory", "work directory: " + U8(ctx.work_dir), Text(ctx.work_dir));
  const std::u16string current = GetCurrentFile(ctx);
  if (current.empty() || current == std::u16string(1, 0)) {
    report.Problem(
        "CurrentFile is empty: the next document opens as a plain document (set it "
        "with qnmuro handover or qnmuro registry set CurrentFile NAME)");
    return report.Finish("");
  }
  const std::u16string control =
      ctx.work_dir + kPathSeparator + RemoveFileExtension(current) + u".xml";
  const std::u16string document = ctx.work_dir + kPathSeparator + current;
  report.Say("currentFile", "CurrentFile: " + U8(current), Text(current));
  if (!IsPlainFile(control)) {
    report.Problem("CurrentFile names " + U8(current) + " but there is no control file " +
                   U8(control) + ": the document opens as a plain document");
    return report.Finish(U8(current));
  }
  report.Say("controlFile", "control file: " + U8(control), Text(control));
  CheckRegistry(ctx, current, report);
  if (HandOverTaken(ctx, current, control)) {
    report.Problem("this hand-over was taken already (" + U8(HandOverMarkPath(ctx)) +
                   "): the next document opens as a plain document; hand it over again");
  }
  Config config(ctx);
  if (!config.Init(control)) {
    report.Problem("the control file does not load: " + U8(config.reason()) +
                   " (the log line: " + U8(config.last_report()) +
                   "); the add-in shows 配置参数无法初始化，文档可能不正常，请联系系统管理员！");
    return report.Finish(U8(current));
  }
  const std::vector<Finding> findings = CheckControlFile(control, state.records);
  for (const Finding& f : findings) {
    const std::string line = f.element + ": " + f.problem;
    f.severity == Finding::kProblem ? report.Problem(line) : report.Warn(line);
  }
  DescribeControl(state.records, report);
  if (!IsPlainFile(document)) {
    report.Problem("the document " + U8(document) + " is not in the work directory");
  } else {
    report.Say("document", "document: " + U8(document), Text(document));
    CheckDataSource(ctx, document, state.records.documentInfo.action, host, report);
  }
  return report.Finish(U8(current));
}

}  // namespace qnmuro::cli
