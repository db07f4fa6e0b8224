// Text conversions and small UTF-16 string helpers.
//
// Inside the add-in every text is a std::u16string of UTF-16 code units, like the host's own
// strings: lengths, positions and character codes count code units. UTF-8 appears only at the
// edges (file paths, XML, the terminal); the system ANSI code page (QNMURO_CODEPAGE, default
// GBK) is used for the log file, registry data, everything handed to the network and Base64
// input. This module is the only place that converts between them.
#ifndef QNMURO_BASE_TEXT_H_
#define QNMURO_BASE_TEXT_H_

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace qnmuro {

// UTF-8 -> UTF-16. Invalid or truncated sequences become U+FFFD; never throws.
std::u16string Utf8ToUtf16(std::string_view utf8);

// UTF-16 -> UTF-8. An unpaired surrogate becomes U+FFFD; never throws.
std::string Utf16ToUtf8(std::u16string_view text);

// The ANSI code page's name: on Windows the system's ("CP936"); elsewhere QNMURO_CODEPAGE,
// or "GBK" when unset or empty, read from the environment once, at the first use, and fixed
// from then on, as the system's code page is.
const std::string& AnsiCodePage();

// UTF-16 -> ANSI bytes. A character the code page cannot represent becomes "?", as the
// platform's ANSI conversion does; an unpaired surrogate too. Never throws.
std::string ToAnsi(std::u16string_view text);

// ANSI bytes -> UTF-16. A byte sequence the code page does not define becomes U+FFFD (one per
// offending byte). Never throws.
std::u16string FromAnsi(std::string_view bytes);

// Explicit code-page variants, used by tests and the command line.
std::string ToCodePage(std::u16string_view text, const std::string& code_page);
std::u16string FromCodePage(std::string_view bytes, const std::string& code_page);

// A UTF-16 path text (either separator accepted) as a filesystem path, and back.
std::filesystem::path ToPath(std::u16string_view text);
std::u16string FromPath(const std::filesystem::path& path);

// Shorthand for literals and ASCII data: u"" for UTF-8 text held in a std::string.
inline std::u16string U16(std::string_view utf8) {
  return Utf8ToUtf16(utf8);
}
inline std::string U8(std::u16string_view text) {
  return Utf16ToUtf8(text);
}

// Blank trimming: blanks are the ASCII space only, as the host's Trim functions do.
std::u16string TrimLeft(std::u16string_view text);
std::u16string TrimRight(std::u16string_view text);
std::u16string Trim(std::u16string_view text);

// Lower-cases A-Z only (keywords are ASCII); other characters are unchanged.
std::u16string AsciiLower(std::u16string_view text);

// Case-insensitive (A-Z/a-z) equality and substring search.
bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b);
bool ContainsIgnoreCase(std::u16string_view haystack, std::u16string_view needle);

// Decimal text of a number.
std::u16string ToText(long long value);

// Upper-case hexadecimal text of a number without leading zeros ("0" for 0).
std::u16string UpperHex(unsigned long value);

// Replaces every occurrence of `from` (non-empty) by `to`.
std::u16string ReplaceAll(std::u16string_view text, std::u16string_view from,
                          std::u16string_view to);

}  // namespace qnmuro

#endif  // QNMURO_BASE_TEXT_H_
