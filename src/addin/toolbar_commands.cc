// The toolbar's commands: each click handler hands the work to its workflow operation with
// the add-in's application, workflow document and notice text.
#include "addin/wps_addin.h"
#include "common/shared_state.h"
#include "host/host_util.h"
#include "seals/report_insertion.h"
#include "seals/seal_stamp.h"
#include "workflow/file_insertion.h"
#include "workflow/original_draft.h"
#include "workflow/template_change.h"

namespace qnmuro {

void WPSaddin::InsertFile_Click(host::Control& /*button*/, bool& /*cancel_default*/) {
  qnmuro::InsertFile(context_, wpsApp, wpsDoc.get(), state().records.documentInfo.action);
}

void WPSaddin::Manuscript_Click(host::Control& /*button*/, bool& /*cancel_default*/) {
  ShowOriginalDraft(context_, messageText);
}

void WPSaddin::InsertReport_Click(host::Control& /*button*/, bool& /*cancel_default*/) {
  qnmuro::InsertReport(context_, wpsApp, wpsDoc.get(), messageText);
}

void WPSaddin::SetSeal_Click(host::Control& /*button*/, bool& /*cancel_default*/) {
  if (!seal_form_) seal_form_ = std::make_unique<ChangeSealForm>(context_);
  qnmuro::SetSeal(context_, wpsApp, *seal_form_, messageText);
}

void WPSaddin::ChangeTemplate_Click(host::Control& /*button*/, bool& /*cancel_default*/) {
  if (!template_form_) template_form_ = std::make_unique<ChangeTemplateForm>(context_);
  qnmuro::ChangeTemplate(context_, wpsApp, wpsDoc.get(), *template_form_, messageText);
}

void WPSaddin::BackToSystem_Click(host::Control& /*button*/, bool& /*cancel_default*/) {
  if (CloseForReturn(Require(wpsApp)) && wpsApp != nullptr) AssignApp(nullptr);
}

}  // namespace qnmuro
