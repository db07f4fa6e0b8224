// LibreOffice's own boxes for the add-in: message boxes through the toolkit's message box
// factory, the input box and the forms as dialogs built from control models, and the office's
// file picker. Each box is modal over the active frame's window.
#include "lohost/lo_ui.h"

#include <dlfcn.h>
#include <rtl/process.h>
#include <com/sun/star/awt/MessageBoxButtons.hpp>
#include <com/sun/star/awt/MessageBoxResults.hpp>
#include <com/sun/star/awt/PosSize.hpp>
#include <com/sun/star/awt/PushButtonType.hpp>
#include <com/sun/star/awt/SystemDependentXWindow.hpp>
#include <com/sun/star/awt/Toolkit.hpp>
#include <com/sun/star/awt/XActionListener.hpp>
#include <com/sun/star/awt/XButton.hpp>
#include <com/sun/star/awt/XComboBox.hpp>
#include <com/sun/star/awt/XControl.hpp>
#include <com/sun/star/awt/XControlContainer.hpp>
#include <com/sun/star/awt/XDialog.hpp>
#include <com/sun/star/awt/XItemListener.hpp>
#include <com/sun/star/awt/XListBox.hpp>
#include <com/sun/star/awt/XMessageBoxFactory.hpp>
#include <com/sun/star/awt/XSystemDependentWindowPeer.hpp>
#include <com/sun/star/awt/XTextComponent.hpp>
#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XNameContainer.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XFrames.hpp>
#include <com/sun/star/lang/SystemDependent.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/ui/dialogs/ExecutableDialogResults.hpp>
#include <com/sun/star/ui/dialogs/FilePicker.hpp>
#include <com/sun/star/ui/dialogs/TemplateDescription.hpp>
#include <cppuhelper/implbase2.hxx>
#include <rtl/ref.hxx>

#include "common/utils.h"
#include "lohost/uno_util.h"
#include "platform/form.h"

namespace qnmuro::lohost {
namespace {

using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using css::uno::XComponentContext;

// The dialogs' layout in dialog units: fields in rows under each other, a label column
// before the labelled ones, the buttons side by side at the bottom right.
constexpr sal_Int32 kWidth = 200, kMargin = 6, kGap = 4, kLabelWidth = 32, kButtonWidth = 50,
                    kButtonHeight = 14, kFieldHeight = 12, kRowGap = 4;

Reference<css::frame::XFrame> ActiveFrame(const Reference<XComponentContext>& ctx) {
  try {
    return css::frame::Desktop::create(ctx)->getCurrentFrame();
  } catch (...) {
    return {};
  }
}

Reference<css::awt::XWindowPeer> ParentPeer(const Reference<XComponentContext>& ctx) {
  const Reference<css::frame::XFrame> frame = ActiveFrame(ctx);
  return frame.is() ? Reference<css::awt::XWindowPeer>(frame->getContainerWindow(), UNO_QUERY)
                    : Reference<css::awt::XWindowPeer>();
}

void Set(const Reference<css::beans::XPropertySet>& props,
         std::initializer_list<std::pair<const char*, Any>> values) {
  for (const auto& [name, value] : values) props->setPropertyValue(Ascii(name), value);
}

// A dialog built from control models, placed over the middle of Writer's window.
class Dialog {
 public:
  Dialog(const Reference<XComponentContext>& ctx, std::u16string_view title) : ctx_(ctx) {
    const Reference<css::lang::XMultiComponentFactory> sm = ctx->getServiceManager();
    model_.set(sm->createInstanceWithContext(Ascii("com.sun.star.awt.UnoControlDialogModel"), ctx),
               UNO_QUERY_THROW);
    Set(Reference<css::beans::XPropertySet>(model_, UNO_QUERY_THROW),
        {{"Title", Any(Ou(title.empty() ? std::u16string_view(kApplicationTitle) : title))}});
  }

