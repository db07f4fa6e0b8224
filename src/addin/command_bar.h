// The add-in's command bar "QNMuroBar" and the host menu item it locks: which buttons a
// control file's button list asks for, their captions and faces, and the operations on whole
// command bars. The bar itself is built by WPSaddin::SetWPSBar, which owns the button members.
#ifndef QNMURO_ADDIN_COMMAND_BAR_H_
#define QNMURO_ADDIN_COMMAND_BAR_H_

#include <string>
#include <string_view>
#include <vector>

#include "host/command_bars.h"
#include "host/host.h"

namespace qnmuro {

inline constexpr char16_t kBarName[] = u"QNMuroBar";
inline constexpr long kStylePictureAndCaption = 3;

// The eight buttons, in the order in which they are added to the bar.
enum class BarButton {
  kBackToSystem,
  kRevision,
  kRedHead,
  kInsertFile,
  kInsertReport,
  kChangeTemplate,
  kManuscript,
  kSetSeal,
};

// The caption (and tooltip) a button is created with.
std::u16string_view ButtonCaption(BarButton button);

// The buttons the bar gets, in bar order: "返回OA系统" always, each other one when its caption
// occurs in `button_list` (case-sensitive, no separator needed), and "查看原文" only when
// `draft_url` (the first binary's) is not empty as well.
std::vector<BarButton> ButtonsToShow(std::u16string_view button_list,
                                     std::u16string_view draft_url);

}  // namespace qnmuro

#endif  // QNMURO_ADDIN_COMMAND_BAR_H_
