// Base64 as the add-in uses it to carry file names inside upload URLs: standard alphabet and
// "=" padding, text turned into bytes in the system ANSI code page first.
//
// The class keeps the shape of its two lookup tables (64 encoding entries, 234 decoding
// entries) because that shape decides how malformed input fails. Every index is checked: an
// index beyond a table or beyond the input/output arrays raises run-time error 9 (subscript
// out of range), an output byte above 255 raises error 6 (overflow). Nothing is trapped here;
// errors go to the caller.
#ifndef QNMURO_COMMON_BASE64_H_
#define QNMURO_COMMON_BASE64_H_

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qnmuro {

class Base64 {
 public:
  Base64();

  // The Base64 text of `text`'s ANSI code-page bytes (a Chinese character gives its two GBK
  // bytes), with leading and trailing blanks trimmed. An empty text gives the empty text.
  std::u16string Encode(std::u16string_view text) const;

  // Decodes Base64 character codes (one byte per character) into the bytes they stand for.
  // The result has n / 4 * 3 - padding bytes (rounded half to even); decoding stops after
  // the first quartet that carries "=", leaving any later result bytes 0. An empty input
  // gives an empty result. Raises error 9 for a code above 233 or a length that is not a
  // multiple of 4, error 6 for a quartet whose first character is "=" or outside the
  // alphabet.
  std::vector<uint8_t> Decode(const std::vector<uint8_t>& codes) const;

 private:
  std::vector<uint8_t> EncodeBytes(const std::vector<uint8_t>& in) const;
  std::vector<uint8_t> DecodeBytes(const std::vector<uint8_t>& in) const;

  std::array<uint8_t, 64> enc_{};
  std::array<uint8_t, 234> dec_{};
};

}  // namespace qnmuro

#endif  // QNMURO_COMMON_BASE64_H_
