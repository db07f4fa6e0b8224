#include "common/shared_state.h"

#include "common/velto_log.h"

namespace qnmuro {

SharedState::SharedState() = default;
SharedState::~SharedState() = default;

}  // namespace qnmuro
