#include "platform/ui.h"

namespace qnmuro {

const char* ToString(MsgButtons b) {
  switch (b) {
    case MsgButtons::kOk:
      return "ok";
    case MsgButtons::kOkCancel:
      return "ok-cancel";
    case MsgButtons::kYesNo:
      return "yes-no";
    case MsgButtons::kYesNoCancel:
      return "yes-no-cancel";
  }
  return "ok";
}

const char* ToString(MsgIcon i) {
  switch (i) {
    case MsgIcon::kNone:
      return "none";
    case MsgIcon::kInformation:
      return "information";
    case MsgIcon::kQuestion:
      return "question";
    case MsgIcon::kCritical:
      return "critical";
    case MsgIcon::kExclamation:
      return "exclamation";
  }
  return "none";
}

const char* ToString(MsgAnswer a) {
  switch (a) {
    case MsgAnswer::kOk:
      return "ok";
    case MsgAnswer::kCancel:
      return "cancel";
    case MsgAnswer::kYes:
      return "yes";
    case MsgAnswer::kNo:
      return "no";
  }
  return "ok";
}

MsgAnswer DefaultAnswer(MsgButtons b) {
  return (b == MsgButtons::kYesNo || b == MsgButtons::kYesNoCancel) ? MsgAnswer::kYes
                                                                     : MsgAnswer::kOk;
}

MsgAnswer ScriptedUi::ShowMessage(std::u16string_view text, MsgButtons buttons, MsgIcon icon,
                                  std::u16string_view title) {
  UiRecord r;
  r.kind = UiRecord::Kind::kMessage;
  r.text = text;
  r.title = title;
  r.buttons = buttons;
  r.icon = icon;
  if (answers_.empty()) {
    r.answer = DefaultAnswer(buttons);
    r.defaulted = true;
  } else {
    r.answer = answers_.front();
    answers_.pop_front();
  }
  records_.push_back(r);
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
  records_.push_back(r);
  return r.input;
}

void ScriptedUi::SetCursorShape(int code) {
  cursor_ = code;
  UiRecord r;
  r.kind = UiRecord::Kind::kCursor;
  r.cursor = code;
  records_.push_back(r);
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
  records_.push_back(r);
  return r.input;
}

}  // namespace qnmuro
