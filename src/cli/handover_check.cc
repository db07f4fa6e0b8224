// qnmuro handover check [DIR]: reads a work directory as document open will and says what the
// add-in will do with the hand-over, and what is wrong with it.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "addin/command_bar.h"
#include "addin/wps_addin.h"
#include "base/error.h"
#include "base/text.h"
#include "cli/command.h"
#include "cli/control_check.h"
#include "common/context.h"
#include "common/identity.h"
#include "common/shared_state.h"
#include "common/utils.h"
#include "config/config.h"
#include "config/vocabulary.h"
#include "datasource/data_source.h"
#include "datasource/merge.h"
#include "platform/clock.h"
#include "platform/file_io.h"
#include "platform/services.h"
#include "simhost/sim_host.h"
#include "workflow/command_support.h"

namespace qnmuro::cli {
namespace {

// What the check found, said as it goes: facts on stdout, problems and warnings on stderr.
class Report {
 public:
  void Say(const std::string& line) { std::cout << line << "\n"; }
  void Problem(const std::string& line) {
    std::cerr << "qnmuro: handover check: " << line << "\n";
    usable_ = false;
  }
  void Warn(const std::string& line) {
    std::cerr << "qnmuro: handover check: warning: " << line << "\n";
  }
  bool usable() const { return usable_; }

