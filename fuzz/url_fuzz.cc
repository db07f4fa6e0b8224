// URL parsing: any text as a server address, split and turned into a request as a transfer
// does. Nothing may fail but by the documented empty parts, and no request whose host holds
// a control byte gets past the HTTP client.
#include <algorithm>
#include <cstdint>
#include <string_view>

#include "common/url_operation.h"
#include "fuzz/fuzz_support.h"
#include "platform/http_client.h"
#include "platform/services_posix.h"
#include "transfer/url_request.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qnmuro;
  auto& fuzz = fuzz::FuzzContext::Get();
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // Half the inputs as UTF-8 text, half as raw UTF-16 units (unpaired surrogates included).
  const bool units = size > 0 && (data[0] & 1);
  UrlOperation url;
  url.SetUrl(units ? fuzz::AsUnits(bytes.substr(1)) : Utf8ToUtf16(bytes));
  url.Protocol();
  url.Host();
  url.Port();
  url.UrlObject();
  url.CheckSSLHttp();
  const UrlOrigin origin = OriginOf(url);
  if (!HasUsableAddress(url)) return 0;
  RequestParty party;
  party.session_cookie = true;
  party.user = u"zhangsan";
  party.password = u"425D5031564D740B75";
  party.origin = origin;
  const HttpRequest request = RequestForUrl(fuzz.ctx, url, "POST", party);
  if (request.port <= 0 || request.port > 65535) __builtin_trap();
  // A host that holds a control byte (a NUL would cut the name short) must be refused by
  // the HTTP client before anything is sent.
  const bool control = std::any_of(request.host.begin(), request.host.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
  });
  if (control) {
    static const auto client = NewCurlHttpClient();
    if (client->Send(request, nullptr).failed != HttpStage::kConnect) __builtin_trap();
  }
  return 0;
}
