#include "commands/seal_form.h"

#include "base/error.h"
#include "commands/command_support.h"
#include "common/shared_state.h"
#include "config/control_rules.h"
#include "host/host_util.h"
#include "platform/ui.h"

namespace qnmuro {

ChangeSealForm::ChangeSealForm(const Context& ctx) : ctx_(ctx), form_(kSealFormCaption) {
  form_.AddLabel(u"Label1", kSealPrompt);
  seal_combo_box_ = &form_.AddComboBox(u"SealComboBox");
  form_.AddButton(u"OK", kOkCaption).OnClick([this] { OK_Click(); });
  form_.AddButton(u"Cancel", kCancelCaption).OnClick([this] { Cancel_Click(); });
  form_.OnLoad([this] { Form_Load(); });
}

void ChangeSealForm::Show() {
  Require(ctx_.ui).ShowForm(form_);
}

void ChangeSealForm::Form_Load() {
  TrapFirstFailure(
      [&] {
        for (const std::u16string& name : OfferedSeals(Require(ctx_.state).records)) {
          seal_combo_box_->AddItem(name);
        }
        local_seal_path_.clear();
      },
      [&](const Error& error) {
        ReportCommandError(ctx_, u"选择印章.Form_Load:", u"", error, &error);
      });
}

void ChangeSealForm::OK_Click() {
  TrapFirstFailure(
      [&] {
        const ControlRecords& records = Require(ctx_.state).records;
        const std::u16string chosen = seal_combo_box_->Text();
        std::u16string unid;
        std::u16string file;
        for (const WordNameInfo& entry : records.sealWordNames) {
          for (size_t k = 0; k < entry.templateName.size(); ++k) {
            if (entry.templateName[k] != chosen) continue;
            unid = entry.unid;
            file = k < entry.templateFile.size() ? entry.templateFile[k] : u"";
            break;  // the first match of an entry; a later entry may still override it
          }
        }
        if (unid.empty() || file.empty()) {
          Require(ctx_.ui).ShowMessage(kNoSealChosen, MsgButtons::kOk, MsgIcon::kNone, u"");
          return;
        }
        const std::u16string local = WorkFilePath(ctx_, records.documentInfo.unid + u"." + file);
        DownloadServerFile(ctx_, unid, file, local, ctx_.download_limits.picture);
        local_seal_path_ = local;
        form_.Hide();
      },
      [&](const Error& error) {
        ReportCommandError(ctx_, u"选择印章.OK_Click:", u"", error, &error);
      });
}

void ChangeSealForm::Cancel_Click() {
  local_seal_path_.clear();
  form_.Unload();
}

}  // namespace qnmuro
