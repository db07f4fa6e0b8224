// Command bars kept in memory, for a host that models the bars the add-in sees itself (the
// simulated word processor; Writer, whose host mirrors them onto Writer's own toolbar): bars
// with buttons and popup menus, the built-in "Menu Bar", and bars added by add-ins (temporary
// ones are dropped when the application quits). Handles to a deleted bar or its controls raise
// kObjectDeleted.
#ifndef QNMURO_HOSTKIT_MEM_COMMAND_BARS_H_
#define QNMURO_HOSTKIT_MEM_COMMAND_BARS_H_

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/host.h"

namespace qnmuro::hostkit {

class MemControl;
class MemCommandBar;

class MemControls final : public host::Controls {
 public:
  explicit MemControls(std::shared_ptr<bool> alive) : alive_(std::move(alive)) {}

  long Count() override;
  std::shared_ptr<host::Control> Item(long index) override;
  std::shared_ptr<host::Control> Item(std::u16string_view caption) override;
  std::shared_ptr<host::Control> Add(long type, long id, std::optional<long> before,
                                     bool temporary) override;

  const std::vector<std::shared_ptr<MemControl>>& items() const { return items_; }
  // A built-in control with its host action.
  std::shared_ptr<MemControl> AddBuiltIn(long type, std::u16string_view caption,
                                         std::function<void()> action);

 private:
  void CheckAlive() const;
  std::shared_ptr<bool> alive_;  // false once the bar is deleted
  std::vector<std::shared_ptr<MemControl>> items_;
};

class MemControl final : public host::Control {
 public:
  MemControl(long type, long id, std::shared_ptr<bool> alive);

  long Type() override;
  std::u16string Caption() override;
  void SetCaption(std::u16string_view caption) override;
  std::u16string TooltipText() override;
  void SetTooltipText(std::u16string_view text) override;
  bool Visible() override;
  void SetVisible(bool visible) override;
  bool Enabled() override;
  void SetEnabled(bool enabled) override;
  // kNotAvailable when the control is disabled.
  void Execute() override;
  void SetFace(const host::Picture& face) override;
  host::Picture Face() override;
  void SetStyle(long style) override;
  void Subscribe(host::ButtonEvents* events) override;
  void Unsubscribe(host::ButtonEvents* events) override;
  host::Controls& GetControls() override;

  long style() const { return style_; }
  void set_action(std::function<void()> action) { action_ = std::move(action); }
  MemControls* popup() { return children_.get(); }

 private:
  void CheckAlive() const;
  void CheckButton() const;

  long type_, id_;
  std::shared_ptr<bool> alive_;
  std::u16string caption_, tooltip_;
  bool visible_ = true, enabled_ = true;
  host::Picture face_;
  long style_ = 0;
  std::vector<host::ButtonEvents*> subscribers_;
  std::unique_ptr<MemControls> children_;
  std::function<void()> action_;
};

class MemCommandBar final : public host::CommandBar {
 public:
  MemCommandBar(std::u16string name, bool built_in, bool temporary,
                std::function<void(MemCommandBar&)> on_delete);

  std::u16string Name() override;
  bool Visible() override;
  void SetVisible(bool visible) override;
  bool Enabled() override;
  void SetEnabled(bool enabled) override;
  // Built-in bars cannot be deleted (kNotAvailable).
  void Delete() override;
  host::Controls& GetControls() override;

  bool built_in() const { return built_in_; }
  bool temporary() const { return temporary_; }
  bool alive() const { return *alive_; }
  MemControls& controls() { return controls_; }
  // Marks the bar and its controls deleted without telling the owner.
  void Kill() { *alive_ = false; }

 private:
  void CheckAlive() const;

  std::u16string name_;
  bool built_in_, temporary_;
  bool visible_ = true, enabled_ = true;
  std::shared_ptr<bool> alive_;
  MemControls controls_;
  std::function<void(MemCommandBar&)> on_delete_;
};

class MemCommandBars final : public host::CommandBars {
 public:
  long Count() override { return static_cast<long>(bars_.size()); }
  std::shared_ptr<host::CommandBar> Find(std::u16string_view name) override;
  // kBadParameter for an empty name or one already used by another bar.
  std::shared_ptr<host::CommandBar> Add(std::u16string_view name, long position, bool menu_bar,
                                        bool temporary) override;

  std::shared_ptr<MemCommandBar> AddBuiltIn(std::u16string_view name);
  std::vector<std::shared_ptr<host::CommandBar>> AddedBars() const;
  // The first visible button or menu item with this caption: added bars first.
  std::shared_ptr<MemControl> FindControl(std::u16string_view caption, bool* enabled) const;
  void DropTemporary();

 private:
  void Remove(MemCommandBar& bar);
  std::vector<std::shared_ptr<MemCommandBar>> bars_;
};

}  // namespace qnmuro::hostkit

#endif  // QNMURO_HOSTKIT_MEM_COMMAND_BARS_H_
