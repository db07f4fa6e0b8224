#include "platform/ui.h"

#include "platform/form.h"

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

bool Offers(MsgButtons b, MsgAnswer a) {
  switch (b) {
    case MsgButtons::kOk:
      return a == MsgAnswer::kOk;
    case MsgButtons::kOkCancel:
      return a == MsgAnswer::kOk || a == MsgAnswer::kCancel;
    case MsgButtons::kYesNo:
      return a == MsgAnswer::kYes || a == MsgAnswer::kNo;
    case MsgButtons::kYesNoCancel:
      return a != MsgAnswer::kOk;
  }
  return false;
}

void UiService::ShowForm(Form& form) {
  form.Load();
  form.Show();
  try {
    RunForm(form);
  } catch (...) {
    form.Hide();
    throw;
  }
  // A UI that gave up with the form still open leaves it hidden, never half-shown.
  if (form.visible()) form.Hide();
}

}  // namespace qnmuro
