// The add-in's command bar "QNMuroBar" and the host menu item it locks: the table of its
// buttons (caption and click handler of each), which of them a control file's button list asks
// for, their faces, and the operations on whole command bars. The bar itself is built by
// WPSaddin::SetWPSBar, which holds one button member per table row.
#ifndef QNMURO_ADDIN_COMMAND_BAR_H_
#define QNMURO_ADDIN_COMMAND_BAR_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "host/command_bars.h"
#include "host/host.h"

namespace qnmuro {

inline constexpr char16_t kBarName[] = u"QNMuroBar";
inline constexpr long kStylePictureAndCaption = 3;

class WPSaddin;

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

// One row of the button table: everything the bar needs to make and wire a button.
struct BarButtonRow {
  BarButton id;
  // The caption (and tooltip) the button is created with.
  std::u16string_view caption;
  // The add-in's click handler (the cancel-default flag is not read).
  void (WPSaddin::*handler)(host::Control& button, bool& cancel_default);
  // The handler's name, in the error line of a failure it does not report itself and in the
  // type library.
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

#endif  // QNMURO_ADDIN_COMMAND_BAR_H_
