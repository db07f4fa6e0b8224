// DecryptString: any text as a stored password. Deciphering never fails; what EncryptString
// makes of printable ASCII deciphers back to it.
#include <cstdint>
#include <string>
#include <string_view>

#include "common/cipher.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qnmuro;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  DecryptString(fuzz::AsUnits(bytes));
  DecryptString(Utf8ToUtf16(bytes));
  std::u16string ascii;
  for (const char c : bytes) {
    if (c >= 0x20 && c < 0x7f) ascii += static_cast<char16_t>(c);
  }
  const std::u16string enciphered = EncryptString(fuzz::FuzzContext::Get().ctx, ascii);
  if (DecryptString(enciphered) != ascii) __builtin_trap();
  return 0;
}
