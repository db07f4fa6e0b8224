// The password cipher shared with the OA server: a repeating-key XOR whose key is the
// upper-case hexadecimal MD5 digest of a fixed pass phrase, the ciphertext written as
// upper-case hexadecimal digits. The format is fixed by the server; do not "improve" it.
//
// Character codes are codes in the system ANSI code page: an ASCII character is its ASCII
// code, a character the code page writes with two bytes is the 16-bit code lead * 256 + trail
// (so it enciphers to four hex digits and does not survive the round trip), a character it
// lacks is "?".
#ifndef QNMURO_COMMON_CIPHER_H_
#define QNMURO_COMMON_CIPHER_H_

#include <string>
#include <string_view>

namespace qnmuro {

struct Context;

// The fixed pass phrase whose digest is the key.
inline constexpr char16_t kCipherPassPhrase[] = u"ab,qzvrtmlknwsh7";

// The `crypt` module: the MD5 digest (OpenSSL) of `text`'s ANSI bytes, taking as many bytes
// as the text has characters, as 32 upper-case hex digits; the empty text when the digest
// service fails (nothing is logged; the last system error holds the library's code).
std::u16string DigestHex(std::u16string_view text);

// Enciphers `text`: two hex digits per ASCII character, an empty text gives the empty text.
// When the key cannot be made it writes "EncryptString 错误：..." to ctx's event log and
// returns `text` unchanged. Never throws.
std::u16string EncryptString(const Context& ctx, std::u16string_view text);

// Deciphers hex digits taken two at a time (a last odd digit alone; either case of digit). A
// pair that is not two hex digits gives no character but still uses up its key position. A
// code from 128 to 255 becomes the code page's character for that one byte (U+FFFD when a
// single byte means nothing there). Never logs, never throws; with no key the result is empty.
std::u16string DecryptString(std::u16string_view text);

namespace internal {
// The two cipher directions with the key given, so tests can stand in a failed digest ("").
std::u16string EncryptStringWithKey(const Context& ctx, std::u16string_view text,
                                    std::u16string_view key);
std::u16string DecryptStringWithKey(std::u16string_view text, std::u16string_view key);
}  // namespace internal

}  // namespace qnmuro

#endif  // QNMURO_COMMON_CIPHER_H_