  // Adds a control of `kind` ("Edit", "Button", "FixedText", "ComboBox", "ListBox") at x, y
  // (dialog units from the top left), w wide and h high.
  void Add(const std::u16string& name, const char* kind, sal_Int32 x, sal_Int32 y, sal_Int32 w,
           sal_Int32 h, std::initializer_list<std::pair<const char*, Any>> props) {
    Reference<css::beans::XPropertySet> control(
        Reference<css::lang::XMultiServiceFactory>(model_, UNO_QUERY_THROW)
            ->createInstance(
                Ascii((std::string("com.sun.star.awt.UnoControl") + kind + "Model").c_str())),
        UNO_QUERY_THROW);
    Set(control, {{"PositionX", Any(x)},
                  {"PositionY", Any(y)},
                  {"Width", Any(w)},
                  {"Height", Any(h)},
                  {"TabIndex", Any(static_cast<sal_Int16>(count_++))}});
    Set(control, props);
    Reference<css::container::XNameContainer>(model_, UNO_QUERY_THROW)
        ->insertByName(Ou(name), Any(control));
  }
  // A field (w: to the right edge) in the next row, with its label before it if any; returns
  // its top.
  sal_Int32 AddField(const std::u16string& name, const char* kind, const std::u16string& label,
                     sal_Int32 h, std::initializer_list<std::pair<const char*, Any>> props) {
    const sal_Int32 y = next_y_;
    sal_Int32 x = kMargin;
    if (!label.empty()) {
      Add(name + u"_label", "FixedText", x, y + 2, kLabelWidth, kFieldHeight - 2,
          {{"Label", Any(Ou(label))}});
      x += kLabelWidth + kGap;
    }
    Add(name, kind, x, y, kMargin + kWidth - x, h, props);
    next_y_ = y + h + kRowGap;
    return y;
  }
  // A button in the bottom row, after the ones added before it.
  void AddButton(const std::u16string& name,
                 std::initializer_list<std::pair<const char*, Any>> props) {
    buttons_.push_back(name);
    Add(name, "Button", 0, 0, kButtonWidth, kButtonHeight, props);
  }

  // Lays the buttons out, sizes the dialog and creates its window over the middle of Writer's.
  void Create() {
    const Reference<css::container::XNameAccess> controls(model_, UNO_QUERY_THROW);
    const sal_Int32 buttons_y = next_y_ + kGap;
    sal_Int32 x = kMargin + kWidth - static_cast<sal_Int32>(buttons_.size()) * kButtonWidth -
                  static_cast<sal_Int32>(buttons_.size() > 0 ? buttons_.size() - 1 : 0) * kGap;
    for (const std::u16string& name : buttons_) {
      Set(Reference<css::beans::XPropertySet>(controls->getByName(Ou(name)), UNO_QUERY_THROW),
          {{"PositionX", Any(x)}, {"PositionY", Any(buttons_y)}});
      x += kButtonWidth + kGap;
    }
    Set(Reference<css::beans::XPropertySet>(model_, UNO_QUERY_THROW),
        {{"Width", Any(kWidth + 2 * kMargin)},
         {"Height", Any(buttons_y + (buttons_.empty() ? 0 : kButtonHeight) + kMargin)}});
    control_.set(ctx_->getServiceManager()->createInstanceWithContext(
                     Ascii("com.sun.star.awt.UnoControlDialog"), ctx_),
                 UNO_QUERY_THROW);
    control_->setModel(Reference<css::awt::XControlModel>(model_, UNO_QUERY_THROW));
    control_->createPeer(
        Reference<css::awt::XToolkit>(css::awt::Toolkit::create(ctx_), UNO_QUERY_THROW),
        ParentPeer(ctx_));
    Centre();
  }
  Reference<css::awt::XControl> Control(const std::u16string& name) const {
    return Reference<css::awt::XControlContainer>(control_, UNO_QUERY_THROW)->getControl(Ou(name));
  }
  Reference<css::awt::XDialog> Window() const {
    return Reference<css::awt::XDialog>(control_, UNO_QUERY_THROW);
  }
  ~Dialog() {
    try {
      if (control_.is()) Reference<css::lang::XComponent>(control_, UNO_QUERY_THROW)->dispose();
    } catch (...) {
    }
  }

