// The HTTP clients' shared wire rules: any bytes as a response's header block, and as the
// target, host and header values of a request. Header lines split into names without ':';
// a target goes on the request line without a control byte or blank; a request whose headers
// pass the check carries no control byte in them.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "platform/http_client.h"
#include "platform/http_wire.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qnmuro;
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  HttpHeaders headers;
  AddHeaderLines(bytes, &headers);
  for (const auto& [name, value] : headers) {
    if (name.find(':') != std::string::npos || name.find("\r\n") != std::string::npos ||
        value.find("\r\n") != std::string::npos) {
      __builtin_trap();
    }
  }
  HttpResponse response;
  response.headers = headers;
  response.Header("Location");
  response.Header("WWW-Authenticate");

  const std::string target = EncodeTarget(std::string(bytes));
  if (target.empty() || target[0] != '/' || std::any_of(target.begin(), target.end(), [](char c) {
        return static_cast<unsigned char>(c) <= 0x20 || c == 0x7f;
      })) {
    __builtin_trap();
  }

  HttpRequest request;
  request.host = std::string(fuzz::TakeLine(&bytes));
  request.user = std::string(fuzz::TakeLine(&bytes));
  request.cookie = std::string(fuzz::TakeLine(&bytes));
  request.headers.emplace_back(std::string(fuzz::TakeLine(&bytes)), std::string(bytes));
  HasPlainAddress(request);
  if (HeadersAreClean(request) && (HasControl(request.user) || HasControl(request.cookie) ||
                                   HasControl(request.headers[0].second) ||
                                   request.headers[0].first.find(':') != std::string::npos)) {
    __builtin_trap();
  }
  return 0;
}
