// qnmuro transfer download URL DEST | upload FILE URL --config CONTROLFILE: runs the add-in's
// own transfer code, with the user and password the add-in would take, and writes the same
// log lines; for integrators checking their OA server. A failure names the logged reason.
#include <iostream>
#include <memory>
#include <string>

#include "cli/command.h"
#include "cli/transfer_session.h"

namespace qnmuro::cli {
namespace {

struct TransferArgs {
  std::string url;
  std::string local;
  std::string config;
};

void RunTransfer(const TransferArgs& args, bool upload) {
  TransferSession session;
  std::string error;
  if (!session.Open(args.config, &error)) return Fail("transfer: " + error);
  const char* what = upload ? "upload" : "download";
  if (!session.Transfer(args.url, args.local, upload, &error)) {
    return Fail(std::string("transfer: ") + what + " failed: " + error + " (the log is " +
                session.LogPath() + ")");
  }
  std::cout << what << " succeeded; the log is " << session.LogPath() << "\n";
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
  download->callback([download_args] { RunTransfer(*download_args, false); });

  auto upload_args = std::make_shared<TransferArgs>();
  CLI::App* upload =
      transfer->add_subcommand("upload", "Send FILE to the server and confirm it to URL");
  upload->add_option("FILE", upload_args->local, "the local file")->required();
  upload->add_option("URL", upload_args->url, "the document's upload address")->required();
  upload->add_option("--config", upload_args->config, "the document's control file")->required();
  upload->callback([upload_args] { RunTransfer(*upload_args, true); });

  const std::vector<std::string> env = {"QNMURO_WORKDIR", "QNMURO_REGISTRY", "QNMURO_CODEPAGE",
                                        "QNMURO_CA_BUNDLE"};
  SetHelpFooter(download,
                {"qnmuro transfer download 'http://oa.example/oa/doc.nsf/0/6F2A/$file/notice.doc' "
                 "notice.doc --config notice.xml"},
                env);
  SetHelpFooter(upload,
                {"qnmuro transfer upload notice.doc "
                 "'http://oa.example/oa/doc.nsf/upload?OpenAgent&unid=6F2A' --config notice.xml"},
                env);
  SetHelpFooter(transfer, {"qnmuro transfer download URL notice.doc --config notice.xml"}, env);
}

}  // namespace qnmuro::cli