 private:
  // Over the middle of Writer's window, as a word processor's own dialogs open.
  void Centre() {
    try {
      const Reference<css::frame::XFrame> frame = ActiveFrame(ctx_);
      if (!frame.is()) return;
      const css::awt::Rectangle parent = frame->getContainerWindow()->getPosSize();
      const Reference<css::awt::XWindow> window(control_, UNO_QUERY_THROW);
      const css::awt::Rectangle own = window->getPosSize();
      window->setPosSize(parent.X + std::max<sal_Int32>(0, (parent.Width - own.Width) / 2),
                         parent.Y + std::max<sal_Int32>(0, (parent.Height - own.Height) / 3), 0, 0,
                         css::awt::PosSize::POS);
    } catch (...) {
      // Where Writer put it.
    }
  }

  Reference<XComponentContext> ctx_;
  Reference<css::uno::XInterface> model_;
  Reference<css::awt::XControl> control_;
  std::vector<std::u16string> buttons_;
  sal_Int32 next_y_ = kMargin;
  int count_ = 0;
};

std::u16string ControlName(size_t index) {
  return u"c" + std::u16string(1, static_cast<char16_t>(u'a' + index % 26)) +
         std::u16string(index / 26 + 1, u'x');
}

// Plays the form's handlers as the user works the dialog: a button click first hands the
// combo boxes' texts to the form, then clicks the form's button; the dialog closes once the
// form is hidden. A list box's choice goes to the form at once (its change handler runs).
class FormPlayer final
    : public cppu::WeakImplHelper2<css::awt::XActionListener, css::awt::XItemListener> {
 public:
  FormPlayer(Form& form, Dialog& dialog) : form_(form), dialog_(dialog) {}

  void Refresh() {
    for (size_t i = 0; i < form_.controls().size(); ++i) {
      const FormControl& c = *form_.controls()[i];
      const Reference<css::awt::XControl> control = dialog_.Control(ControlName(i));
      Sequence<OUString> items(static_cast<sal_Int32>(c.items().size()));
      for (size_t k = 0; k < c.items().size(); ++k) items.getArray()[k] = Ou(c.items()[k]);
      const Reference<css::beans::XPropertySet> model(control->getModel(), UNO_QUERY_THROW);
      if (c.kind() == FormControlKind::kListBox) {
        model->setPropertyValue(Ascii("StringItemList"), Any(items));
        Sequence<sal_Int16> selected;
        if (c.ListIndex() >= 0) {
          const sal_Int16 index = static_cast<sal_Int16>(c.ListIndex());
          selected = Sequence<sal_Int16>(&index, 1);
        }
        model->setPropertyValue(Ascii("SelectedItems"), Any(selected));
      } else if (c.kind() == FormControlKind::kComboBox) {
        model->setPropertyValue(Ascii("StringItemList"), Any(items));
        model->setPropertyValue(Ascii("Text"), Any(Ou(c.Text())));
      } else {
        model->setPropertyValue(Ascii("Label"), Any(Ou(c.caption())));
      }
    }
  }

  void SAL_CALL actionPerformed(const css::awt::ActionEvent& event) override {
    Play([&] {
      TakeTexts();
      FormControl& c = *form_.controls()[Index(event.Source)];
      c.Click();
    });
  }
  void SAL_CALL itemStateChanged(const css::awt::ItemEvent& event) override {
    Play([&] {
      FormControl& c = *form_.controls()[Index(event.Source)];
      if (c.kind() == FormControlKind::kListBox) {
        c.Select(event.Selected);
      } else {
        TakeTexts();
      }
    });
  }
  void SAL_CALL disposing(const css::lang::EventObject&) override {}

  std::exception_ptr failure;

 private:
  template <class Action>
  void Play(Action&& action) {
    try {
      action();
      if (!form_.visible()) {
        dialog_.Window()->endExecute();
      } else {
        Refresh();
      }
    } catch (...) {
      failure = std::current_exception();
      form_.Hide();
      dialog_.Window()->endExecute();
    }
  }
  size_t Index(const Reference<css::uno::XInterface>& source) const {
    for (size_t i = 0; i < form_.controls().size(); ++i) {
      if (Reference<css::uno::XInterface>(dialog_.Control(ControlName(i)), UNO_QUERY) ==
          Reference<css::uno::XInterface>(source, UNO_QUERY))
        return i;
    }
    return 0;
  }
  void TakeTexts() {
    for (size_t i = 0; i < form_.controls().size(); ++i) {
      FormControl& c = *form_.controls()[i];
      if (c.kind() != FormControlKind::kComboBox) continue;
      const std::u16string text =
          U16(Reference<css::awt::XTextComponent>(dialog_.Control(ControlName(i)), UNO_QUERY_THROW)
                  ->getText());
      if (text != c.Text()) c.SetText(text);
    }
  }

  Form& form_;
  Dialog& dialog_;
};

// A dialog opens with the first entry of each empty combo box and list box chosen, as the
// clerk would pick it (the choice runs the form's handlers, which may fill the next box).
void PreselectFirst(Form& form) {
  for (const auto& control : form.controls()) {
    FormControl& c = *control;
    if (c.items().empty()) continue;
    if (c.kind() == FormControlKind::kComboBox && c.Text().empty()) c.SetText(c.items()[0]);
    if (c.kind() == FormControlKind::kListBox && c.ListIndex() < 0) c.Select(0);
  }
}

// The wait pointer over a window, set on its X window with the X library Writer draws with:
// the office's own pointer calls reach only the windows that have a peer of its API, not the
// document's view under the mouse. The library is looked up when first needed; where there is
// none (another display system) the pointer stays as it is.
class XWait {
 public:
  static XWait& Get() {
    static XWait x;
    return x;
  }
  void Show(long window, void* display, bool on) {
    if (define_ == nullptr || window == 0 || display == nullptr) return;
    if (on) {
      if (watch_ == 0) watch_ = create_font_cursor_(display, kWatchShape);
      define_(display, window, watch_);
    } else {
      undefine_(display, window);  // Writer's own pointer comes back with the next move
    }
    flush_(display);
  }

