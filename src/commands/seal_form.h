// changeSealForm, the seal dialog: the seal names of the control file's seal configuration in a
// combo box; OK downloads the chosen seal's picture into the work directory.
#ifndef QNMURO_COMMANDS_SEAL_FORM_H_
#define QNMURO_COMMANDS_SEAL_FORM_H_

#include <string>

#include "common/context.h"
#include "platform/form.h"

namespace qnmuro {

inline constexpr char16_t kSealFormCaption[] = u"印章选择";
inline constexpr char16_t kSealPrompt[] = u"请选择电子印章:";
inline constexpr char16_t kNoSealChosen[] = u"请选择印章！";

// One instance per loaded add-in. The form is loaded on its first showing (and on the first
// after Cancel unloaded it); OK hides it, keeping its list and choice for the next showing.
class ChangeSealForm {
 public:
  // `ctx` supplies the UI, the control-file records, the network and the log; its services
  // must outlive the form.
  explicit ChangeSealForm(const Context& ctx);
  ChangeSealForm(const ChangeSealForm&) = delete;
  ChangeSealForm& operator=(const ChangeSealForm&) = delete;

  // Shows the dialog modally through the UI service; returns once it is hidden or unloaded.
  void Show();

  // The downloaded picture after OK; empty after Cancel and after the form start.
  const std::u16string& LocalSealPath() const { return local_seal_path_; }
  void SetLocalSealPath(std::u16string path) { local_seal_path_ = std::move(path); }

  Form& form() { return form_; }

 private:
  // The form start: the names of every entry of the seal configuration up to the first entry
  // without unid, in order, duplicates kept. A failure is reported as
  // "选择印章.Form_Load:..." and leaves what was filled.
  void Form_Load();
  // The last entry that lists the chosen name gives the server document and the file; none
  // shows "请选择印章！" and keeps the dialog open. Otherwise the picture is downloaded into
  // <work dir>/<document unid>.<file>, which becomes LocalSealPath, and the dialog is hidden.
  // A failure (a failed download, a name outside the work directory) is reported as
  // "选择印章.OK_Click:..." and keeps the dialog open.
  void OK_Click();
  // Clears LocalSealPath and unloads the dialog.
  void Cancel_Click();

  Context ctx_;
  Form form_;
  FormControl* seal_combo_box_ = nullptr;  // owned by form_
  std::u16string local_seal_path_;
};

}  // namespace qnmuro

#endif  // QNMURO_COMMANDS_SEAL_FORM_H_
