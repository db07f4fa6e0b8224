// Seal stamping: the 加盖印章 button lets the user pick a seal in changeSealForm and places its
// picture on the active document, behind the text, at the bookmark "Seal" or else at the
// selection, replacing the seal stamped before.
#ifndef QNMURO_COMMANDS_SEAL_STAMP_H_
#define QNMURO_COMMANDS_SEAL_STAMP_H_

#include <string_view>

#include "commands/seal_form.h"
#include "common/context.h"
#include "host/host.h"

namespace qnmuro {

// Where a document wants its seal, and what every stamped seal's name begins with.
inline constexpr char16_t kSealBookmark[] = u"Seal";
inline constexpr char16_t kSealShapePrefix[] = u"Seal";
// A seal is 126 x 126 points.
inline constexpr float kSealSize = 126;

// Shows the dialog (its result only ever comes from this showing); a cancelled dialog changes
// nothing. Otherwise the picture is added where the selection (after selecting the bookmark
// "Seal", when there is one) is shown: the window's screen position of the selection converted
// into document coordinates, less the origin of the page the selection ends on. It is named
// "Seal" + the date and time and sent behind the text; then the first earlier shape whose name
// begins with "Seal" is deleted, so at most one earlier seal goes per stamping, and only once
// the new one stands. Trapped: a failure shows and logs "盖印错误: " + `message_text` + the
// error; an earlier seal is then kept.
void SetSeal(const Context& ctx, host::Application* app, ChangeSealForm& form,
             std::u16string_view message_text);

}  // namespace qnmuro

#endif  // QNMURO_COMMANDS_SEAL_STAMP_H_
