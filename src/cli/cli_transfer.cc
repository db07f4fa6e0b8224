// qnmuro transfer download URL DEST | upload FILE URL --config CONTROLFILE: runs the add-in's
// own transfer code, with the user and password the add-in would take, and writes the same
// log lines; for integrators checking their OA server.
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include "cli/command.h"
#include "cli/transfer_session.h"
#include "common/identity.h"
#include "transfer/http_operation.h"

namespace qnmuro::cli {
namespace {

struct TransferArgs {
  std::string url;
  std::string local;
  std::string config;
};

int RunTransfer(const TransferArgs& args, bool upload) {
  TransferSession session;
  std::string error;
  if (!session.Open(args.config, &error)) {
    std::cerr << "qnmuro: transfer: " << error << "\n";
    return 1;
  }
  Context& ctx = session.ctx();
  const CommonInfo& common = session.records().commonInfo;
  HttpOperation transfer(ctx);
  std::u16string user = common.name;
  if (user.empty()) user = GetCurrentUser(ctx);
  std::u16string password = common.password;
  if (password.empty()) password = GetUserPassword(ctx, user);
  transfer.SetHttpUser(user);
  transfer.SetHttpPassword(password);
  transfer.SetHttpUrl(Utf8ToUtf16(args.url));
  std::u16string local = Utf8ToUtf16(args.local);
  if (upload) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(ToPath(local), ec);
    if (!ec) local = FromPath(absolute);
  } else if (ToPath(local).is_relative()) {
    local = ctx.workDir + kPathSeparator + local;
  }
  transfer.SetDestFile(local);
  const bool ok = upload ? transfer.UploadFileByStream() : transfer.DownloadFileByStream();
  std::cout << (upload ? "upload " : "download ") << (ok ? "succeeded" : "failed")
            << "; the log is " << session.LogPath() << "\n";
  return ok ? 0 : 1;
}

}  // namespace

void AddTransfer(CLI::App& app) {
  CLI::App* transfer =
      app.add_subcommand("transfer", "Download or upload a file exactly as the add-in does");
  transfer->require_subcommand(1);
  auto download_args = std::make_shared<TransferArgs>();
  CLI::App* download =
      transfer->add_subcommand("download", "Fetch URL into DEST (relative to the work directory)");
  download->add_option("URL", download_args->url, "the resource address")->required();
  download->add_option("DEST", download_args->local, "the local file")->required();
  download->add_option("--config", download_args->config, "the document's control file")
      ->required();
  download->callback([download_args] { ExitStatus() = RunTransfer(*download_args, false); });

  auto upload_args = std::make_shared<TransferArgs>();
  CLI::App* upload =
      transfer->add_subcommand("upload", "Send FILE to the server and confirm it to URL");
  upload->add_option("FILE", upload_args->local, "the local file")->required();
  upload->add_option("URL", upload_args->url, "the document's upload address")->required();
  upload->add_option("--config", upload_args->config, "the document's control file")->required();
  upload->callback([upload_args] { ExitStatus() = RunTransfer(*upload_args, true); });
}

}  // namespace qnmuro::cli
