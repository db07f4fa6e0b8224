#include "simhost/sim_command_bars.h"

#include <algorithm>

#include "simhost/sim_document.h"

namespace qnmuro::simhost {
namespace {

constexpr char16_t kNoMember[] = u"The requested member of the collection does not exist.";

}  // namespace

void SimControls::CheckAlive() const {
  if (!*alive_) ThrowHost(host::kObjectDeleted, u"The command bar has been deleted.");
}

long SimControls::Count() {
  CheckAlive();
  return static_cast<long>(items_.size());
}

std::shared_ptr<host::Control> SimControls::Item(long index) {
  CheckAlive();
  if (index < 1 || index > Count()) ThrowHost(host::kNoSuchMember, kNoMember);
  return items_[index - 1];
}

std::shared_ptr<host::Control> SimControls::Item(std::u16string_view caption) {
  CheckAlive();
  for (auto& c : items_)
    if (c->Caption() == caption) return c;
  ThrowHost(host::kNoSuchMember, kNoMember);
}

std::shared_ptr<host::Control> SimControls::Add(long type, long id, std::optional<long> before,
                                                bool) {
  CheckAlive();
  if (type != host::kControlButton && type != host::kControlPopup)
    ThrowHost(host::kBadParameter, u"The control type is not valid.");
  long at = before.value_or(Count() + 1);
  if (at < 1 || at > Count() + 1) ThrowHost(host::kBadParameter, u"The position is out of range.");
  auto control = std::make_shared<SimControl>(type, id, alive_);
  items_.insert(items_.begin() + (at - 1), control);
  return control;
}

std::shared_ptr<SimControl> SimControls::AddBuiltIn(long type, std::u16string_view caption,
                                                    std::function<void()> action) {
  auto control = std::make_shared<SimControl>(type, 0, alive_);
  control->SetCaption(caption);
  control->set_action(std::move(action));
  items_.push_back(control);
  return control;
}

SimControl::SimControl(long type, long id, std::shared_ptr<bool> alive)
    : type_(type), id_(id), alive_(std::move(alive)) {
  if (type_ == host::kControlPopup) children_ = std::make_unique<SimControls>(alive_);
}

void SimControl::CheckAlive() const {
  if (!*alive_) ThrowHost(host::kObjectDeleted, u"The control has been deleted.");
}

void SimControl::CheckButton() const {
  CheckAlive();
  if (type_ != host::kControlButton)
    ThrowHost(host::kNotAvailable, u"The command is not available for this kind of control.");
}

long SimControl::Type() {
  CheckAlive();
  return type_;
}

std::u16string SimControl::Caption() {
  CheckAlive();
  return caption_;
}

void SimControl::SetCaption(std::u16string_view caption) {
  CheckAlive();
  caption_ = caption;
}

std::u16string SimControl::TooltipText() {
  CheckAlive();
  return tooltip_;
}

void SimControl::SetTooltipText(std::u16string_view text) {
  CheckAlive();
  tooltip_ = text;
}

bool SimControl::Visible() {
  CheckAlive();
  return visible_;
}

void SimControl::SetVisible(bool visible) {
  CheckAlive();
  visible_ = visible;
}

bool SimControl::Enabled() {
  CheckAlive();
  return enabled_;
}

void SimControl::SetEnabled(bool enabled) {
  CheckAlive();
  enabled_ = enabled;
}

void SimControl::Execute() {
  CheckAlive();
  if (!enabled_) ThrowHost(host::kNotAvailable, u"The command is not available.");
  if (type_ != host::kControlButton) return;
  bool cancel_default = false;
  auto subscribers = subscribers_;
  for (auto* s : subscribers) s->Click(*this, cancel_default);
  if (!cancel_default && action_) action_();
}

void SimControl::SetFace(const host::Picture& face) {
  CheckButton();
  face_ = face;
}

host::Picture SimControl::Face() {
  CheckButton();
  return face_;
}

void SimControl::SetStyle(long style) {
  CheckButton();
  style_ = style;
}

void SimControl::Subscribe(host::ButtonEvents* events) {
  CheckButton();
  if (events != nullptr &&
      std::find(subscribers_.begin(), subscribers_.end(), events) == subscribers_.end())
    subscribers_.push_back(events);
}

void SimControl::Unsubscribe(host::ButtonEvents* events) {
  std::erase(subscribers_, events);
}

host::Controls& SimControl::GetControls() {
  CheckAlive();
  if (!children_) ThrowHost(host::kNotAvailable, u"The control is not a popup.");
  return *children_;
}

SimCommandBar::SimCommandBar(std::u16string name, bool built_in, bool temporary,
                             std::function<void(SimCommandBar&)> on_delete)
    : name_(std::move(name)),
      built_in_(built_in),
      temporary_(temporary),
      alive_(std::make_shared<bool>(true)),
      controls_(alive_),
      on_delete_(std::move(on_delete)) {}

void SimCommandBar::CheckAlive() const {
  if (!*alive_) ThrowHost(host::kObjectDeleted, u"The command bar has been deleted.");
}

std::u16string SimCommandBar::Name() {
  CheckAlive();
  return name_;
}

bool SimCommandBar::Visible() {
  CheckAlive();
  return visible_;
}

void SimCommandBar::SetVisible(bool visible) {
  CheckAlive();
  visible_ = visible;
}

bool SimCommandBar::Enabled() {
  CheckAlive();
  return enabled_;
}

void SimCommandBar::SetEnabled(bool enabled) {
  CheckAlive();
  enabled_ = enabled;
}

void SimCommandBar::Delete() {
  CheckAlive();
  if (built_in_) ThrowHost(host::kNotAvailable, u"A built-in command bar cannot be deleted.");
  *alive_ = false;
  if (on_delete_) on_delete_(*this);
}

host::Controls& SimCommandBar::GetControls() {
  CheckAlive();
  return controls_;
}

std::shared_ptr<host::CommandBar> SimCommandBars::Find(std::u16string_view name) {
  for (auto& b : bars_)
    if (b->Name() == name) return b;
  return nullptr;
}

std::shared_ptr<host::CommandBar> SimCommandBars::Add(std::u16string_view name, long position, bool,
                                                      bool temporary) {
  if (name.empty() || Find(name) != nullptr)
    ThrowHost(host::kBadParameter, u"A command bar of that name cannot be added.");
  if (position < host::kBarLeft || position > host::kBarBottom)
    ThrowHost(host::kBadParameter, u"The command bar position is not valid.");
  auto bar = std::make_shared<SimCommandBar>(std::u16string(name), false, temporary,
                                             [this](SimCommandBar& b) { Remove(b); });
  bars_.push_back(bar);
  return bar;
}

std::shared_ptr<SimCommandBar> SimCommandBars::AddBuiltIn(std::u16string_view name) {
  auto bar = std::make_shared<SimCommandBar>(std::u16string(name), true, false, nullptr);
  bars_.push_back(bar);
  return bar;
}

void SimCommandBars::Remove(SimCommandBar& bar) {
  std::erase_if(bars_, [&](const auto& b) { return b.get() == &bar; });
}

std::vector<std::shared_ptr<host::CommandBar>> SimCommandBars::AddedBars() const {
  std::vector<std::shared_ptr<host::CommandBar>> out;
  for (auto& b : bars_)
    if (!b->built_in()) out.push_back(b);
  return out;
}

std::shared_ptr<SimControl> SimCommandBars::FindControl(std::u16string_view caption,
                                                        bool* enabled) const {
  std::function<std::shared_ptr<SimControl>(const SimControls&, bool)> search =
      [&](const SimControls& controls, bool on) -> std::shared_ptr<SimControl> {
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

void SimCommandBars::DropTemporary() {
  for (auto& b : bars_)
    if (b->temporary()) b->Kill();
  std::erase_if(bars_, [](const auto& b) { return b->temporary(); });
}

}  // namespace qnmuro::simhost
