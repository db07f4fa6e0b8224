// changeTemplateForm, the template dialog: the body types of the control file in a combo box,
// the chosen type's templates in a list box; OK downloads the chosen template into the work
// directory as "New_" + the active document's name.
#ifndef QNMURO_COMMANDS_TEMPLATE_FORM_H_
#define QNMURO_COMMANDS_TEMPLATE_FORM_H_

#include <cstddef>
#include <string>

#include "common/context.h"
#include "host/host.h"
#include "platform/form.h"

namespace qnmuro {

inline constexpr char16_t kTemplateFormCaption[] = u"更换wps模板";
inline constexpr char16_t kNoTemplateChosen[] = u"请选择模板！";
inline constexpr char16_t kTemplateCopyPrefix[] = u"New_";

// One instance per loaded add-in. The form is loaded on its first showing; OK and Cancel only
// hide it, so a later showing finds its lists, its choices and wordIndex as they were.
class ChangeTemplateForm {
 public:
  // `ctx` supplies the UI, the control-file records, the network and the log; its services
  // must outlive the form.
  explicit ChangeTemplateForm(const Context& ctx);
  ChangeTemplateForm(const ChangeTemplateForm&) = delete;
  ChangeTemplateForm& operator=(const ChangeTemplateForm&) = delete;

  // Shows the dialog modally through the UI service; `app`'s active document names the
  // downloaded file. Returns once the dialog is hidden.
  void Show(host::Application* app);

  // The downloaded template after OK; empty after Cancel and at load.
  const std::u16string& LocalTemplatePath() const { return local_template_path_; }
  void SetLocalTemplatePath(std::u16string path) { local_template_path_ = std::move(path); }

  Form& form() { return form_; }

 private:
  // Fills WordCombox with the name of every body type, in order, and clears LocalTemplatePath.
  void Form_Load();
  // Shows the templates of the first body type named exactly as the combo box's text, or of the
  // first body type when that one offers none, and remembers which in wordIndex.
  void WordCombox_Click();
  // The template named exactly as the list box's text in the body type at wordIndex; none
  // shows "请选择模板！" and keeps the dialog open. Otherwise the template is downloaded into
  // <work dir>/New_<active document's name>, which becomes LocalTemplatePath, and the dialog is
  // hidden. A failure (a failed download among them) is reported and keeps the dialog open.
  void OK_Click();
  void Cancel_Click();
  // Adds the templates of `entry` whose file names contain ".wps" (any letter case); true
  // when there was one.
  bool ListTemplates(size_t entry);

  Context ctx_;
  host::Application* app_ = nullptr;
  Form form_;
  FormControl* word_combox_ = nullptr;    // owned by form_
  FormControl* template_list_ = nullptr;  // owned by form_
  std::u16string local_template_path_;
  size_t wordIndex = 0;
};

}  // namespace qnmuro

#endif  // QNMURO_COMMANDS_TEMPLATE_FORM_H_
