// The ANSI code page through the system's own conversions, and paths as UTF-16: the
// conversions of a system whose file names are wide and whose code page is its own (CP_ACP).
#include <windows.h>

#include <cstdlib>
#include <string>

#include "base/text.h"

namespace qnmuro {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

const wchar_t* Wide(const char16_t* text) {
  return reinterpret_cast<const wchar_t*>(text);
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

// The code page number of a name as iconv and the add-in write it ("GBK", "CP936",
// "WINDOWS-1252", "UTF-8"); 0 when the name is unknown.
UINT CodePageNumber(const std::string& name) {
  static const struct {
    const char* name;
    UINT number;
  } kNames[] = {{"GBK", 936},          {"GB2312", 936},   {"GB18030", 54936}, {"BIG5", 950},
                {"UTF-8", 65001},      {"UTF8", 65001},   {"SHIFT_JIS", 932}, {"EUC-KR", 949},
                {"ISO-8859-1", 28591}, {"LATIN1", 28591}, {"US-ASCII", 20127}};
  const std::string upper = Upper(name);
  for (const auto& entry : kNames) {
    if (upper == entry.name) return entry.number;
  }
  for (const char* prefix : {"CP", "WINDOWS-"}) {
    const std::string_view p(prefix);
    if (upper.size() > p.size() && upper.compare(0, p.size(), p) == 0) {
      char* end = nullptr;
      const unsigned long number = std::strtoul(upper.c_str() + p.size(), &end, 10);
      if (*end == '\0' && number > 0 && number < 65536) return static_cast<UINT>(number);
    }
  }
  return 0;
}

// Whether the conversion of one character to `code_page` succeeds without a substitute.
bool ToOne(UINT code_page, std::u16string_view one, std::string* out) {
  char buf[16];
  BOOL used_default = FALSE;
  const bool utf = code_page == CP_UTF8 || code_page == 54936;
  const int n = WideCharToMultiByte(code_page, utf ? 0 : WC_NO_BEST_FIT_CHARS, Wide(one.data()),
                                    static_cast<int>(one.size()), buf, sizeof buf, nullptr,
                                    utf ? nullptr : &used_default);
  if (n <= 0 || used_default) return false;
  out->append(buf, static_cast<size_t>(n));
  return true;
}

}  // namespace

const std::string& AnsiCodePage() {
  // The system's ANSI code page, fixed for the life of the process.
  static const std::string code_page = "CP" + std::to_string(GetACP());
  return code_page;
}

std::string ToCodePage(std::u16string_view text, const std::string& code_page) {
  const UINT number = CodePageNumber(code_page);
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c < 0x80) {  // every supported ANSI code page is ASCII-compatible
      out.push_back(static_cast<char>(c));
      continue;
    }
    size_t length = 1;
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      length = 2;
    }
    const bool lone_surrogate = length == 1 && c >= 0xD800 && c <= 0xDFFF;
    if (number == 0 || lone_surrogate || !ToOne(number, text.substr(i, length), &out)) {
      out.push_back('?');
    }
    i += length - 1;
  }
  return out;
}

std::u16string FromCodePage(std::string_view bytes, const std::string& code_page) {
  const UINT number = CodePageNumber(code_page);
  std::u16string out;
  out.reserve(bytes.size());
  size_t i = 0;
  while (i < bytes.size()) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80 || number == 0) {
      out.push_back(c < 0x80 ? c : kReplacement);
      ++i;
      continue;
    }
    // The shortest sequence the code page accepts (at most 4 bytes), as a character.
    bool done = false;
    for (size_t len = 1; len <= 4 && i + len <= bytes.size() && !done; ++len) {
      wchar_t buf[4];
      const int n = MultiByteToWideChar(number, MB_ERR_INVALID_CHARS, bytes.data() + i,
                                        static_cast<int>(len), buf, 4);
      if (n <= 0) continue;
      out.append(reinterpret_cast<const char16_t*>(buf), static_cast<size_t>(n));
      i += len;
      done = true;
    }
    if (!done) {
      out.push_back(kReplacement);
      ++i;
    }
  }
  return out;
}

std::filesystem::path ToPath(std::u16string_view text) {
  return std::filesystem::path(std::wstring(Wide(text.data()), text.size()));
}

std::u16string FromPath(const std::filesystem::path& path) {
  const std::wstring& wide = path.native();
  return std::u16string(reinterpret_cast<const char16_t*>(wide.data()), wide.size());
}

}  // namespace qnmuro
