// Operations on the host's command bars and on the built-in menus the add-in relies on.
#ifndef QNMURO_HOST_COMMAND_BARS_H_
#define QNMURO_HOST_COMMAND_BARS_H_

#include <string_view>

#include "host/host.h"

namespace qnmuro {

inline constexpr char16_t kMenuBarName[] = u"Menu Bar";
inline constexpr char16_t kToolsMenuCaption[] = u"工具(&T)";
inline constexpr char16_t kOptionsItemCaption[] = u"选项(&E)...";
inline constexpr char16_t kInsertMenuCaption[] = u"插入(&I)";
inline constexpr char16_t kInsertFileItemCaption[] = u"文件(&L)...";

// Enable or disable the named host command bar and each of its controls. Not trapped: a bar
// that does not exist raises kNoSuchMember, a host failure its own error.
void SetToolBarEnabled(host::Application& app, std::u16string_view bar_name, bool enabled);

// Enables or disables "选项(&E)..." under "工具(&T)" on the host's "Menu Bar". Not trapped:
// a host whose menus carry other captions raises the host's error.
void SetOptionsMenuEnabled(host::Application& app, bool enabled);

// Runs the host's own "文件(&L)..." under "插入(&I)" on its "Menu Bar": the host's file dialog,
// then the chosen file inserted at the caret. Returns when the command has finished. Not
// trapped: a host whose menus carry other captions raises the host's error.
void RunInsertFileMenu(host::Application& app);

}  // namespace qnmuro

#endif  // QNMURO_HOST_COMMAND_BARS_H_
