#include "platform/ui.h"

#include "platform/form.h"

namespace qnmuro {

void ScriptedUi::Record(UiRecord record) {
  records_.push_back(std::move(record));
  if (listener_) listener_(records_.back());
}

MsgAnswer ScriptedUi::ShowMessage(std::u16string_view text, MsgButtons buttons, MsgIcon icon,
                                  std::u16string_view title) {
  UiRecord r;
  r.kind = UiRecord::Kind::kMessage;
  r.text = text;
  r.title = title;
  r.buttons = buttons;
  r.icon = icon;
  std::optional<MsgAnswer> queued;
  if (!answers_.empty()) {
    queued = answers_.front();
    answers_.pop_front();
  }
  if (queued && Offers(buttons, *queued)) {
    r.answer = *queued;
  } else {
    r.answer = DefaultAnswer(buttons);
    r.defaulted = true;
    if (queued && !misfit_) misfit_ = Misfit{*queued, r};
  }
  Record(r);
  return r.answer;
}

std::optional<std::u16string> ScriptedUi::AskText(std::u16string_view prompt,
                                                  std::u16string_view title,
                                                  std::u16string_view /*default_text*/) {
  UiRecord r;
  r.kind = UiRecord::Kind::kInput;
  r.text = prompt;
  r.title = title;
  if (inputs_.empty()) {
    r.defaulted = true;
  } else {
    r.input = inputs_.front();
    inputs_.pop_front();
  }
  Record(r);
  return r.input;
}

void ScriptedUi::SetCursorShape(int code) {
  cursor_ = code;
  UiRecord r;
  r.kind = UiRecord::Kind::kCursor;
  r.cursor = code;
  Record(r);
}

std::optional<std::u16string> ScriptedUi::PickFile(std::u16string_view caption) {
  UiRecord r;
  r.kind = UiRecord::Kind::kDialog;
  r.text = caption;
  if (files_.empty()) {
    r.defaulted = true;
  } else {
    r.input = files_.front();
    files_.pop_front();
  }
  Record(r);
  return r.input;
}

std::optional<FormAnswer> ScriptedUi::TakeFormAnswer() {
  if (forms_.empty()) return std::nullopt;
  FormAnswer answer = std::move(forms_.front());
  forms_.pop_front();
  return answer;
}

void ScriptedUi::RecordForm(std::u16string_view caption, std::vector<std::u16string> picked,
                            bool confirmed, bool defaulted) {
  UiRecord r;
  r.kind = UiRecord::Kind::kForm;
  r.text = caption;
  r.defaulted = defaulted;
  // The choices count only when the form was confirmed.
  if (confirmed) {
    r.input = u"";
    r.picked = std::move(picked);
  }
  Record(std::move(r));
}

void ScriptedUi::RunForm(Form& form) {
  const std::optional<FormAnswer> answer = TakeFormAnswer();
  std::vector<std::u16string> picked;
  bool confirmed = false;
  if (answer && !answer->cancel) {
    if (FormControl* combo = form.FirstOfKind(FormControlKind::kComboBox);
        combo != nullptr && answer->combo_text) {
      combo->SetText(*answer->combo_text);
      picked.push_back(*answer->combo_text);
    }
    if (FormControl* list = form.FirstOfKind(FormControlKind::kListBox);
        form.visible() && list != nullptr && answer->list_item) {
      list->SelectItem(*answer->list_item);
      picked.push_back(*answer->list_item);
    }
    if (FormControl* ok = form.FindButton(kOkCaption); form.visible() && ok != nullptr) {
      ok->Click();
    }
    // Confirmed only when the OK handler accepted the choice and closed the form.
    confirmed = !form.visible();
  }
  if (form.visible()) {
    if (FormControl* cancel = form.FindButton(kCancelCaption)) cancel->Click();
  }
  if (form.visible()) form.Hide();
  RecordForm(form.caption(), std::move(picked), confirmed, !answer);
}

}  // namespace qnmuro
