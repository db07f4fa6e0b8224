#include "host/command_bars.h"

#include "base/error.h"
#include "host/host_util.h"

namespace qnmuro {
namespace {

host::CommandBar& FindBar(host::Application& app, std::u16string_view name) {
  const auto bar = app.GetCommandBars().Find(name);
  if (!bar) throw MakeError(kHostErrNoSuchMember);
  return *bar;
}

// An item of one of the popups on the host's "Menu Bar".
std::shared_ptr<host::Control> MenuItem(host::Application& app, std::u16string_view popup_caption,
                                        std::u16string_view item_caption) {
  host::CommandBar& menu = FindBar(app, kMenuBarName);
  const auto popup = menu.GetControls().Item(popup_caption);
  auto item = Require(popup).GetControls().Item(item_caption);
  Require(item);
  return item;
}

}  // namespace

void SetToolBarEnabled(host::Application& app, std::u16string_view bar_name, bool enabled) {
  host::CommandBar& bar = FindBar(app, bar_name);
  bar.SetEnabled(enabled);
  host::Controls& controls = bar.GetControls();
  const long count = controls.Count();
  for (long i = 1; i <= count; ++i) Require(controls.Item(i)).SetEnabled(enabled);
}

void SetOptionsMenuEnabled(host::Application& app, bool enabled) {
  MenuItem(app, kToolsMenuCaption, kOptionsItemCaption)->SetEnabled(enabled);
}

void RunInsertFileMenu(host::Application& app) {
  MenuItem(app, kInsertMenuCaption, kInsertFileItemCaption)->Execute();
}

}  // namespace qnmuro
