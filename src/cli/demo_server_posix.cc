// The demo's OA server in this process, with the request lines it logs.
#include <mutex>

#include "cli/demo_server.h"
#include "oaserver/oa_server.h"

namespace qnmuro::cli {
namespace {

class OwnDemoServer : public DemoServer {
 public:
  explicit OwnDemoServer(const std::filesystem::path& root) {
    OaServerOptions options;
    options.root = root;
    options.log = [this](const std::string& line) {
      std::lock_guard<std::mutex> lock(mutex_);
      lines_.push_back(line);
    };
    server_ = std::make_unique<OaServer>(options);
  }
  bool Start(std::string* error) override { return server_->Start("127.0.0.1", 0, error) >= 0; }
  void Stop() override { server_->Stop(); }
  std::string BaseUrl() const override { return server_->BaseUrl(); }
  std::vector<std::string> Lines() override {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
  std::unique_ptr<OaServer> server_;
};

}  // namespace

std::unique_ptr<DemoServer> NewOwnDemoServer(const std::filesystem::path& root) {
  return std::make_unique<OwnDemoServer>(root);
}

}  // namespace qnmuro::cli
