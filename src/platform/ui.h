// User-interface services the add-in needs from its platform: message boxes, the text input
// box, the file-open dialog, modal forms (platform/form.h) and the mouse cursor. Every call is
// modal and runs on the host's user-interface thread.
//
// Implementations: ScriptedUi (below: answers from queues, records every box), and the terminal
// UI (NewTerminalUi: prompts on a TTY, default answers otherwise).
#ifndef QNMURO_PLATFORM_UI_H_
#define QNMURO_PLATFORM_UI_H_

#include <deque>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qnmuro {

class Form;

// The application title, shown when a box is given no title of its own.
inline constexpr char16_t kApplicationTitle[] = u"QNMuroWPS";

enum class MsgButtons { kOk, kOkCancel, kYesNo, kYesNoCancel };
enum class MsgIcon { kNone, kInformation, kQuestion, kCritical, kExclamation };
enum class MsgAnswer { kOk, kCancel, kYes, kNo };

// Names used in transcripts: "ok-cancel", "information", "yes", ...
const char* ToString(MsgButtons b);
const char* ToString(MsgIcon i);
const char* ToString(MsgAnswer a);

// The answer a box gives when the user just presses Enter: its first button.
MsgAnswer DefaultAnswer(MsgButtons b);
// Whether a box with these buttons offers this answer.
bool Offers(MsgButtons b, MsgAnswer a);

class UiService {
 public:
  virtual ~UiService() = default;

  // Shows a message box and returns the button pressed. An empty title means the
  // application title.
  virtual MsgAnswer ShowMessage(std::u16string_view text, MsgButtons buttons, MsgIcon icon,
                                std::u16string_view title) = 0;

  // Shows the text input box; nullopt when the user cancels.
  virtual std::optional<std::u16string> AskText(std::u16string_view prompt,
                                                std::u16string_view title,
                                                std::u16string_view default_text) = 0;

  // Sets the mouse cursor to a system cursor code (32512 arrow, 32514 wait).
  virtual void SetCursorShape(int code) = 0;
  // The cursor shown now, so that a caller can put it back (32512 when not known).
  virtual int CursorShape() const { return 32512; }

  // Shows a file-open dialog with the given caption; nullopt when the user cancels.
  virtual std::optional<std::u16string> PickFile(std::u16string_view caption) = 0;

  // Shows a form modally: loads it first when it is not loaded (its load handler runs), shows
  // it, lets the user fill and click its controls, and returns once a handler has hidden or
  // unloaded it. A failure escaping a handler hides the form and travels to the caller.
  // Returns with the form hidden whatever the user did.
  void ShowForm(Form& form);

 protected:
  // The modal loop of ShowForm on a loaded, shown form: fills and clicks controls until the
  // form is hidden, or gives up by clicking its "取消" button or hiding it. Never loops forever.
  virtual void RunForm(Form& form) = 0;
};

// One box as the scripted UI saw it, for tests and transcripts.
struct UiRecord {
  // kDialog is the file-open dialog, kForm a modal form.
  enum class Kind { kMessage, kInput, kCursor, kDialog, kForm } kind = Kind::kMessage;
  std::u16string text;   // message text, input prompt, dialog or form caption
  std::u16string title;  // as given (empty = application title)
  MsgButtons buttons = MsgButtons::kOk;
  MsgIcon icon = MsgIcon::kNone;
  MsgAnswer answer = MsgAnswer::kOk;
  bool defaulted = false;  // no queued answer: the default was taken
  // Input box or dialog result, nullopt = cancelled; a form that was confirmed has an empty
  // text here and its choices in `picked`.
  std::optional<std::u16string> input;
  std::vector<std::u16string> picked;  // form: the texts chosen, in control order
  int cursor = 0;
};

// What the user does in the next form: types or picks `combo_text` in the form's first combo
// box (its change handler fires), selects `list_item` in its first list box, then clicks the
// button captioned "确定"; or, when `cancel` is set, only clicks "取消".
struct FormAnswer {
  std::optional<std::u16string> combo_text;
  std::optional<std::u16string> list_item;
  bool cancel = false;
};

