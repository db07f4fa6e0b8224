// The one way the transfers turn a server URL into a request: the address split from the URL,
// the add-in's user agent, and the cookie and credentials of whoever the request speaks for.
// Every text goes to the network in the ANSI code page.
#ifndef QNMURO_TRANSFER_URL_REQUEST_H_
#define QNMURO_TRANSFER_URL_REQUEST_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/context.h"
#include "common/url_operation.h"
#include "platform/http_client.h"

namespace qnmuro {

// Where a session belongs, as a browser's cookie store scopes it: the scheme as the request
// goes on the wire (https or plain http), the host (ASCII letter case ignored) and the port.
struct UrlOrigin {
  bool secure = false;
  std::u16string host;
  int32_t port = 0;
  friend bool operator==(const UrlOrigin&, const UrlOrigin&) = default;
};

UrlOrigin OriginOf(const UrlOperation& url);

// Who a request speaks for.
struct RequestParty {
  bool session_cookie = false;  // carries the stored session cookie (none when none is stored)
  std::u16string user;          // answers a challenge with these credentials; none when empty
  std::u16string password;      // enciphered (hex digits); deciphered only into the request
  // The origin the cookie and the credentials belong to: a request to any other origin (a
  // redirect elsewhere) carries neither. Unset: the request's own origin.
  std::optional<UrlOrigin> origin = std::nullopt;
};

// The request target for an object path (path and query) in the ANSI code page. A character
// the code page cannot carry would become "?" and start a query: each stretch between the
// delimiters "/", "?", "&", "=", ";" and "#" that holds such a character is sent as UTF-8
// instead, every byte above 0x7F percent-encoded (so the stretch reads as one encoding on the
// server). Stretches the code page carries are its bytes, as they always were.
std::string RequestTarget(std::u16string_view object);

// The request for `url` with that method and no body. Reads the session cookie only when the
// party carries it and `url` lies in the party's origin; the URL must have a usable address.
// A session cookie or user name holding a control character (CR, LF, ...) would put header
// lines of its own on the wire: it is left out, with an error line in the event log.
HttpRequest RequestForUrl(const Context& ctx, const UrlOperation& url, std::string method,
                          const RequestParty& party);

}  // namespace qnmuro

#endif  // QNMURO_TRANSFER_URL_REQUEST_H_
