#include "com/late_bound_control.h"

#include <map>

#include "com/button_face.h"
#include "com/event_sink.h"
#include "com/host_members.h"
#include "com/late_bound.h"

namespace qnmuro::com {
namespace {

namespace m = members;

// The controls of a bar or popup, asked of the owner on every call.
class Controls final : public host::Controls {
 public:
  explicit Controls(IDispatch* owner) : owner_(owner) {}

  long Count() override { return LateBound(List().get()).GetLong(m::kCount); }
  std::shared_ptr<host::Control> Item(long index) override {
    Variant at = LongVariant(index);
    return LateBoundControl(LateBound(List().get()).CallObject(m::kItem, {&at}).get());
  }
  std::shared_ptr<host::Control> Item(std::u16string_view caption) override {
    Variant at = Variant::String(caption);
    return LateBoundControl(LateBound(List().get()).CallObject(m::kItem, {&at}).get());
  }
  std::shared_ptr<host::Control> Add(long type, long id, std::optional<long> before,
                                     bool temporary) override {
    Variant type_arg = LongVariant(type), id_arg = LongVariant(id), parameter = MissingVariant();
    Variant before_arg = before ? LongVariant(*before) : MissingVariant();
    Variant temporary_arg = Variant::Bool(temporary);
    return LateBoundControl(
        LateBound(List().get())
            .CallObject(m::kAdd, {&type_arg, &id_arg, &parameter, &before_arg, &temporary_arg})
            .get());
  }

 private:
  Ptr<IDispatch> List() { return owner_.GetObject(m::kControls); }

  LateBound owner_;
};

class Control final : public host::Control {
 public:
  explicit Control(IDispatch* object) : object_(object), controls_(object) {}

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
  void SetFace(const host::Picture& face) override {
    RequireButton();
    const Ptr<IPictureDisp> picture = PictureOfBmp(face.bmp);
    object_.PutObject(m::kPicture, picture.get());
  }
  // The host keeps the picture, not the label it was made for.
  host::Picture Face() override {
    RequireButton();
    return host::Picture{u"", BmpOfPicture(object_.GetObject(m::kPicture).get())};
  }
  void SetStyle(long style) override { object_.Put(m::kStyle, LongVariant(style)); }
  // Click(Ctrl, CancelDefault): the arguments arrive last first.
  void Subscribe(host::ButtonEvents* events) override {
    sinks_[events] = std::make_unique<EventSink>(
        object_.get(), std::vector<std::pair<const wchar_t*, EventSink::Handler>>{
                           {m::kClickEvent, [events](DISPPARAMS& args) {
                              if (args.cArgs < 2) return;
                              const std::shared_ptr<host::Control> clicked =
                                  LateBoundControl(ObjectOf(args.rgvarg[1]).get());
                              bool cancel = FlagOf(args.rgvarg[0]);
                              events->Click(*clicked, cancel);
                              SetFlag(args.rgvarg[0], cancel);
                            }}});
  }
  void Unsubscribe(host::ButtonEvents* events) override { sinks_.erase(events); }
  host::Controls& GetControls() override { return controls_; }

 private:
  void RequireButton() {
    if (object_.GetLong(m::kType) != host::kControlButton) {
      throw Error(host::kNotAvailable, u"The command is not available for this kind of control.");
    }
  }

  LateBound object_;
  Controls controls_;
  std::map<host::ButtonEvents*, std::unique_ptr<EventSink>> sinks_;
};

class CommandBar final : public host::CommandBar {
 public:
  explicit CommandBar(IDispatch* object) : object_(object), controls_(object) {}

  std::u16string Name() override { return object_.GetText(m::kName); }
  bool Visible() override { return object_.GetBool(m::kVisible); }
  void SetVisible(bool visible) override { object_.Put(m::kVisible, Variant::Bool(visible)); }
  bool Enabled() override { return object_.GetBool(m::kEnabled); }
  void SetEnabled(bool enabled) override { object_.Put(m::kEnabled, Variant::Bool(enabled)); }
  void Delete() override { object_.Call(m::kDelete); }
  host::Controls& GetControls() override { return controls_; }

 private:
  LateBound object_;
  Controls controls_;
};

class CommandBars final : public host::CommandBars {
 public:
  explicit CommandBars(IDispatch* application) : application_(application) {}

  long Count() override { return LateBound(Bars().get()).GetLong(m::kCount); }
  // The host raises an error for a bar it does not have: that is "none" here.
  std::shared_ptr<host::CommandBar> Find(std::u16string_view name) override {
    const Ptr<IDispatch> bars = Bars();
    Variant at = Variant::String(name);
    Ptr<IDispatch> bar;
    try {
      bar = LateBound(bars.get()).CallObject(m::kItem, {&at});
    } catch (const Error&) {
      return nullptr;
    }
    return std::make_shared<CommandBar>(bar.get());
  }
  std::shared_ptr<host::CommandBar> Add(std::u16string_view name, long position, bool menu_bar,
                                        bool temporary) override {
    Variant name_arg = Variant::String(name), position_arg = LongVariant(position);
    Variant menu_arg = Variant::Bool(menu_bar), temporary_arg = Variant::Bool(temporary);
    const Ptr<IDispatch> bar =
        LateBound(Bars().get())
            .CallObject(m::kAdd, {&name_arg, &position_arg, &menu_arg, &temporary_arg});
    return std::make_shared<CommandBar>(bar.get());
  }

 private:
  Ptr<IDispatch> Bars() { return application_.GetObject(m::kCommandBars); }

  LateBound application_;
};

}  // namespace

std::shared_ptr<host::Control> LateBoundControl(IDispatch* control) {
  return std::make_shared<Control>(control);
}

std::unique_ptr<host::CommandBars> LateBoundCommandBars(IDispatch* application) {
  return std::make_unique<CommandBars>(application);
}

}  // namespace qnmuro::com
