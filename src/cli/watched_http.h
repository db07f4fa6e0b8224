// The HTTP client the command's transfers go through: it forwards every request unchanged
// (same wire, same log lines) and remembers the status of the last response and, in words, the
// last trouble (a refusal, an unreachable server); when asked, it
// shows a running transfer's progress on standard error (bytes, rate, and the time left where
// the size is known, as for an upload's body), redrawn in place and erased at the end.
#ifndef QNMURO_CLI_WATCHED_HTTP_H_
#define QNMURO_CLI_WATCHED_HTTP_H_

#include <string>

#include "platform/http_client.h"

namespace qnmuro::cli {

// Whether standard error is a terminal (progress is shown only there, never in a pipe).
bool StderrIsTerminal();

// "1.5 MB of 4.0 MB, 512 KB/s, 0:05 left": one progress line for `done` bytes after
// `seconds`; `total` 0 when unknown (no time left then).
std::string ProgressLine(uint64_t done, uint64_t total, double seconds);

class WatchedHttpClient : public HttpClientWrapper {
 public:
  // `target` must outlive the object.
  WatchedHttpClient(HttpClient* target, bool show_progress)
      : HttpClientWrapper(target), show_progress_(show_progress) {}

  HttpResponse Send(const HttpRequest& request, const HttpSink& sink,
                    size_t max_chunk = 2048) override;

  HttpResponse DownloadToFile(const HttpRequest& request,
                              const std::filesystem::path& path) override;

  // The status of the last response received (0: none yet, or no response).
  int last_status() const { return last_status_; }
  // Why the last request that failed or was refused did not succeed, in words (UTF-8); empty
  // while none has.
  const std::string& last_trouble() const { return last_trouble_; }

 private:
  void Note(const HttpRequest& request, const HttpResponse& response);

  bool show_progress_;
  int last_status_ = 0;
  std::string last_trouble_;
};

}  // namespace qnmuro::cli

#endif  // QNMURO_CLI_WATCHED_HTTP_H_
