#include "com/late_bound_control.h"

#include "com/host_members.h"
#include "com/late_bound.h"

namespace qnmuro::com {
namespace {

namespace m = members;

class Control final : public host::Control {
 public:
  explicit Control(IDispatch* object) : object_(object) {}

  long Type() override { return object_.GetLong(m::kType); }
  std::u16string Caption() override { return object_.GetText(m::kCaption); }
  void SetCaption(std::u16string_view caption) override {
    object_.Put(m::kCaption, Variant::String(caption));
  }
  std::u16string TooltipText() override { return object_.GetText(m::kTooltipText); }
  void SetTooltipText(std::u16string_view text) override {
    object_.Put(m::kTooltipText, Variant::String(text));
  }
  bool Visible() override { return object_.GetBool(m::kVisible); }
  void SetVisible(bool visible) override { object_.Put(m::kVisible, Variant::Bool(visible)); }
  bool Enabled() override { return object_.GetBool(m::kEnabled); }
  void SetEnabled(bool enabled) override { object_.Put(m::kEnabled, Variant::Bool(enabled)); }
  void Execute() override { object_.Call(m::kExecute); }
  void SetFace(const host::Picture& /*face*/) override { throw MakeError(kErrNotSupported); }
  host::Picture Face() override { throw MakeError(kErrNotSupported); }
  void SetStyle(long style) override { object_.Put(m::kStyle, LongVariant(style)); }
  void Subscribe(host::ButtonEvents* /*events*/) override { throw MakeError(kErrNotSupported); }
  void Unsubscribe(host::ButtonEvents* /*events*/) override {}
  host::Controls& GetControls() override { throw MakeError(kErrNotSupported); }

 private:
  LateBound object_;
};

}  // namespace

std::shared_ptr<host::Control> LateBoundControl(IDispatch* control) {
  return std::make_shared<Control>(control);
}

}  // namespace qnmuro::com
