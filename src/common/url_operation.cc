#include "common/url_operation.h"

#include <climits>

#include "base/text.h"

namespace qnmuro {
namespace {

// Decimal text with surrounding blanks to a 32-bit integer, as the host converts port texts.
bool ParsePort(std::u16string_view text, int32_t* out) {
  const std::u16string t = Trim(text);
  if (t.empty()) return false;
  size_t i = 0;
  bool negative = false;
  if (t[0] == u'+' || t[0] == u'-') {
    negative = t[0] == u'-';
    i = 1;
  }
  if (i == t.size()) return false;
  long long value = 0;
  for (; i < t.size(); ++i) {
    if (t[i] < u'0' || t[i] > u'9') return false;
    value = value * 10 + (t[i] - u'0');
    if (value > static_cast<long long>(INT32_MAX) + 1) return false;
  }
  if (negative) value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return false;
  *out = static_cast<int32_t>(value);
  return true;
}

}  // namespace

bool UrlOperation::IsBlank() const {
  return Trim(url_).empty();
}

std::u16string UrlOperation::RemoveProtocol(const std::u16string& url,
                                            const std::u16string& protocol) {
  if (Trim(url).empty()) return std::u16string();
  if (url.find(protocol + u"://") != std::u16string::npos) {
    const size_t cut = protocol.size() + 3;
    return cut <= url.size() ? url.substr(cut) : std::u16string();
  }
  return url;
}

std::u16string UrlOperation::Rest() const {
  return RemoveProtocol(url_, Protocol());
}

std::u16string UrlOperation::Protocol() const {
  if (IsBlank()) return std::u16string();
  const size_t p = url_.find(u"://");
  return p == std::u16string::npos ? std::u16string() : url_.substr(0, p);
}

std::u16string UrlOperation::Host() const {
  if (IsBlank()) return std::u16string();
  const std::u16string rest = Rest();
  size_t p = rest.find(u':');
  if (p == std::u16string::npos) p = rest.find(u'/');
  return p == std::u16string::npos ? rest : rest.substr(0, p);
}

int32_t UrlOperation::Port() const {
  if (IsBlank()) return 0;
  const std::u16string rest = Rest();
  const size_t p = rest.find(u':');
  if (p != std::u16string::npos) {
    const size_t s = rest.find(u'/', p);
    const std::u16string text =
        s == std::u16string::npos ? rest.substr(p + 1) : rest.substr(p + 1, s - p - 1);
    int32_t port = 0;
    return ParsePort(text, &port) ? port : 0;
  }
  const std::u16string protocol = AsciiLower(Protocol());
  if (protocol == u"ftp") return 21;
  if (protocol == u"https") return 443;
  return 80;
}

std::u16string UrlOperation::UrlObject() const {
  if (IsBlank()) return std::u16string();
  const std::u16string rest = Rest();
  const size_t p = rest.find(u'/');
  return p == std::u16string::npos ? std::u16string() : rest.substr(p);
}

bool UrlOperation::CheckSSLHttp() const {
  return AsciiLower(Protocol()) == u"https";
}

bool HasTransferScheme(const UrlOperation& url) {
  const std::u16string scheme = AsciiLower(url.Protocol());
  return scheme == u"http" || scheme == u"https";
}

bool HasUsableAddress(const UrlOperation& url) {
  const int32_t port = url.Port();
  return HasTransferScheme(url) && !Trim(url.Host()).empty() && port > 0 && port <= 65535;
}

}  // namespace qnmuro