 private:
  static constexpr unsigned kWatchShape = 150;  // XC_watch of the X cursor font
  XWait() {
    void* lib = dlopen("libX11.so.6", RTLD_LAZY | RTLD_NOLOAD);
    if (lib == nullptr) return;
    create_font_cursor_ =
        reinterpret_cast<unsigned long (*)(void*, unsigned)>(dlsym(lib, "XCreateFontCursor"));
    undefine_ = reinterpret_cast<int (*)(void*, unsigned long)>(dlsym(lib, "XUndefineCursor"));
    flush_ = reinterpret_cast<int (*)(void*)>(dlsym(lib, "XFlush"));
    auto define =
        reinterpret_cast<int (*)(void*, unsigned long, unsigned long)>(dlsym(lib, "XDefineCursor"));
    if (create_font_cursor_ != nullptr && undefine_ != nullptr && flush_ != nullptr)
      define_ = define;
  }
  unsigned long (*create_font_cursor_)(void*, unsigned) = nullptr;
  int (*define_)(void*, unsigned long, unsigned long) = nullptr;
  int (*undefine_)(void*, unsigned long) = nullptr;
  int (*flush_)(void*) = nullptr;
  unsigned long watch_ = 0;
};

void ShowWait(const Reference<css::awt::XWindow>& window, bool on) {
  const Reference<css::awt::XSystemDependentWindowPeer> peer(window, UNO_QUERY);
  if (!peer.is()) return;
  sal_uInt8 process[16];
  rtl_getGlobalProcessId(process);
  const Any handle =
      peer->getWindowHandle(Sequence<sal_Int8>(reinterpret_cast<const sal_Int8*>(process), 16),
                            css::lang::SystemDependent::SYSTEM_XWINDOW);
  css::awt::SystemDependentXWindow x;
  if (handle >>= x) {
    XWait::Get().Show(x.WindowHandle, reinterpret_cast<void*>(x.DisplayPointer), on);
  }
}

class WriterUi final : public UiService {
 public:
  explicit WriterUi(Reference<XComponentContext> ctx) : ctx_(std::move(ctx)) {}

