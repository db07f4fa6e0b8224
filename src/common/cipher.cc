#include "common/cipher.h"

#include <memory>
#include <optional>

#include "base/error.h"
#include "base/text.h"
#include "common/context.h"
#include "common/velto_log.h"
#include "platform/digest.h"

namespace qnmuro {
namespace {

// The ANSI code of one UTF-16 unit: its bytes in the code page, most significant first.
unsigned long AnsiCode(char16_t c) {
  const std::string bytes = ToAnsi(std::u16string_view(&c, 1));
  unsigned long code = 0;
  for (unsigned char b : bytes) code = (code << 8) | b;
  return code;
}

// The key character for 1-based position `j`; a key of length 0 is a division by zero, as
// the modulo over the key length always was.
unsigned long KeyCode(std::u16string_view key, size_t j) {
  if (key.empty()) throw MakeError(kErrDivisionByZero);
  return AnsiCode(key[(j - 1) % key.size()]);
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

// A pair (or a last single digit) read as a hexadecimal number; nullopt when any character is
// not a hex digit.
std::optional<unsigned> ReadHex(std::u16string_view pair) {
  unsigned v = 0;
  for (char16_t c : pair) {
    const int d = HexDigit(c);
    if (d < 0) return std::nullopt;
    v = v * 16 + static_cast<unsigned>(d);
  }
  return v;
}

}  // namespace

std::u16string DigestHex(std::u16string_view text) {
  std::string bytes = ToAnsi(text);
  // As many bytes as the text has characters: all of an ASCII text.
  if (bytes.size() > text.size()) bytes.resize(text.size());
  Md5Value value;
  if (!Md5(bytes, &value)) return {};
  std::u16string out;
  for (unsigned char byte : value) {
    const std::u16string h = UpperHex(byte);
    if (h.size() == 1) out += u'0';
    out += h;
  }
  return out;
}

std::u16string EncryptString(const Context& ctx, std::u16string_view text) {
  return internal::EncryptStringWithKey(ctx, text, DigestHex(kCipherPassPhrase));
}

std::u16string DecryptString(std::u16string_view text) {
  return internal::DecryptStringWithKey(text, DigestHex(kCipherPassPhrase));
}

namespace internal {

std::u16string EncryptStringWithKey(const Context& ctx, std::u16string_view text,
                                    std::u16string_view key) {
  std::u16string out;
  const bool ok = TrapFirstFailure(
      [&] {
        for (size_t j = 1; j <= text.size(); ++j) {
          const std::u16string h = UpperHex(AnsiCode(text[j - 1]) ^ KeyCode(key, j));
          if (h.size() == 1) out += u'0';
          out += h;
        }
      },
      [&](const Error& e) {
        WriteErrorLog(ctx.state, ComposeErrorReport(u"EncryptString 错误：", u"", e), &e);
      });
  return ok ? out : std::u16string(text);
}

std::u16string DecryptStringWithKey(std::u16string_view text, std::u16string_view key) {
  std::u16string out;
  for (size_t n = 1; 2 * n - 1 <= text.size(); ++n) {
    // Each pair that fails is dropped; the key position still advances with n.
    IgnoreFailure([&] {
      const std::optional<unsigned> v = ReadHex(text.substr(2 * n - 2, 2));
      if (!v) throw MakeError(kErrTypeMismatch);
      const unsigned long code = *v ^ KeyCode(key, n);
      const char ansi = static_cast<char>(code);
      out += code < 0x80 ? std::u16string(1, static_cast<char16_t>(code))
                         : FromAnsi(std::string_view(&ansi, 1));
    });
  }
  return out;
}

}  // namespace internal
}  // namespace qnmuro
