#include "commands/toolbar.h"

#include <array>

#include "commands/file_insertion.h"
#include "commands/original_draft.h"
#include "commands/report_insertion.h"
#include "commands/seal_form.h"
#include "commands/seal_stamp.h"
#include "commands/template_change.h"
#include "commands/template_form.h"
#include "common/shared_state.h"
#include "config/vocabulary.h"
#include "host/host_util.h"
#include "workflow/red_head.h"
#include "workflow/revision_lock.h"

namespace qnmuro {
namespace {

// ---- The commands, one per button. ----

// Not trapped: a cancelled close question reaches the add-in.
AfterClick BackToSystem(CommandScope& scope, host::Control& /*button*/) {
  return CloseForReturn(Require(scope.application)) ? AfterClick::kLetGoOfApplication
                                                    : AfterClick::kNothing;
}

// Not trapped; nothing to toggle before a workflow document is opened.
AfterClick Revision(CommandScope& scope, host::Control& button) {
  if (scope.content_document) ToggleRevisionMarks(Require(scope.application), button);
  return AfterClick::kNothing;
}

AfterClick RedHead(CommandScope& scope, host::Control& button) {
  ToggleRedHead(scope.application, button);
  return AfterClick::kNothing;
}

AfterClick InsertFileCommand(CommandScope& scope, host::Control& /*button*/) {
  InsertFile(scope.context, scope.application, scope.document,
             scope.context.state->records.documentInfo.action);
  return AfterClick::kNothing;
}

AfterClick InsertReportCommand(CommandScope& scope, host::Control& /*button*/) {
  InsertReport(scope.context, scope.application, scope.document, scope.notice);
  return AfterClick::kNothing;
}

AfterClick ChangeTemplateCommand(CommandScope& scope, host::Control& /*button*/) {
  ChangeTemplate(scope.context, scope.application, scope.document,
                 scope.forms.Template(scope.context), scope.notice);
  return AfterClick::kNothing;
}

AfterClick Manuscript(CommandScope& scope, host::Control& /*button*/) {
  ShowOriginalDraft(scope.context, scope.notice);
  return AfterClick::kNothing;
}

AfterClick SetSealCommand(CommandScope& scope, host::Control& /*button*/) {
  SetSeal(scope.context, scope.application, scope.forms.Seal(scope.context), scope.notice);
  return AfterClick::kNothing;
}

// Row i is BarButton(i); the bar adds its buttons in this order.
constexpr std::array<BarButtonRow, kBarButtonCount> kButtons{{
    {BarButton::kBackToSystem, kCaptionBackToSystem, &BackToSystem, u"BackToSystem_Click", true},
    {BarButton::kRevision, kCaptionRevision, &Revision, u"Revision_Click", true},
    {BarButton::kRedHead, kCaptionRedHead, &RedHead, u"RedHead_Click", true},
    {BarButton::kInsertFile, kCaptionInsertFile, &InsertFileCommand, u"InsertFile_Click", true},
    {BarButton::kInsertReport, kCaptionInsertReport, &InsertReportCommand, u"InsertReport_Click",
     true},
    {BarButton::kChangeTemplate, kCaptionChangeTemplate, &ChangeTemplateCommand,
     u"ChangeTemplate_Click", true},
    // The draft viewer's handler is internal to the add-in: the host reaches it only through
    // the button, so the type library does not offer it.
    {BarButton::kManuscript, kCaptionManuscript, &Manuscript, u"Manuscript_Click", false},
    {BarButton::kSetSeal, kCaptionSetSeal, &SetSealCommand, u"SetSeal_Click", true},
}};

// A row left out or out of order would make a button without caption or command.
constexpr bool IsWholeTable() {
  for (size_t i = 0; i < kButtons.size(); ++i) {
    const BarButtonRow& row = kButtons[i];
    if (row.id != static_cast<BarButton>(i) || row.caption != kButtonCaptions[i] ||
        row.run == nullptr || row.handler_name.empty()) {
      return false;
    }
  }
  return true;
}
static_assert(IsWholeTable(), "every button needs its row, in enum order");

}  // namespace

CommandForms::CommandForms() = default;
CommandForms::~CommandForms() = default;

ChangeSealForm& CommandForms::Seal(const Context& ctx) {
  if (!seal_) seal_ = std::make_unique<ChangeSealForm>(ctx);
  return *seal_;
}

ChangeTemplateForm& CommandForms::Template(const Context& ctx) {
  if (!template_) template_ = std::make_unique<ChangeTemplateForm>(ctx);
  return *template_;
}

const BarButtonRow& ButtonRow(BarButton button) {
  return kButtons.at(static_cast<size_t>(button));
}

std::u16string_view ButtonCaption(BarButton button) {
  return ButtonRow(button).caption;
}

std::vector<BarButton> ButtonsToShow(std::u16string_view button_list,
                                     std::u16string_view draft_url) {
  const std::u16string list = std::u16string(button_list) + u",";
  std::vector<BarButton> out{BarButton::kBackToSystem};
  for (const BarButtonRow& row : kButtons) {
    if (row.id == BarButton::kBackToSystem) continue;
    if (list.find(row.caption) == std::u16string::npos) continue;
    if (row.id == BarButton::kManuscript && draft_url.empty()) continue;
    out.push_back(row.id);
  }
  return out;
}

}  // namespace qnmuro
