#include "addin/command_bar.h"

#include <array>
#include <utility>

#include "addin/key_caps.h"
#include "addin/wps_addin.h"
#include "base/error.h"
#include "common/shared_state.h"
#include "host/host_util.h"

namespace qnmuro {
namespace {

constexpr std::array<std::pair<BarButton, std::u16string_view>, 8> kButtons{{
    {BarButton::kBackToSystem, u"返回OA系统"},
    {BarButton::kRevision, u"查看痕迹"},
    {BarButton::kRedHead, u"隐藏红头"},
    {BarButton::kInsertFile, u"引入文章"},
    {BarButton::kInsertReport, u"引入签报"},
    {BarButton::kChangeTemplate, u"更换模板"},
    {BarButton::kManuscript, u"查看原文"},
    {BarButton::kSetSeal, u"加盖印章"},
}};

}  // namespace

std::u16string_view ButtonCaption(BarButton button) {
  for (const auto& [id, caption] : kButtons) {
    if (id == button) return caption;
  }
  return {};
}

std::vector<BarButton> ButtonsToShow(std::u16string_view button_list,
                                     std::u16string_view draft_url) {
  const std::u16string list = std::u16string(button_list) + u",";
  std::vector<BarButton> out{BarButton::kBackToSystem};
  for (const auto& [id, caption] : kButtons) {
    if (id == BarButton::kBackToSystem) continue;
    if (list.find(caption) == std::u16string::npos) continue;
    if (id == BarButton::kManuscript && draft_url.empty()) continue;
    out.push_back(id);
  }
  return out;
}

// ---- WPSaddin's command-bar operations ----

WPSaddin::ButtonMember& WPSaddin::Member(BarButton button) {
  switch (button) {
    case BarButton::kBackToSystem:
      return BackToSystem;
    case BarButton::kRevision:
      return Revision;
    case BarButton::kRedHead:
      return RedHead;
    case BarButton::kInsertFile:
      return InsertFile;
    case BarButton::kInsertReport:
      return InsertReport;
    case BarButton::kChangeTemplate:
      return ChangeTemplate;
    case BarButton::kManuscript:
      return Manuscript;
    case BarButton::kSetSeal:
      break;
  }
  return SetSeal;
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
