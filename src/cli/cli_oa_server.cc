// qnmuro oa-server --root DIR [--port N] [--tls CERT KEY] [--users FILE]: the development OA
// server, until SIGINT or SIGTERM.
#include <pthread.h>
#include <signal.h>

#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli/command.h"
#include "oaserver/oa_server.h"

namespace qnmuro::cli {
namespace {

struct ServerArgs {
  std::string root;
  std::string host = "127.0.0.1";
  int port = 8080;
  std::vector<std::string> tls;
  std::string users;
  std::string auth = "basic";
};

int RunServer(const ServerArgs& args) {
  OaServerOptions options;
  options.root = args.root;
  if (args.tls.size() == 2) {
    options.cert_file = args.tls[0];
    options.key_file = args.tls[1];
  }
  if (!args.users.empty()) {
    std::string error;
    if (!LoadOaUsers(args.users, &options.users, &error)) Usage("oa-server: " + error);
    if (options.users.empty()) Usage("oa-server: no users in " + args.users);
  }
  options.auth = args.auth == "digest" ? OaAuthScheme::kDigest : OaAuthScheme::kBasic;
  options.log = [](const std::string& line) { std::cout << line << std::endl; };

  // Signals are taken by this thread only, never by the server's workers.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

  OaServer server(std::move(options));
  std::string error;
  if (server.Start(args.host, args.port, &error) < 0) {
    std::cerr << "qnmuro: oa-server: " << error << "\n";
    return 1;
  }
  std::cout << "qnmuro oa-server: serving " << args.root << " on " << server.BaseUrl() << "/"
            << std::endl;
  int signal_number = 0;
  sigwait(&stop_signals, &signal_number);
  server.Stop();
  std::cout << "qnmuro oa-server: stopped" << std::endl;
  return 0;
}

}  // namespace

void AddServer(CLI::App& app) {
  CLI::App* cmd = app.add_subcommand("oa-server", "Run the development OA server");
  auto args = std::make_shared<ServerArgs>();
  cmd->add_option("--root", args->root, "the directory served and stored into")
      ->required()
      ->check(CLI::ExistingDirectory);
  cmd->add_option("--host", args->host, "the address to listen on (default 127.0.0.1)");
  cmd->add_option("--port", args->port, "the port (default 8080; 0: any free port)")
      ->check(CLI::Range(0, 65535));
  cmd->add_option("--tls", args->tls, "serve HTTPS with this certificate and key")->expected(2);
  cmd->add_option("--users", args->users,
                  "users file: lines name:password[:session cookie]; enables checks");
  cmd->add_option("--auth", args->auth, "how credentials are asked for: basic or digest")
      ->check(CLI::IsMember({"basic", "digest"}));
  cmd->callback([args] { ExitStatus() = RunServer(*args); });
  SetHelpFooter(cmd,
                {"qnmuro oa-server --root oa-root --port 8080",
                 "qnmuro oa-server --root oa-root --port 0 --users users.txt --auth digest",
                 "qnmuro oa-server --root oa-root --tls cert.pem key.pem"},
                {});
}

}  // namespace qnmuro::cli
