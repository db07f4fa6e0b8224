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

}  // namespace

void SetToolBarEnabled(host::Application& app, std::u16string_view bar_name, bool enabled) {
  host::CommandBar& bar = FindBar(app, bar_name);
  bar.SetEnabled(enabled);
  host::Controls& controls = bar.GetControls();
  const long count = controls.Count();
  for (long i = 1; i <= count; ++i) Require(controls.Item(i)).SetEnabled(enabled);
}

void SetOptionsMenuEnabled(host::Application& app, bool enabled) {
  host::CommandBar& menu = FindBar(app, kMenuBarName);
  const auto tools = menu.GetControls().Item(kToolsMenuCaption);
  Require(Require(tools).GetControls().Item(kOptionsItemCaption)).SetEnabled(enabled);
}

}  // namespace qnmuro
