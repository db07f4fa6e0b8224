// urlmon's URL download, the WinINet client's download service (HttpClient::DownloadToFile).
// Windows-only.
#ifndef QNMURO_PLATFORM_URLMON_DOWNLOAD_H_
#define QNMURO_PLATFORM_URLMON_DOWNLOAD_H_

#include <filesystem>

#include "platform/http_client.h"

namespace qnmuro {

// GETs the request's address into `path` with URLDownloadToFileA. The request's cookie and
// headers go as the request's own header lines, its user and password answer a challenge; a
// redirect ends the download (status 302 and its Location reported). The rate floor of
// `options` applies, checked as bytes arrive and while none do.
HttpResponse UrlmonDownload(const HttpRequest& request, const std::filesystem::path& path,
                            const HttpClientOptions& options);

}  // namespace qnmuro

#endif  // QNMURO_PLATFORM_URLMON_DOWNLOAD_H_
