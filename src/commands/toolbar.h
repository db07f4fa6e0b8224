// The add-in's command bar "QNMuroBar": the table of its buttons (caption, command and the
// handler's name of each), which of them a control file's button list asks for, and what a
// command works with. A new button is one row here, its caption in config/vocabulary.h and its
// command in this folder; when the host's scripts may call it, also its _Click method in the
// COM class and the type library. The bar itself is built by WPSaddin::SetWPSBar; a button's
// face follows its position on the bar (addin/key_caps.h), not the button.
#ifndef QNMURO_COMMANDS_TOOLBAR_H_
#define QNMURO_COMMANDS_TOOLBAR_H_

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/context.h"
#include "host/host.h"

namespace qnmuro {

inline constexpr char16_t kBarName[] = u"QNMuroBar";
inline constexpr long kStylePictureAndCaption = 3;

class ChangeSealForm;
class ChangeTemplateForm;

// The eight buttons, in the order in which they are added to the bar; kCount is their number.
enum class BarButton {
  kBackToSystem,
  kRevision,
  kRedHead,
  kInsertFile,
  kInsertReport,
  kChangeTemplate,
  kManuscript,
  kSetSeal,
  kCount,
};
inline constexpr size_t kBarButtonCount = static_cast<size_t>(BarButton::kCount);

// The dialogs the commands keep while the add-in is loaded, each made on its first use.
class CommandForms {
 public:
  CommandForms();
  ~CommandForms();
  CommandForms(const CommandForms&) = delete;
  CommandForms& operator=(const CommandForms&) = delete;
  ChangeSealForm& Seal(const Context& ctx);
  ChangeTemplateForm& Template(const Context& ctx);

 private:
  std::unique_ptr<ChangeSealForm> seal_;
  std::unique_ptr<ChangeTemplateForm> template_;
};

// What a command works with: the add-in's services and state, the host application, the
// workflow document, the add-in's notice text and its dialogs.
struct CommandScope {
  const Context& context;
  host::Application* application;
  host::Document* document;  // null before a workflow document is opened
  std::u16string& notice;
  bool content_document;  // a workflow document has been opened since connection
  CommandForms& forms;
};

// What the add-in does once a command has run.
enum class AfterClick {
  kNothing,
  kLetGoOfApplication,  // no document is left open: the add-in lets go of the host
};

// One row of the button table: everything the bar needs to make and wire a button.
struct BarButtonRow {
  BarButton id;
  // The caption (and tooltip) the button is created with.
  std::u16string_view caption;
  // The command a click runs. A failure it does not report itself reaches the add-in, which
  // logs it under `handler_name`.
  AfterClick (*run)(CommandScope& scope, host::Control& button);
  // The handler's name, in the error line of such a failure and in the type library.
  std::u16string_view handler_name;
  // Whether the type library offers the handler to the host's scripts.
  bool in_type_library;
};

// The row of `button` (not kCount).
const BarButtonRow& ButtonRow(BarButton button);

// The caption (and tooltip) a button is created with.
std::u16string_view ButtonCaption(BarButton button);

// The buttons the bar gets, in bar order: "返回OA系统" always, each other one when its caption
// occurs in `button_list` (case-sensitive, no separator needed), and "查看原文" only when
// `draft_url` (the first binary's) is not empty as well.
std::vector<BarButton> ButtonsToShow(std::u16string_view button_list,
                                     std::u16string_view draft_url);

}  // namespace qnmuro

#endif  // QNMURO_COMMANDS_TOOLBAR_H_
