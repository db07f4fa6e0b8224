// Template change: the ChangeTemplate button puts the current body into another template. The
// user picks a template in changeTemplateForm; the body between the markers "BodyStart" and
// "BodyEnd" is pasted into the downloaded template, and the document's whole content is
// replaced by the result, so that the document stays the same host document (same file, same
// control file, same upload target) with a new template around its old body.
//
// A template marks where the body goes with "BodyStart" at the end of the line before it: the
// body is pasted one character to the right of the marker, past that line's paragraph mark.
#ifndef QNMURO_COMMANDS_TEMPLATE_CHANGE_H_
#define QNMURO_COMMANDS_TEMPLATE_CHANGE_H_

#include <string_view>

#include "commands/template_form.h"
#include "common/context.h"
#include "host/host.h"

namespace qnmuro {

inline constexpr char16_t kMismatchTitle[] = u"青禾办公自动化系统";
inline constexpr char16_t kMismatchText[] =
    u"您所选模板与当前正文类型不匹配，无法替换模板，请联系系统管理员！";
inline constexpr char16_t kKeepTemplateNotice[] = u"系统将继续采用原有模板！";

// Shows the dialog (its result only ever comes from this showing); a cancelled dialog changes
// nothing. Otherwise: the lock of the workflow document `doc` is lifted (UnTrackRevision); the
// active document's body is copied; the downloaded template is opened, the body pasted at its
// marker, saved there and closed; the active document loses its text and bookmarks and gets
// the saved file's content; its data-source bookmarks are merged, the caret goes to the new
// "BodyStart" and the lock is applied (TrackRevision).
//
// Mismatch (the current document or the template lacks a marker): a critical box titled
// "青禾办公自动化系统" says so, an opened template is closed unsaved, and the lock is put back
// as the command found it (a document under review must not be left open to untracked edits).
// Any other failure shows "更换模板错误: " + `message_text` + the
// error (with the statement number) and "系统将继续采用原有模板！", logs the first text without
// the statement number, undoes exactly the edits this command made to the current document,
// closes an opened template unsaved, and puts the lock back as the command found it.
void ChangeTemplate(const Context& ctx, host::Application* app, host::Document* doc,
                    ChangeTemplateForm& form, std::u16string_view message_text);

}  // namespace qnmuro

#endif  // QNMURO_COMMANDS_TEMPLATE_CHANGE_H_
