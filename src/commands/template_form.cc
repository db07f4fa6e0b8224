#include "commands/template_form.h"

#include <algorithm>

#include "base/error.h"
#include "base/text.h"
#include "commands/command_support.h"
#include "common/shared_state.h"
#include "config/control_rules.h"
#include "host/host_util.h"
#include "platform/ui.h"

namespace qnmuro {
ChangeTemplateForm::ChangeTemplateForm(const Context& ctx)
    : ctx_(ctx), form_(kTemplateFormCaption) {
  word_combox_ = &form_.AddComboBox(u"WordCombox", u"文种：");
  template_list_ = &form_.AddListBox(u"TemplateList", u"模板：");
  word_combox_->OnChange([this] { WordCombox_Click(); });
  form_.AddButton(u"OK", kOkCaption).OnClick([this] { OK_Click(); });
  form_.AddButton(u"Cancel", kCancelCaption).OnClick([this] { Cancel_Click(); });
  form_.OnLoad([this] { Form_Load(); });
}

void ChangeTemplateForm::Show(host::Application* app) {
  app_ = app;
  Require(ctx_.ui).ShowForm(form_);
}

void ChangeTemplateForm::Form_Load() {
  TrapFirstFailure(
      [&] {
        word_combox_->Clear();
        local_template_path_.clear();
        for (const WordNameInfo& entry : Require(ctx_.state).records.wordNames) {
          word_combox_->AddItem(entry.name);
        }
      },
      [&](const Error& error) {
        ReportCommandError(ctx_, u"更换模板错误.Form_Load:", u"", error, &error);
      });
}

bool ChangeTemplateForm::ListTemplates(size_t entry) {
  const std::vector<WordNameInfo>& names = Require(ctx_.state).records.wordNames;
  if (entry >= names.size()) return false;
  const WordNameInfo& info = names[entry];
  bool listed = false;
  const size_t count = std::min(info.templateName.size(), info.templateFile.size());
  for (size_t k = 0; k < count; ++k) {
    if (!TemplateOffered(info.templateFile[k])) continue;
    template_list_->AddItem(info.templateName[k]);
    listed = true;
  }
  return listed;
}

void ChangeTemplateForm::WordCombox_Click() {
  bool listed = false;
  TrapFirstFailure(
      [&] {
        template_list_->Clear();
        const std::vector<WordNameInfo>& names = Require(ctx_.state).records.wordNames;
        for (size_t i = 0; i < names.size(); ++i) {
          if (names[i].name != word_combox_->Text()) continue;
          listed = ListTemplates(i);
          wordIndex = i;
          break;
        }
        if (!listed) {
          ListTemplates(0);
          wordIndex = 0;
        }
      },
      [&](const Error& error) {
        ReportCommandError(ctx_, u"更换模板错误.WordCombox_Click:", u"", error, &error);
      });
}

void ChangeTemplateForm::OK_Click() {
  TrapFirstFailure(
      [&] {
        const ControlRecords& records = Require(ctx_.state).records;
        if (wordIndex >= records.wordNames.size()) throw MakeError(kErrSubscript);
        const WordNameInfo& entry = records.wordNames[wordIndex];
        std::u16string unid;
        std::u16string file;
        const size_t count = std::min(entry.templateName.size(), entry.templateFile.size());
        for (size_t k = 0; k < count; ++k) {
          if (entry.templateName[k] != template_list_->Text()) continue;
          unid = entry.unid;
          file = entry.templateFile[k];
          break;
        }
        if (unid.empty() || file.empty()) {
          Require(ctx_.ui).ShowMessage(kNoTemplateChosen, MsgButtons::kOk, MsgIcon::kNone, u"");
          return;
        }
        const std::u16string local = WorkFilePath(
            ctx_, kTemplateCopyPrefix + Require(Require(app_).ActiveDocument()).Name());
        DownloadServerFile(ctx_, unid, file, local, ctx_.download_limits.file);
        local_template_path_ = local;
        form_.Hide();
      },
      [&](const Error& error) {
        ReportCommandError(ctx_, u"更换模板错误.OK_Click:", u"", error, &error);
      });
}

void ChangeTemplateForm::Cancel_Click() {
  local_template_path_.clear();
  form_.Hide();
}

}  // namespace qnmuro
