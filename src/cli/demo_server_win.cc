// The Windows build has no development OA server of its own.
#include "cli/demo_server.h"

namespace qnmuro::cli {

std::unique_ptr<DemoServer> NewOwnDemoServer(const std::filesystem::path&) {
  return nullptr;
}

}  // namespace qnmuro::cli
