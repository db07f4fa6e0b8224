#include "transfer/url_request.h"

#include <utility>

#include "base/text.h"
#include "common/cipher.h"
#include "common/identity.h"

namespace qnmuro {
namespace {

constexpr char kUserAgent[] = "QNSoft";

}  // namespace

bool HasUsableAddress(const UrlOperation& url) {
  const int32_t port = url.Port();
  return !Trim(url.Host()).empty() && port > 0 && port <= 65535;
}

HttpRequest RequestForUrl(const Context& ctx, const UrlOperation& url, std::string method,
                          const RequestParty& party) {
  HttpRequest request;
  request.method = std::move(method);
  request.secure = url.CheckSSLHttp();
  request.host = ToAnsi(url.Host());
  request.port = url.Port();
  request.target = ToAnsi(url.UrlObject());
  request.user_agent = kUserAgent;
  if (party.session_cookie) request.cookie = ToAnsi(GetSessionCookie(ctx));
  if (!party.user.empty()) {
    request.user = ToAnsi(party.user);
    request.password = ToAnsi(DecryptString(party.password));
  }
  return request;
}

}  // namespace qnmuro
