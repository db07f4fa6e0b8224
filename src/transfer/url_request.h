// The one way the transfers turn a server URL into a request: the address split from the URL,
// the add-in's user agent, and the cookie and credentials of whoever the request speaks for.
// Every text goes to the network in the ANSI code page.
#ifndef QNMURO_TRANSFER_URL_REQUEST_H_
#define QNMURO_TRANSFER_URL_REQUEST_H_

#include <string>

#include "common/context.h"
#include "platform/http_client.h"
#include "transfer/url_operation.h"

namespace qnmuro {

// Who a request speaks for.
struct RequestParty {
  bool session_cookie = false;  // carries the stored session cookie (none when none is stored)
  std::u16string user;          // answers a challenge with these credentials; none when empty
  std::u16string password;      // enciphered (hex digits); deciphered only into the request
};

// Whether `url` names a host and a port that a connection can be opened to.
bool HasUsableAddress(const UrlOperation& url);

// The request for `url` with that method and no body. Reads the session cookie only when the
// party carries it; the URL must have a usable address.
HttpRequest RequestForUrl(const Context& ctx, const UrlOperation& url, std::string method,
                          const RequestParty& party);

}  // namespace qnmuro

#endif  // QNMURO_TRANSFER_URL_REQUEST_H_
