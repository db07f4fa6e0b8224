#include "hostkit/mem_command_bars.h"

#include <algorithm>

#include "hostkit/host_error.h"

namespace qnmuro::hostkit {
namespace {

constexpr char16_t kNoMember[] = u"The requested member of the collection does not exist.";

}  // namespace

void MemControls::CheckAlive() const {
  if (!*alive_) ThrowHost(host::kObjectDeleted, u"The command bar has been deleted.");
}

long MemControls::Count() {
  CheckAlive();
  return static_cast<long>(items_.size());
}

std::shared_ptr<host::Control> MemControls::Item(long index) {
  CheckAlive();
  if (index < 1 || index > Count()) ThrowHost(host::kNoSuchMember, kNoMember);
  return items_[index - 1];
}

std::shared_ptr<host::Control> MemControls::Item(std::u16string_view caption) {
  CheckAlive();
  for (auto& c : items_)
    if (c->Caption() == caption) return c;
  ThrowHost(host::kNoSuchMember, kNoMember);
}

std::shared_ptr<host::Control> MemControls::Add(long type, long id, std::optional<long> before,
                                                bool) {
  CheckAlive();
  if (type != host::kControlButton && type != host::kControlPopup)
    ThrowHost(host::kBadParameter, u"The control type is not valid.");
  long at = before.value_or(Count() + 1);
  if (at < 1 || at > Count() + 1) ThrowHost(host::kBadParameter, u"The position is out of range.");
  auto control = std::make_shared<MemControl>(type, id, alive_);
  items_.insert(items_.begin() + (at - 1), control);
  return control;
}

std::shared_ptr<MemControl> MemControls::AddBuiltIn(long type, std::u16string_view caption,
                                                    std::function<void()> action) {
  auto control = std::make_shared<MemControl>(type, 0, alive_);
  control->SetCaption(caption);
  control->set_action(std::move(action));
  items_.push_back(control);
  return control;
}

MemControl::MemControl(long type, long id, std::shared_ptr<bool> alive)
    : type_(type), id_(id), alive_(std::move(alive)) {
  if (type_ == host::kControlPopup) children_ = std::make_unique<MemControls>(alive_);
}

void MemControl::CheckAlive() const {
  if (!*alive_) ThrowHost(host::kObjectDeleted, u"The control has been deleted.");
}

void MemControl::CheckButton() const {
  CheckAlive();
  if (type_ != host::kControlButton)
    ThrowHost(host::kNotAvailable, u"The command is not available for this kind of control.");
}

long MemControl::Type() {
  CheckAlive();
  return type_;
}

std::u16string MemControl::Caption() {
  CheckAlive();
  return caption_;
}

void MemControl::SetCaption(std::u16string_view caption) {
  CheckAlive();
  caption_ = caption;
}

std::u16string MemControl::TooltipText() {
  CheckAlive();
  return tooltip_;
}

void MemControl::SetTooltipText(std::u16string_view text) {
  CheckAlive();
  tooltip_ = text;
}

bool MemControl::Visible() {
  CheckAlive();
  return visible_;
}

void MemControl::SetVisible(bool visible) {
  CheckAlive();
  visible_ = visible;
}

bool MemControl::Enabled() {
  CheckAlive();
  return enabled_;
}

void MemControl::SetEnabled(bool enabled) {
  CheckAlive();
  enabled_ = enabled;
}

void MemControl::Execute() {
  CheckAlive();
  if (!enabled_) ThrowHost(host::kNotAvailable, u"The command is not available.");
  if (type_ != host::kControlButton) return;
  bool cancel_default = false;
  auto subscribers = subscribers_;
  for (auto* s : subscribers) s->Click(*this, cancel_default);
  if (!cancel_default && action_) action_();
}

void MemControl::SetFace(const host::Picture& face) {
  CheckButton();
  face_ = face;
}

host::Picture MemControl::Face() {
  CheckButton();
  return face_;
}

void MemControl::SetStyle(long style) {
  CheckButton();
  style_ = style;
}

void MemControl::Subscribe(host::ButtonEvents* events) {
  CheckButton();
  if (events != nullptr &&
      std::find(subscribers_.begin(), subscribers_.end(), events) == subscribers_.end())
    subscribers_.push_back(events);
}

void MemControl::Unsubscribe(host::ButtonEvents* events) {
  std::erase(subscribers_, events);
}

host::Controls& MemControl::GetControls() {
  CheckAlive();
  if (!children_) ThrowHost(host::kNotAvailable, u"The control is not a popup.");
  return *children_;
}

MemCommandBar::MemCommandBar(std::u16string name, bool built_in, bool temporary,
                             std::function<void(MemCommandBar&)> on_delete)
    : name_(std::move(name)),
      built_in_(built_in),
      temporary_(temporary),
      alive_(std::make_shared<bool>(true)),
      controls_(alive_),
      on_delete_(std::move(on_delete)) {}

void MemCommandBar::CheckAlive() const {
  if (!*alive_) ThrowHost(host::kObjectDeleted, u"The command bar has been deleted.");
}

std::u16string MemCommandBar::Name() {
  CheckAlive();
  return name_;
}

bool MemCommandBar::Visible() {
  CheckAlive();
  return visible_;
}

void MemCommandBar::SetVisible(bool visible) {
  CheckAlive();
  visible_ = visible;
}

bool MemCommandBar::Enabled() {
  CheckAlive();
  return enabled_;
}

void MemCommandBar::SetEnabled(bool enabled) {
  CheckAlive();
  enabled_ = enabled;
}

void MemCommandBar::Delete() {
  CheckAlive();
  if (built_in_) ThrowHost(host::kNotAvailable, u"A built-in command bar cannot be deleted.");
  *alive_ = false;
  if (on_delete_) on_delete_(*this);
}

host::Controls& MemCommandBar::GetControls() {
  CheckAlive();
  return controls_;
}

std::shared_ptr<host::CommandBar> MemCommandBars::Find(std::u16string_view name) {
  for (auto& b : bars_)
    if (b->Name() == name) return b;
  return nullptr;
}

std::shared_ptr<host::CommandBar> MemCommandBars::Add(std::u16string_view name, long position, bool,
                                                      bool temporary) {
  if (name.empty() || Find(name) != nullptr)
    ThrowHost(host::kBadParameter, u"A command bar of that name cannot be added.");
  if (position < host::kBarLeft || position > host::kBarBottom)
    ThrowHost(host::kBadParameter, u"The command bar position is not valid.");
  auto bar = std::make_shared<MemCommandBar>(std::u16string(name), false, temporary,
                                             [this](MemCommandBar& b) { Remove(b); });
  bars_.push_back(bar);
  return bar;
}

std::shared_ptr<MemCommandBar> MemCommandBars::AddBuiltIn(std::u16string_view name) {
  auto bar = std::make_shared<MemCommandBar>(std::u16string(name), true, false, nullptr);
  bars_.push_back(bar);
  return bar;
}

void MemCommandBars::Remove(MemCommandBar& bar) {
  std::erase_if(bars_, [&](const auto& b) { return b.get() == &bar; });
}

std::vector<std::shared_ptr<host::CommandBar>> MemCommandBars::AddedBars() const {
  std::vector<std::shared_ptr<host::CommandBar>> out;
  for (auto& b : bars_)
    if (!b->built_in()) out.push_back(b);
  return out;
}

std::shared_ptr<MemControl> MemCommandBars::FindControl(std::u16string_view caption,
                                                        bool* enabled) const {
  std::function<std::shared_ptr<MemControl>(const MemControls&, bool)> search =
      [&](const MemControls& controls, bool on) -> std::shared_ptr<MemControl> {
    for (auto& c : controls.items()) {
      if (!c->Visible()) continue;
      if (c->Caption() == caption) {
        *enabled = on && c->Enabled();
        return c;
      }
      if (c->popup() != nullptr) {
        if (auto found = search(*c->popup(), on && c->Enabled())) return found;
      }
    }
    return nullptr;
  };
  for (int pass = 0; pass < 2; ++pass) {
    for (auto& b : bars_) {
      if (b->built_in() != (pass == 1) || !b->Visible()) continue;
      if (auto found = search(b->controls(), b->Enabled())) return found;
    }
  }
  return nullptr;
}

void MemCommandBars::DropTemporary() {
  for (auto& b : bars_)
    if (b->temporary()) b->Kill();
  std::erase_if(bars_, [](const auto& b) { return b->temporary(); });
}

}  // namespace qnmuro::hostkit
