// urlmon's URL download, the WinINet client's download service (HttpClient::DownloadToFile).
// Windows-only.
#ifndef QNMURO_PLATFORM_URLMON_DOWNLOAD_WIN_H_
#define QNMURO_PLATFORM_URLMON_DOWNLOAD_WIN_H_

#include <cstdint>
#include <filesystem>

#include "platform/http_client.h"

namespace qnmuro {

// GETs the request's address into `path` with URLDownloadToFileA. The request's cookie and
// headers go as the request's own header lines, its user and password answer a challenge; a
// redirect ends the download (status 302 and its Location reported). The rate floor of
// `options` applies, checked as bytes arrive and while none do.
HttpResponse UrlmonDownload(const HttpRequest& request, const std::filesystem::path& path,
                            const HttpClientOptions& options);

// The bytes received so far, counted on past 4 GiB: urlmon reports its progress in 32 bits,
// which wrap. `so_far` is the count before the report, `reported` the report's progress. A
// report far below the last one (by more than 2 GiB) has wrapped; one a little below it is a
// download started over (after a challenge) and is taken as it is.
uint64_t ProgressPast32Bits(uint64_t so_far, uint32_t reported);

}  // namespace qnmuro

#endif  // QNMURO_PLATFORM_URLMON_DOWNLOAD_WIN_H_
