#include "platform/form.h"

#include "base/error.h"

namespace qnmuro {

FormControl::FormControl(FormControlKind kind, std::u16string name, std::u16string caption)
    : kind_(kind), name_(std::move(name)), caption_(std::move(caption)) {}

void FormControl::Require(bool applies) const {
  if (!applies) throw MakeError(kErrNotSupported);
}

void FormControl::SetCaption(std::u16string_view caption) {
  Require(kind_ == FormControlKind::kLabel || kind_ == FormControlKind::kButton);
  caption_ = caption;
}

void FormControl::AddItem(std::u16string_view text) {
  Require(kind_ == FormControlKind::kComboBox || kind_ == FormControlKind::kListBox);
  items_.emplace_back(text);
}

void FormControl::Clear() {
  Require(kind_ == FormControlKind::kComboBox || kind_ == FormControlKind::kListBox);
  items_.clear();
  text_.clear();
  selected_ = -1;
}

std::u16string FormControl::Text() const {
  switch (kind_) {
    case FormControlKind::kComboBox:
      return text_;
    case FormControlKind::kListBox:
      return selected_ >= 0 && selected_ < static_cast<long>(items_.size()) ? items_[selected_]
                                                                            : u"";
    case FormControlKind::kLabel:
    case FormControlKind::kButton:
      break;
  }
  return caption_;
}

long FormControl::ListIndex() const {
  Require(kind_ == FormControlKind::kComboBox || kind_ == FormControlKind::kListBox);
  if (kind_ == FormControlKind::kListBox) return selected_;
  for (size_t i = 0; i < items_.size(); ++i) {
    if (items_[i] == text_) return static_cast<long>(i);
  }
  return -1;
}

void FormControl::SetText(std::u16string_view text) {
  Require(kind_ == FormControlKind::kComboBox);
  text_ = text;
  if (on_change_) on_change_();
}

void FormControl::Select(long index) {
  Require(kind_ == FormControlKind::kListBox);
  if (index < 0 || index >= static_cast<long>(items_.size())) throw MakeError(kErrInvalidCall);
  selected_ = index;
  if (on_change_) on_change_();
}

bool FormControl::SelectItem(std::u16string_view text) {
  Require(kind_ == FormControlKind::kListBox);
  for (size_t i = 0; i < items_.size(); ++i) {
    if (items_[i] == text) {
      Select(static_cast<long>(i));
      return true;
    }
  }
  return false;
}

void FormControl::Click() {
  Require(kind_ == FormControlKind::kButton);
  if (on_click_) on_click_();
}

void FormControl::OnChange(std::function<void()> handler) {
  Require(kind_ == FormControlKind::kComboBox || kind_ == FormControlKind::kListBox);
  on_change_ = std::move(handler);
}

void FormControl::OnClick(std::function<void()> handler) {
  Require(kind_ == FormControlKind::kButton);
  on_click_ = std::move(handler);
}

Form::Form(std::u16string caption) : caption_(std::move(caption)) {}

FormControl& Form::Add(FormControlKind kind, std::u16string name, std::u16string caption) {
  controls_.push_back(std::make_unique<FormControl>(kind, std::move(name), std::move(caption)));
  return *controls_.back();
}

FormControl& Form::AddLabel(std::u16string name, std::u16string caption) {
  return Add(FormControlKind::kLabel, std::move(name), std::move(caption));
}

FormControl& Form::AddComboBox(std::u16string name, std::u16string label) {
  return Add(FormControlKind::kComboBox, std::move(name), std::move(label));
}

FormControl& Form::AddListBox(std::u16string name, std::u16string label) {
  return Add(FormControlKind::kListBox, std::move(name), std::move(label));
}

FormControl& Form::AddButton(std::u16string name, std::u16string caption) {
  return Add(FormControlKind::kButton, std::move(name), std::move(caption));
}

FormControl* Form::Find(std::u16string_view name) const {
  for (const auto& c : controls_) {
    if (c->name() == name) return c.get();
  }
  return nullptr;
}

FormControl* Form::FindButton(std::u16string_view caption) const {
  for (const auto& c : controls_) {
    if (c->kind() == FormControlKind::kButton && c->caption() == caption) return c.get();
  }
  return nullptr;
}

FormControl* Form::FirstOfKind(FormControlKind kind) const {
  for (const auto& c : controls_) {
    if (c->kind() == kind) return c.get();
  }
  return nullptr;
}

void Form::OnLoad(std::function<void()> handler) {
  on_load_ = std::move(handler);
}

void Form::Load() {
  if (loaded_) return;
  loaded_ = true;
  if (on_load_) on_load_();
}

void Form::Show() {
  visible_ = true;
}

void Form::Hide() {
  visible_ = false;
}

void Form::Unload() {
  visible_ = false;
  loaded_ = false;
  for (const auto& c : controls_) {
    if (c->kind() == FormControlKind::kComboBox || c->kind() == FormControlKind::kListBox) {
      c->Clear();
    }
  }
}

}  // namespace qnmuro
