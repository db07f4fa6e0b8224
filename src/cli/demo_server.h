// The development OA server `qnmuro demo` publishes the notice on and uploads it to.
#ifndef QNMURO_CLI_DEMO_SERVER_H_
#define QNMURO_CLI_DEMO_SERVER_H_

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace qnmuro::cli {

class DemoServer {
 public:
  virtual ~DemoServer() = default;
  // False, with *error saying why, when it cannot serve.
  virtual bool Start(std::string* error) = 0;
  virtual void Stop() = 0;
  virtual std::string BaseUrl() const = 0;
  // The request lines it has logged so far; empty when it logs elsewhere.
  virtual std::vector<std::string> Lines() = 0;
};

// A server in this process serving `root`, or null where the build has none (Windows: there
// the demo uses one the Linux build runs).
std::unique_ptr<DemoServer> NewOwnDemoServer(const std::filesystem::path& root);

}  // namespace qnmuro::cli

#endif  // QNMURO_CLI_DEMO_SERVER_H_
