// Modal forms as models: a form is a caption and an ordered set of controls (labels, combo
// boxes, list boxes, buttons) with handlers. The add-in builds a form, fills it in its load
// handler and reacts to the user in the change and click handlers; a UiService shows it
// (UiService::ShowForm) by filling and clicking the controls as the user would, until a
// handler hides or unloads the form.
//
// A form is loaded on its first showing (the load handler runs then), and stays loaded while
// it is merely hidden, so a later showing finds its items, texts and selections as they were.
// Unloading clears every item, text and selection and makes the next showing load it afresh.
//
// Handlers run on the host's user-interface thread inside the modal loop; they should trap
// their own failures. A failure that escapes a handler travels to whoever made the user action
// (and out of UiService::ShowForm, with the form hidden).
#ifndef QNMURO_PLATFORM_FORM_H_
#define QNMURO_PLATFORM_FORM_H_

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qnmuro {

// The captions of the usual confirming and dismissing buttons.
inline constexpr char16_t kOkCaption[] = u"确定";
inline constexpr char16_t kCancelCaption[] = u"取消";

enum class FormControlKind { kLabel, kComboBox, kListBox, kButton };

// One control of a form. A member that does not apply to the control's kind raises error 438.
class FormControl final {
 public:
  FormControl(FormControlKind kind, std::u16string name, std::u16string caption);
  FormControl(const FormControl&) = delete;
  FormControl& operator=(const FormControl&) = delete;

  FormControlKind kind() const { return kind_; }
  const std::u16string& name() const { return name_; }

  // Labels and buttons.
  const std::u16string& caption() const { return caption_; }
  void SetCaption(std::u16string_view caption);

  // Combo and list boxes: the items in the order added.
  const std::vector<std::u16string>& items() const { return items_; }
  void AddItem(std::u16string_view text);
  // Removes every item, the text and the selection; no handler fires.
  void Clear();

  // Combo box: its edit text. List box: the selected item, or empty when none is selected.
  // Labels and buttons: the caption.
  std::u16string Text() const;
  // List box: the selected position from 0, -1 when none. Combo box: the position of the first
  // item equal to the text, -1 when none.
  long ListIndex() const;

  // User actions; each fires the control's handler.
  // Combo box: the user types or picks `text` (any text, listed or not).
  void SetText(std::u16string_view text);
  // List box: the user selects position `index` (0-based); out of range raises error 5 and
  // changes nothing.
  void Select(long index);
  // List box: selects the first item equal to `text`; false (nothing changes, no handler) when
  // no item matches.
  bool SelectItem(std::u16string_view text);
  // Button: the user clicks it.
  void Click();

  // The combo or list box's change handler / the button's click handler.
  void OnChange(std::function<void()> handler);
  void OnClick(std::function<void()> handler);

 private:
  void Require(bool applies) const;

  const FormControlKind kind_;
  const std::u16string name_;
  std::u16string caption_;
  std::vector<std::u16string> items_;
  std::u16string text_;  // combo box edit text
  long selected_ = -1;   // list box selection
  std::function<void()> on_change_;
  std::function<void()> on_click_;
};

class Form final {
 public:
  explicit Form(std::u16string caption);
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  const std::u16string& caption() const { return caption_; }

  // Builds the form: controls are created once, in display order, and live as long as the
  // form. Names should be unique; Find returns the first of a name.
  FormControl& AddLabel(std::u16string name, std::u16string caption);
  // A combo or list box's `label` is what a host that draws the form shows beside it (its
  // caption(); none when empty).
  FormControl& AddComboBox(std::u16string name, std::u16string label = u"");
  FormControl& AddListBox(std::u16string name, std::u16string label = u"");
  FormControl& AddButton(std::u16string name, std::u16string caption);

  const std::vector<std::unique_ptr<FormControl>>& controls() const { return controls_; }
  // Null when there is none.
  FormControl* Find(std::u16string_view name) const;
  FormControl* FindButton(std::u16string_view caption) const;
  FormControl* FirstOfKind(FormControlKind kind) const;

  // Runs when the form is loaded.
  void OnLoad(std::function<void()> handler);

  bool loaded() const { return loaded_; }
  bool visible() const { return visible_; }

  // Loads the form when it is not loaded: marks it loaded, then runs the load handler (a
  // failure escaping the handler leaves the form loaded with what was filled so far).
  void Load();
  // Marks the loaded form as shown; UiService::ShowForm does this before its modal loop.
  void Show();
  // Hides the form; it stays loaded.
  void Hide();
  // Hides the form, clears every combo and list box, and marks it unloaded.
  void Unload();

 private:
  FormControl& Add(FormControlKind kind, std::u16string name, std::u16string caption);

  const std::u16string caption_;
  std::vector<std::unique_ptr<FormControl>> controls_;
  std::function<void()> on_load_;
  bool loaded_ = false;
  bool visible_ = false;
};

}  // namespace qnmuro

#endif  // QNMURO_PLATFORM_FORM_H_