  MsgAnswer ShowMessage(std::u16string_view text, MsgButtons buttons, MsgIcon icon,
                        std::u16string_view title) override {
    return Uno([&] {
      namespace mb = css::awt::MessageBoxButtons;
      const sal_Int32 codes[] = {mb::BUTTONS_OK, mb::BUTTONS_OK_CANCEL, mb::BUTTONS_YES_NO,
                                 mb::BUTTONS_YES_NO_CANCEL};
      const css::awt::MessageBoxType types[] = {
          css::awt::MessageBoxType_MESSAGEBOX, css::awt::MessageBoxType_INFOBOX,
          css::awt::MessageBoxType_QUERYBOX, css::awt::MessageBoxType_ERRORBOX,
          css::awt::MessageBoxType_WARNINGBOX};
      const Reference<css::awt::XMessageBoxFactory> factory(css::awt::Toolkit::create(ctx_),
                                                            UNO_QUERY_THROW);
      // The focused button, which Enter presses, is the system box's default: Yes or OK.
      const sal_Int32 focus = DefaultAnswer(buttons) == MsgAnswer::kYes ? mb::DEFAULT_BUTTON_YES
                                                                        : mb::DEFAULT_BUTTON_OK;
      const Reference<css::awt::XMessageBox> box = factory->createMessageBox(
          ParentPeer(ctx_), types[static_cast<int>(icon)], codes[static_cast<int>(buttons)] | focus,
          Ou(title.empty() ? std::u16string_view(kApplicationTitle) : title), Ou(text));
      switch (box->execute()) {
        case css::awt::MessageBoxResults::OK:
          return MsgAnswer::kOk;
        case css::awt::MessageBoxResults::YES:
          return MsgAnswer::kYes;
        case css::awt::MessageBoxResults::NO:
          return MsgAnswer::kNo;
        case css::awt::MessageBoxResults::CANCEL:
          return MsgAnswer::kCancel;
        default:
          return buttons == MsgButtons::kOk ? MsgAnswer::kOk : DefaultAnswer(buttons);
      }
    });
  }

  std::optional<std::u16string> AskText(std::u16string_view prompt, std::u16string_view title,
                                        std::u16string_view default_text) override {
    return Uno([&]() -> std::optional<std::u16string> {
      Dialog dialog(ctx_, title);
      dialog.AddField(u"prompt", "FixedText", u"", 2 * kFieldHeight,
                      {{"Label", Any(Ou(prompt))}, {"MultiLine", Any(true)}});
      dialog.AddField(u"text", "Edit", u"", kFieldHeight, {{"Text", Any(Ou(default_text))}});
      dialog.AddButton(u"ok", {{"Label", Any(Ou(kOkCaption))},
                               {"PushButtonType", Any(sal_Int16(css::awt::PushButtonType_OK))},
                               {"DefaultButton", Any(true)}});
      dialog.AddButton(u"cancel",
                       {{"Label", Any(Ou(kCancelCaption))},
                        {"PushButtonType", Any(sal_Int16(css::awt::PushButtonType_CANCEL))}});
      dialog.Create();
      if (dialog.Window()->execute() != 1) return std::nullopt;
      return U16(
          Reference<css::awt::XTextComponent>(dialog.Control(u"text"), UNO_QUERY_THROW)->getText());
    });
  }

