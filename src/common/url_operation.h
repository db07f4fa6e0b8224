// Splits one server URL into what the HTTP client needs to open a connection and a request:
// protocol, host, port and object path (query included). Performs no network access. No
// property ever fails towards its caller: a failure inside yields the empty text (or port 0).
// Positions are UTF-16 code units; every search is exact and case-sensitive unless said.
#ifndef QNMURO_COMMON_URL_OPERATION_H_
#define QNMURO_COMMON_URL_OPERATION_H_

#include <cstdint>
#include <string>

namespace qnmuro {

class UrlOperation {
 public:
  UrlOperation() = default;
  ~UrlOperation() { url_.clear(); }

  // The stored URL, unchanged.
  const std::u16string& Url() const { return url_; }
  void SetUrl(std::u16string url) { url_ = std::move(url); }

  // The characters before the first "://", case kept; empty when there is none.
  std::u16string Protocol() const;
  // The host name, without protocol, port and path.
  std::u16string Host() const;
  // The explicit port, else the protocol's default (FTP 21, HTTPS 443, anything else 80);
  // 0 when the port text is not a 32-bit decimal number or the URL is blank.
  int32_t Port() const;
  // From the first "/" after the host to the end, query included; empty when there is none.
  std::u16string UrlObject() const;
  // True when the URL's scheme (Protocol) is "https", compared without regard to case; an
  // "https" anywhere else in the URL (host, path, query) does not make it secure.
  bool CheckSSLHttp() const;

 private:
  static std::u16string RemoveProtocol(const std::u16string& url, const std::u16string& protocol);
  bool IsBlank() const;
  std::u16string Rest() const;

  std::u16string url_;
};

// Whether `url`'s scheme (its Protocol) is http or https, in any letter case: the only
// addresses a transfer speaks to; any other (ftp, a misspelt one, none) is no transfer.
bool HasTransferScheme(const UrlOperation& url);

// Whether `url` has a transfer scheme and names a host and a port that a connection can be
// opened to.
bool HasUsableAddress(const UrlOperation& url);

}  // namespace qnmuro

#endif  // QNMURO_COMMON_URL_OPERATION_H_
