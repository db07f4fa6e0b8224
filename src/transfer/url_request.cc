#include "transfer/url_request.h"

#include <utility>

#include "base/text.h"
#include "common/cipher.h"
#include "common/identity.h"
#include "common/velto_log.h"
#include "platform/http_wire.h"

namespace qnmuro {
namespace {

constexpr char kUserAgent[] = "QNSoft";

}  // namespace

UrlOrigin OriginOf(const UrlOperation& url) {
  return UrlOrigin{url.CheckSSLHttp(), AsciiLower(url.Host()), url.Port()};
}

std::string RequestTarget(std::u16string_view object) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  static constexpr std::u16string_view kDelimiters = u"/?&=;#";
  std::string out;
  size_t start = 0;
  while (start <= object.size()) {
    size_t end = object.find_first_of(kDelimiters, start);
    if (end == std::u16string_view::npos) end = object.size();
    const std::u16string_view stretch = object.substr(start, end - start);
    // The stretch holds no "?" of its own: one in its ANSI form stands for a lost character.
    const std::string ansi = ToAnsi(stretch);
    if (ansi.find('?') == std::string::npos) {
      out += ansi;
    } else {
      for (unsigned char c : Utf16ToUtf8(stretch)) {
        if (c < 0x80) {
          out += static_cast<char>(c);
        } else {
          out += '%';
          out += kHex[c >> 4];
          out += kHex[c & 15];
        }
      }
    }
    if (end < object.size()) out += static_cast<char>(object[end]);
    start = end + 1;
  }
  return out;
}

HttpRequest RequestForUrl(const Context& ctx, const UrlOperation& url, std::string method,
                          const RequestParty& party) {
  HttpRequest request;
  request.method = std::move(method);
  request.secure = url.CheckSSLHttp();
  request.host = ToAnsi(url.Host());
  request.port = url.Port();
  request.target = RequestTarget(url.UrlObject());
  request.user_agent = kUserAgent;
  // The session and the credentials belong to one origin, never to where a redirect points.
  if (party.origin && OriginOf(url) != *party.origin) return request;
  if (party.session_cookie) {
    request.cookie = ToAnsi(GetSessionCookie(ctx));
    if (HasControl(request.cookie)) {
      request.cookie.clear();
      WriteErrorLog(ctx.state, u"注册表值sid含有控制字符，不作为会话Cookie发送到" + url.Url());
    }
  }
  if (!party.user.empty()) {
    request.user = ToAnsi(party.user);
    if (HasControl(request.user)) {
      request.user.clear();
      WriteErrorLog(ctx.state, u"用户名含有控制字符，不作为凭据发送到" + url.Url());
    } else {
      request.password = ToAnsi(DecryptString(party.password));
    }
  }
  return request;
}

}  // namespace qnmuro
