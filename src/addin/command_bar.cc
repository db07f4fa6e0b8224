#include "addin/command_bar.h"

#include <array>

#include "addin/key_caps.h"
#include "addin/wps_addin.h"
#include "base/error.h"
#include "common/shared_state.h"
#include "config/vocabulary.h"
#include "host/host_util.h"

namespace qnmuro {
namespace {

using W = WPSaddin;

// Row i is BarButton(i); the bar adds its buttons in this order.
constexpr std::array<BarButtonRow, kBarButtonCount> kButtons{{
    {BarButton::kBackToSystem, kCaptionBackToSystem, &W::BackToSystem_Click, u"BackToSystem_Click",
     true},
    {BarButton::kRevision, kCaptionRevision, &W::Revision_Click, u"Revision_Click", true},
    {BarButton::kRedHead, kCaptionRedHead, &W::RedHead_Click, u"RedHead_Click", true},
    {BarButton::kInsertFile, kCaptionInsertFile, &W::InsertFile_Click, u"InsertFile_Click", true},
    {BarButton::kInsertReport, kCaptionInsertReport, &W::InsertReport_Click, u"InsertReport_Click",
     true},
    {BarButton::kChangeTemplate, kCaptionChangeTemplate, &W::ChangeTemplate_Click,
     u"ChangeTemplate_Click", true},
    // The draft viewer's handler is internal to the add-in: the host reaches it only through
    // the button, so the type library does not offer it.
    {BarButton::kManuscript, kCaptionManuscript, &W::Manuscript_Click, u"Manuscript_Click", false},
    {BarButton::kSetSeal, kCaptionSetSeal, &W::SetSeal_Click, u"SetSeal_Click", true},
}};

// A row left out or out of order would make a button without caption or handler.
constexpr bool IsWholeTable() {
  for (size_t i = 0; i < kButtons.size(); ++i) {
    const BarButtonRow& row = kButtons[i];
    // (A handler cannot be checked here: the sanitizers' build does not take a member
    // pointer's comparison as a constant; a row left out has no caption either.)
    if (row.id != static_cast<BarButton>(i) || row.caption != kButtonCaptions[i] ||
        row.handler_name.empty()) {
      return false;
    }
  }
  return true;
}
static_assert(IsWholeTable(), "every button needs its row, in enum order");

}  // namespace

const BarButtonRow& ButtonRow(BarButton button) {
  return kButtons.at(static_cast<size_t>(button));
}

std::u16string_view ButtonCaption(BarButton button) {
  return ButtonRow(button).caption;
}

std::vector<BarButton> ButtonsToShow(std::u16string_view button_list,
                                     std::u16string_view draft_url) {
  const std::u16string list = std::u16string(button_list) + u",";
  std::vector<BarButton> out{BarButton::kBackToSystem};
  for (const BarButtonRow& row : kButtons) {
    if (row.id == BarButton::kBackToSystem) continue;
    if (list.find(row.caption) == std::u16string::npos) continue;
    if (row.id == BarButton::kManuscript && draft_url.empty()) continue;
    out.push_back(row.id);
  }
  return out;
}

// ---- WPSaddin's command-bar operations ----

WPSaddin::ButtonMember& WPSaddin::Member(BarButton button) {
  return buttons_.at(static_cast<size_t>(button));
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