 private:
  bool usable_ = true;
};

bool Uploads(int16_t action) {
  return action == kActionDraftDocument || action == kActionApproveDocument ||
         action == kActionFinalizeDocument || action == kActionConfig;
}

bool Merges(int16_t action) {
  return action >= kActionDraftDocument && action <= kActionFinalizeDocument;
}

std::string Preparation(int16_t action) {
  switch (action) {
    case kActionDraftDocument:
      return "draft: the data source fills the bookmarks, the caret goes to BodyStart; the "
             "document is not locked";
    case kActionViewDocument:
      return "view: the data source fills the bookmarks, then revision tracking is switched on "
             "and locked (only tracked changes possible)";
    case kActionApproveDocument:
      return "approve: the lock is lifted for the merge, then tracking is switched on and locked "
             "again";
    case kActionFinalizeDocument:
      return "finalise: tracking off and unlocked, the data source fills the bookmarks, then "
             "every bookmark is removed and 正文生成完毕！ is shown";
    default:
      return "no preparation: nothing is merged and nothing locked, the toolbar is shown";
  }
}

void DescribeControl(const ControlRecords& r, Report& report) {
  const int16_t action = r.documentInfo.action;
  const std::u16string_view name = ActionName(action);
  report.Say("action: " + std::to_string(action) + " (" +
             (name.empty() ? std::string("unknown") : U8(name)) + "): " + Preparation(action));
  std::u16string upload_url;
  for (const BinaryInfo& b : r.binarys) {
    if (b.type == kBinaryContent) upload_url = b.uploadUrl;
  }
  if (Uploads(action)) {
    const std::u16string query = u"&action=upload&unid=" + r.documentInfo.unid +
                                 u"&method=replacecontent&ctlaction=" + ToText(action);
    report.Say("save and close: ask 是否要保存文档到服务器？ and on yes upload to " +
               U8(AppendUrlParameter(upload_url, query)));
  } else {
    report.Say("save and close: nothing is uploaded for this action");
  }
  report.Say("user in the word processor: " +
             U8(WorkflowUserName(r.commonInfo.fullName, r.commonInfo.lastName)));
  std::string buttons;
  const std::u16string draft_url = r.binarys.empty() ? u"" : r.binarys[0].draftUrl;
  for (BarButton b : ButtonsToShow(r.documentInfo.button, draft_url)) {
    buttons += (buttons.empty() ? "" : ", ") + U8(ButtonCaption(b));
  }
  report.Say("toolbar: " + buttons);
}

// The document's bookmark names, read through the simulated word processor; false when it
// cannot open the document.
bool BookmarkNames(const std::u16string& work_dir, const std::u16string& document,
                   std::vector<std::u16string>* names, std::string* why) {
  const auto clock = NewSystemClock();
  simhost::SimHostOptions options;
  options.clock = clock.get();
  options.work_dir = work_dir;
  try {
    const auto app = simhost::NewSimApplication(options);
    const auto doc = app->GetDocuments().Open(document, false);
    host::Bookmarks& marks = doc->GetBookmarks();
    for (long i = 1; i <= marks.Count(); ++i) names->push_back(marks.Item(i)->Name());
    return true;
  } catch (const Error& e) {
    *why = U8(e.description());
  } catch (const std::exception& e) {
    *why = e.what();
  }
  return false;
}

void CheckDataSource(const Context& ctx, const std::u16string& document, int16_t action,
                     Report& report) {
  const std::u16string path = DataSourcePath(ctx, GetFileName(document));
  if (!IsPlainFile(path)) {
    report.Say("data source: none (" + U8(path) + "): no bookmark is filled");
    return;
  }
  if (!Merges(action)) {
    report.Say("data source: " + U8(path) + " is not merged for this action");
    return;
  }
  DataSource ds;
  if (!ds.LoadItems(path)) {
    DataSource xml;
    report.Problem("data source " + U8(path) +
                   (xml.LoadXML(path) ? " has no items" : " is not XML: " + U8(xml.last_report())) +
                   ": the add-in shows 数据源无法初始化，文档可能不正常，请联系系统管理员！");
    return;
  }
  std::vector<std::u16string> names;
  std::string why;
  if (!BookmarkNames(ctx.work_dir, document, &names, &why)) {
    report.Warn("cannot read the bookmarks of " + U8(document) + ": " + why);
    return;
  }
  std::string filled, emptied;
  for (const std::u16string& name : names) {
    std::string& list = ds.HasItemWithDesc(name) ? filled : emptied;
    list += (list.empty() ? "" : ", ") + U8(name);
  }
  report.Say("bookmarks filled: " + (filled.empty() ? "none" : filled));
  if (!emptied.empty()) report.Say("bookmarks emptied (no item with that desc): " + emptied);
  if (filled.empty()) {
    report.Problem("data source " + U8(path) + " fills none of the document's " +
                   std::to_string(names.size()) + " bookmarks (an item's desc names its bookmark)");
  }
}

}  // namespace

int CheckHandover(const std::string& dir) {
  const Services services = DefaultServices({dir.empty() ? u"" : U16(dir), {}, false});
  SharedState state;  // no event log: the check writes nothing
  Context ctx;
  ctx.state = &state;
  ctx.registry = services.registry.get();
  ctx.work_dir = services.work_dir;
  Report report;
  report.Say("work directory: " + U8(ctx.work_dir));
  const std::u16string current = GetCurrentFile(ctx);
  if (current.empty() || current == std::u16string(1, 0)) {
    report.Problem(
        "CurrentFile is empty: the next document opens as a plain document (set it "
        "with qnmuro handover or qnmuro registry set CurrentFile NAME)");
    return 1;
  }
  const std::u16string control =
      ctx.work_dir + kPathSeparator + RemoveFileExtension(current) + u".xml";
  const std::u16string document = ctx.work_dir + kPathSeparator + current;
  report.Say("CurrentFile: " + U8(current));
  if (!IsPlainFile(control)) {
    report.Problem("CurrentFile names " + U8(current) + " but there is no control file " +
                   U8(control) + ": the document opens as a plain document");
    return 1;
  }
  report.Say("control file: " + U8(control));
  Config config(ctx);
  if (!config.Init(control)) {
    report.Problem("the control file does not load: " + U8(config.last_report()) +
                   "; the add-in shows 配置参数无法初始化，文档可能不正常，请联系系统管理员！");
    return 1;
  }
  for (const Finding& f : CheckControlFile(control, state.records)) {
    report.Warn(f.element + ": " + f.problem);
  }
  DescribeControl(state.records, report);
  if (!IsPlainFile(document)) {
    report.Problem("the document " + U8(document) + " is not in the work directory");
  } else {
    report.Say("document: " + U8(document));
    CheckDataSource(ctx, document, state.records.documentInfo.action, report);
  }
  report.Say(report.usable() ? "usable: opening " + U8(current) + " makes it the workflow document"
                             : "not usable as it is");
  return report.usable() ? 0 : 1;
}

}  // namespace qnmuro::cli