// A UI that answers from queues and records every box in order. A message box with no queued
// answer takes its default button; an input box, file dialog or form with none is cancelled.
// A form still open after its answer was played (a handler refused the choice) is cancelled
// too: its "取消" button is clicked, and if that does not close it the form is hidden.
class ScriptedUi : public UiService {
 public:
  void QueueAnswer(MsgAnswer a) { answers_.push_back(a); }
  void QueueInput(std::optional<std::u16string> text) { inputs_.push_back(std::move(text)); }
  void QueueFile(std::optional<std::u16string> path) { files_.push_back(std::move(path)); }
  void QueueFormAnswer(FormAnswer answer) { forms_.push_back(std::move(answer)); }
  // For a form that another UI shows and a user plays from this queue (a test's user at the
  // keyboard of a real window): the next queued answer (nullopt: none, the form is cancelled),
  // and the form's record once played, as RunForm makes it.
  std::optional<FormAnswer> TakeFormAnswer();
  void RecordForm(std::u16string_view caption, std::vector<std::u16string> picked, bool confirmed,
                  bool defaulted);

  const std::vector<UiRecord>& records() const { return records_; }
  void ClearRecords() { records_.clear(); }
  int cursor() const { return cursor_; }
  int CursorShape() const override { return cursor_; }

  // Called with every record as it is made (a form's record comes when the form has closed,
  // after the boxes its handlers showed).
  void SetListener(std::function<void(const UiRecord&)> listener) {
    listener_ = std::move(listener);
  }

  // A queued answer that the next message box does not offer (a `no` met by an OK-only box):
  // the box takes its default instead, and the answer and the box are kept here for the
  // caller to report. TakeMisfit() hands the first one out once.
  struct Misfit {
    MsgAnswer queued = MsgAnswer::kOk;
    UiRecord box;
  };
  std::optional<Misfit> TakeMisfit() { return std::exchange(misfit_, std::nullopt); }

  MsgAnswer ShowMessage(std::u16string_view text, MsgButtons buttons, MsgIcon icon,
                        std::u16string_view title) override;
  std::optional<std::u16string> AskText(std::u16string_view prompt, std::u16string_view title,
                                        std::u16string_view default_text) override;
  void SetCursorShape(int code) override;
  std::optional<std::u16string> PickFile(std::u16string_view caption) override;

 protected:
  void RunForm(Form& form) override;
  void Record(UiRecord record);

  std::deque<MsgAnswer> answers_;
  std::deque<std::optional<std::u16string>> inputs_;
  std::deque<std::optional<std::u16string>> files_;
  std::deque<FormAnswer> forms_;
  std::vector<UiRecord> records_;
  std::function<void(const UiRecord&)> listener_;
  std::optional<Misfit> misfit_;
  int cursor_ = 32512;
};

// The production UI on a terminal. Boxes are written to `out` (UTF-8). When `interactive`, the
// user answers on `in`: a message box takes a button name or its initial (Enter: the default
// button), an input box a line (Enter: the default text; end of input: cancel), the file
// dialog a path (empty: cancel), a form a number per control and then a button. Otherwise
// every box takes its default without reading: the default button (with `assume_yes`: "yes",
// or "ok" where there is no "yes"), the input box's default text, and cancel for file dialogs
// and forms. End of input always cancels, so nothing waits forever.
struct TerminalUiOptions {
  std::istream* in = nullptr;   // null: standard input
  std::ostream* out = nullptr;  // null: standard error
  bool interactive = false;
  bool assume_yes = false;
};
// Standard input and standard error, interactive when both are terminals.
TerminalUiOptions DefaultTerminalUiOptions(bool assume_yes);
std::unique_ptr<UiService> NewTerminalUi(const TerminalUiOptions& options);

}  // namespace qnmuro

#endif  // QNMURO_PLATFORM_UI_H_
