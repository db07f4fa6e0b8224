// User-interface services the add-in needs from its platform: message boxes, the text input
// box, and the mouse cursor (modal forms and file dialogs join later). Every call is modal and
// runs on the host's user-interface thread.
#ifndef QNMURO_PLATFORM_UI_H_
#define QNMURO_PLATFORM_UI_H_

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qnmuro {

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

  // Shows a file-open dialog with the given caption; nullopt when the user cancels.
  virtual std::optional<std::u16string> PickFile(std::u16string_view caption) = 0;
};

// One box as the scripted UI saw it, for tests and transcripts.
struct UiRecord {
  enum class Kind { kMessage, kInput, kCursor, kDialog } kind = Kind::kMessage;
  std::u16string text;  // message text or input prompt
  std::u16string title; // as given (empty = application title)
  MsgButtons buttons = MsgButtons::kOk;
  MsgIcon icon = MsgIcon::kNone;
  MsgAnswer answer = MsgAnswer::kOk;
  bool defaulted = false;              // no queued answer: the default was taken
  std::optional<std::u16string> input; // input box or dialog result; nullopt = cancelled
  int cursor = 0;
};

// A UI that answers from queues and records every box in order. A message box with no queued
// answer takes its default button; an input box with none is cancelled.
class ScriptedUi : public UiService {
 public:
  void QueueAnswer(MsgAnswer a) { answers_.push_back(a); }
  void QueueInput(std::optional<std::u16string> text) { inputs_.push_back(std::move(text)); }
  void QueueFile(std::optional<std::u16string> path) { files_.push_back(std::move(path)); }

  const std::vector<UiRecord>& records() const { return records_; }
  void ClearRecords() { records_.clear(); }
  int cursor() const { return cursor_; }

  MsgAnswer ShowMessage(std::u16string_view text, MsgButtons buttons, MsgIcon icon,
                        std::u16string_view title) override;
  std::optional<std::u16string> AskText(std::u16string_view prompt, std::u16string_view title,
                                        std::u16string_view default_text) override;
  void SetCursorShape(int code) override;
  std::optional<std::u16string> PickFile(std::u16string_view caption) override;

 protected:
  std::deque<MsgAnswer> answers_;
  std::deque<std::optional<std::u16string>> inputs_;
  std::deque<std::optional<std::u16string>> files_;
  std::vector<UiRecord> records_;
  int cursor_ = 32512;
};

}  // namespace qnmuro

#endif  // QNMURO_PLATFORM_UI_H_
