// Base64 decoding: any bytes as character codes. Decoding either gives its bytes or raises
// one of its two documented errors; encoding any text and decoding the result gives the
// text's ANSI bytes back.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "common/base64.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qnmuro;
  static const Base64 base64;
  try {
    const std::vector<uint8_t> decoded = base64.Decode(std::vector<uint8_t>(data, data + size));
    if (decoded.size() > size) __builtin_trap();
  } catch (const Error& e) {
    if (e.number() != kErrSubscript && e.number() != kErrOverflow) __builtin_trap();
  }

  const std::u16string text =
      Trim(Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data), size)));
  const std::u16string encoded = base64.Encode(text);
  const std::string ansi = ToAnsi(text);
  std::vector<uint8_t> codes;
  for (const char16_t c : encoded) codes.push_back(static_cast<uint8_t>(c));
  const std::vector<uint8_t> back = base64.Decode(codes);
  if (std::string(back.begin(), back.end()) != ansi) __builtin_trap();
  return 0;
}
