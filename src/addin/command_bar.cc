// The add-in's command bar: the bar built from the button table, a click's command, and the
// operations on whole command bars.
#include "addin/key_caps.h"
#include "addin/wps_addin.h"
#include "base/error.h"
#include "common/shared_state.h"
#include "host/command_bars.h"
#include "host/host_util.h"

namespace qnmuro {

WPSaddin::ButtonMember& WPSaddin::Member(BarButton button) {
  return buttons_.at(static_cast<size_t>(button));
}

void WPSaddin::Click(BarButton button, host::Control& control) {
  CommandScope scope{context_, wpsApp, wpsDoc.get(), messageText, content_document_, forms_};
  if (ButtonRow(button).run(scope, control) == AfterClick::kLetGoOfApplication &&
      wpsApp != nullptr) {
    AssignApp(nullptr);
  }
}

void WPSaddin::SetWPSBar() {
  host::Application* app = wpsApp;
  IgnoreFailure([&] {
    const auto old = Require(app).GetCommandBars().Find(kBarName);
    if (!old) return;
    IgnoreFailure([&] { old->SetVisible(false); });
    old->Delete();
  });
  IgnoreFailure([&] {
    wpsBar = Require(app).GetCommandBars().Add(kBarName, host::kBarTop, false, true);
    Require(wpsBar).SetVisible(true);
  });

  const ControlRecords& records = state().records;
  std::u16string draft_url;
  if (!records.binarys.empty()) draft_url = records.binarys[0].draftUrl;
  long position = 0;
  for (BarButton id : ButtonsToShow(records.documentInfo.button, draft_url)) {
    ++position;
    std::shared_ptr<host::Control> button;
    IgnoreFailure([&] {
      const std::optional<long> before =
          id == BarButton::kBackToSystem ? std::optional<long>(1) : std::nullopt;
      button = Require(wpsBar).GetControls().Add(host::kControlButton, 1, before,
                                                 id == BarButton::kBackToSystem);
      Member(id).Assign(button);
    });
    if (!button) continue;
    const std::u16string_view caption = ButtonCaption(id);
    IgnoreFailure([&] { button->SetCaption(caption); });
    IgnoreFailure([&] { button->SetTooltipText(caption); });
    // A face id without a resource leaves the button as the host made it.
    if (const auto face = KeyCapFace(FaceResourceForPosition(position))) {
      IgnoreFailure([&] { button->SetFace(*face); });
    }
    IgnoreFailure([&] { button->SetStyle(kStylePictureAndCaption); });
    IgnoreFailure([&] { button->SetVisible(true); });
  }
}

void WPSaddin::DisableToolBar(std::u16string_view bar_name) {
  SetToolBarEnabled(Require(wpsApp), bar_name, false);
}

void WPSaddin::EnableToolBar(std::u16string_view bar_name) {
  SetToolBarEnabled(Require(wpsApp), bar_name, true);
}

void WPSaddin::EnableOptionsMenu(bool enabled) {
  SetOptionsMenuEnabled(Require(wpsApp), enabled);
}

}  // namespace qnmuro
