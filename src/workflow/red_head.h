// The red head and the body markers. A template-made document delimits its body with the
// bookmarks "BodyStart" and "BodyEnd"; its red head is drawn by shapes whose names contain
// "DocMarkLine" (any letter case). Hiding the red head hides those shapes and switches off the
// host's display of drawings (view switch A, the view's ShowDrawings), of the page background
// (view switch B, ShowBackground) and the drawing-objects option (option C, DrawingObjects).
#ifndef QNMURO_WORKFLOW_RED_HEAD_H_
#define QNMURO_WORKFLOW_RED_HEAD_H_

#include <string_view>

#include "host/host.h"

namespace qnmuro {

inline constexpr char16_t kBodyStart[] = u"BodyStart";
inline constexpr char16_t kBodyEnd[] = u"BodyEnd";
inline constexpr char16_t kRedHeadShapeMark[] = u"DocMarkLine";
inline constexpr char16_t kHideRedHeadCaption[] = u"隐藏红头";
inline constexpr char16_t kShowRedHeadCaption[] = u"显示红头";

// True when a shape of this name belongs to the red head.
bool IsRedHeadShape(std::u16string_view shape_name);

// The RedHead button's click: "隐藏红头" hides the red head and relabels the button
// "显示红头"; any other caption shows it (view switch B is left as it is) and relabels it
// "隐藏红头". Every step is attempted whatever failed before (a null `app` fails each host
// step); nothing is reported.
void ToggleRedHead(host::Application* app, host::Control& button) noexcept;

// The "shown" state that every workflow document opens with: option C = 1, view switch A on.
// Not trapped.
void ShowRedHeadSettings(host::Application& app);

}  // namespace qnmuro

#endif  // QNMURO_WORKFLOW_RED_HEAD_H_
