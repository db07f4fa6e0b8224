#include <unistd.h>

#include <iostream>
#include <string>

#include "base/text.h"
#include "platform/form.h"
#include "platform/ui.h"

namespace qnmuro {
namespace {

std::string TitleOf(std::u16string_view title) {
  return U8(title.empty() ? std::u16string_view(kApplicationTitle) : title);
}

// The buttons of a box, in display order.
std::vector<MsgAnswer> ButtonsOf(MsgButtons b) {
  switch (b) {
    case MsgButtons::kOk:
      return {MsgAnswer::kOk};
    case MsgButtons::kOkCancel:
      return {MsgAnswer::kOk, MsgAnswer::kCancel};
    case MsgButtons::kYesNo:
      return {MsgAnswer::kYes, MsgAnswer::kNo};
    case MsgButtons::kYesNoCancel:
      return {MsgAnswer::kYes, MsgAnswer::kNo, MsgAnswer::kCancel};
  }
  return {MsgAnswer::kOk};
}

class TerminalUi final : public UiService {
 public:
  explicit TerminalUi(const TerminalUiOptions& o)
      : in_(o.in != nullptr ? *o.in : std::cin),
        out_(o.out != nullptr ? *o.out : std::cerr),
        interactive_(o.interactive),
        assume_yes_(o.assume_yes) {}

  MsgAnswer ShowMessage(std::u16string_view text, MsgButtons buttons, MsgIcon icon,
                        std::u16string_view title) override {
    const std::vector<MsgAnswer> choices = ButtonsOf(buttons);
    MsgAnswer fallback = DefaultAnswer(buttons);
    if (assume_yes_) fallback = choices.front();  // "yes" where there is one, else "ok"
    out_ << "[" << TitleOf(title) << "] (" << ToString(icon) << ") " << U8(text) << "\n";
    if (!interactive_ || assume_yes_) {
      out_ << "=> " << ToString(fallback) << "\n";
      return fallback;
    }
    std::string names;
    for (MsgAnswer a : choices) names += std::string(names.empty() ? "" : "/") + ToString(a);
    for (;;) {
      out_ << names << " [" << ToString(fallback) << "]: " << std::flush;
      std::string line;
      if (!std::getline(in_, line)) return fallback;
      line = U8(AsciiLower(Trim(U16(line))));
      if (line.empty()) return fallback;
      for (MsgAnswer a : choices) {
        const std::string name = ToString(a);
        if (line == name || line == name.substr(0, 1)) return a;
      }
      out_ << "please answer " << names << "\n";
    }
  }

  std::optional<std::u16string> AskText(std::u16string_view prompt, std::u16string_view title,
                                        std::u16string_view default_text) override {
    out_ << "[" << TitleOf(title) << "] " << U8(prompt) << "\n";
    if (!interactive_) {
      out_ << "=> \"" << U8(default_text) << "\"\n";
      return std::u16string(default_text);
    }
    out_ << "[" << U8(default_text) << "]: " << std::flush;
    std::string line;
    if (!std::getline(in_, line)) return std::nullopt;
    if (line.empty()) return std::u16string(default_text);
    return U16(line);
  }

  void SetCursorShape(int /*code*/) override {}

  std::optional<std::u16string> PickFile(std::u16string_view caption) override {
    out_ << "[" << TitleOf(caption) << "] file path (empty to cancel): " << std::flush;
    std::string line;
    if (!interactive_ || !std::getline(in_, line) || line.empty()) {
      if (!interactive_) out_ << "(cancel)\n";
      return std::nullopt;
    }
    return U16(line);
  }

 protected:
  void RunForm(Form& form) override {
    // Each round offers every choosing control and then the buttons, until a handler closes
    // the form. Giving up (no terminal, end of input, "0") cancels.
    while (form.visible()) {
      out_ << "[" << TitleOf(form.caption()) << "]\n";
      if (!interactive_ || !Round(form)) {
        Cancel(form);
        return;
      }
    }
  }

 private:
  // One pass over the form; false when the user gave up.
  bool Round(Form& form) {
    std::vector<FormControl*> buttons;
    for (const auto& c : form.controls()) {
      if (!form.visible()) return true;
      switch (c->kind()) {
        case FormControlKind::kLabel:
          out_ << U8(c->caption()) << "\n";
          break;
        case FormControlKind::kComboBox:
        case FormControlKind::kListBox:
          if (!Choose(*c)) return false;
          break;
        case FormControlKind::kButton:
          buttons.push_back(c.get());
          break;
      }
    }
    if (!form.visible()) return true;
    if (buttons.empty()) return false;
    for (size_t i = 0; i < buttons.size(); ++i) {
      out_ << "  " << i + 1 << ") " << U8(buttons[i]->caption()) << "\n";
    }
    const std::optional<long> n = AskNumber("button", static_cast<long>(buttons.size()));
    if (!n || *n == 0) return false;
    buttons[*n - 1]->Click();
    return true;
  }

  // Lets the user choose an item of a combo or list box (a combo box also takes free text).
  bool Choose(FormControl& c) {
    const auto& items = c.items();
    for (size_t i = 0; i < items.size(); ++i) {
      out_ << "  " << i + 1 << ") " << U8(items[i]) << "\n";
    }
    out_ << U8(c.name()) << " [" << U8(c.Text()) << "]"
         << (c.kind() == FormControlKind::kComboBox ? " (number or text)" : "") << ": "
         << std::flush;
    std::string line;
    if (!std::getline(in_, line)) return false;
    if (line.empty()) return true;  // keeps the current choice
    const std::optional<long> n = ParseNumber(line, static_cast<long>(items.size()));
    if (c.kind() == FormControlKind::kListBox) {
      if (n && *n == 0) return false;
      if (n) c.Select(*n - 1);  // anything else keeps the current choice
    } else {
      c.SetText(n && *n > 0 ? items[*n - 1] : U16(line));
    }
    return true;
  }

  std::optional<long> AskNumber(const char* what, long max) {
    for (;;) {
      out_ << what << " (1-" << max << ", 0 to cancel): " << std::flush;
      std::string line;
      if (!std::getline(in_, line)) return std::nullopt;
      if (std::optional<long> n = ParseNumber(line, max)) return n;
    }
  }

  // A number from 0 to max, or nullopt.
  static std::optional<long> ParseNumber(const std::string& line, long max) {
    if (line.empty() || line.size() > 9) return std::nullopt;
    long n = 0;
    for (char ch : line) {
      if (ch < '0' || ch > '9') return std::nullopt;
      n = n * 10 + (ch - '0');
    }
    if (n > max) return std::nullopt;
    return n;
  }

  void Cancel(Form& form) {
    if (FormControl* cancel = form.FindButton(kCancelCaption); form.visible() && cancel) {
      cancel->Click();
    }
    if (form.visible()) form.Hide();
    out_ << "=> (cancel)\n";
  }

  std::istream& in_;
  std::ostream& out_;
  const bool interactive_;
  const bool assume_yes_;
};

}  // namespace

TerminalUiOptions DefaultTerminalUiOptions(bool assume_yes) {
  TerminalUiOptions o;
  o.interactive = isatty(STDIN_FILENO) == 1 && isatty(STDERR_FILENO) == 1;
  o.assume_yes = assume_yes;
  return o;
}

std::unique_ptr<UiService> NewTerminalUi(const TerminalUiOptions& options) {
  return std::make_unique<TerminalUi>(options);
}

}  // namespace qnmuro