  // The busy pointer over Writer's windows while the add-in works (a transfer blocks Writer,
  // so nothing it would paint or point shows until the work is done).
  void SetCursorShape(int code) override {
    cursor_ = code;
    try {
      const Reference<css::frame::XFrames> frames = css::frame::Desktop::create(ctx_)->getFrames();
      for (sal_Int32 i = 0; i < frames->getCount(); ++i) {
        Reference<css::frame::XFrame> frame;
        frames->getByIndex(i) >>= frame;
        if (frame.is()) ShowWait(frame->getContainerWindow(), code == kWaitCursor);
      }
    } catch (...) {
      // No window to show it in (headless Writer): the work goes on all the same.
    }
  }
  int CursorShape() const override { return cursor_; }

  std::optional<std::u16string> PickFile(std::u16string_view caption) override {
    return Uno([&]() -> std::optional<std::u16string> {
      const Reference<css::ui::dialogs::XFilePicker3> picker =
          css::ui::dialogs::FilePicker::createWithMode(
              ctx_, css::ui::dialogs::TemplateDescription::FILEOPEN_SIMPLE);
      picker->setTitle(Ou(caption));
      if (picker->execute() != css::ui::dialogs::ExecutableDialogResults::OK) return std::nullopt;
      const Sequence<OUString> files = picker->getSelectedFiles();
      if (!files.hasElements()) return std::nullopt;
      return SystemPath(files[0]);
    });
  }

 protected:
  void RunForm(Form& form) override {
    Uno([&] {
      Dialog dialog(ctx_, form.caption());
      PreselectFirst(form);
      for (size_t i = 0; i < form.controls().size(); ++i) {
        const FormControl& c = *form.controls()[i];
        switch (c.kind()) {
          case FormControlKind::kLabel:
            dialog.AddField(ControlName(i), "FixedText", u"", kFieldHeight, {});
            break;
          case FormControlKind::kComboBox:
            dialog.AddField(ControlName(i), "ComboBox", c.caption(), kFieldHeight,
                            {{"Dropdown", Any(true)}});
            break;
          case FormControlKind::kListBox:
            dialog.AddField(ControlName(i), "ListBox", c.caption(), 4 * kFieldHeight, {});
            break;
          case FormControlKind::kButton:
            // The confirming button is the one Enter presses.
            dialog.AddButton(ControlName(i), {{"DefaultButton", Any(c.caption() == kOkCaption)}});
            break;
        }
      }
      dialog.Create();
      rtl::Reference<FormPlayer> player(new FormPlayer(form, dialog));
      player->Refresh();
      for (size_t i = 0; i < form.controls().size(); ++i) {
        const Reference<css::awt::XControl> control = dialog.Control(ControlName(i));
        if (Reference<css::awt::XButton> b{control, UNO_QUERY}; b.is())
          b->addActionListener(player.get());
        if (Reference<css::awt::XListBox> l{control, UNO_QUERY}; l.is())
          l->addItemListener(player.get());
        if (Reference<css::awt::XComboBox> c{control, UNO_QUERY}; c.is())
          c->addItemListener(player.get());
      }
      dialog.Window()->execute();
      if (form.visible()) form.Hide();  // closed by the window's own close button
      if (player->failure) std::rethrow_exception(player->failure);
    });
  }

 private:
  Reference<XComponentContext> ctx_;
  int cursor_ = 32512;
};

}  // namespace

std::unique_ptr<UiService> NewWriterUi(const Reference<XComponentContext>& context) {
  return std::make_unique<WriterUi>(context);
}

}  // namespace qnmuro::lohost
