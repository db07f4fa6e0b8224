#include "common/context.h"

#include "platform/services.h"

namespace qnmuro {

Context ContextFor(Services& services, SharedState* state) {
  Context ctx;
  ctx.state = state;
  ctx.ui = services.ui.get();
  ctx.clock = services.clock.get();
  ctx.registry = services.registry.get();
  ctx.shell = services.shell.get();
  ctx.http = services.http.get();
  ctx.work_dir = services.work_dir;
  ctx.agent_http = services.agent_http.get();
  return ctx;
}

}  // namespace qnmuro
