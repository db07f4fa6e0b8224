// The ANSI code page through iconv, and paths as UTF-8: the conversions of a system whose
// file names are bytes and whose code page is chosen by QNMURO_CODEPAGE.
#include <iconv.h>

#include <cerrno>
#include <cstdlib>

#include "base/text.h"

namespace qnmuro {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Closes an iconv descriptor on every path.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

// Converts one character's UTF-8 bytes; returns false when the code page lacks it.
bool ConvertChunk(iconv_t cd, const std::string& in, std::string* out) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char buf[16];
  char* src = const_cast<char*>(in.data());
  size_t src_left = in.size();
  char* dst = buf;
  size_t dst_left = sizeof buf;
  if (iconv(cd, &src, &src_left, &dst, &dst_left) == static_cast<size_t>(-1)) return false;
  // Flush any shift state so stateful code pages end cleanly.
  if (iconv(cd, nullptr, nullptr, &dst, &dst_left) == static_cast<size_t>(-1)) return false;
  out->append(buf, static_cast<size_t>(dst - buf));
  return true;
}
}  // namespace

const std::string& AnsiCodePage() {
  // Like the system's ANSI code page, it is fixed for the life of the process: read once.
  static const std::string code_page = [] {
    const char* cp = std::getenv("QNMURO_CODEPAGE");
    return std::string(cp == nullptr || *cp == '\0' ? "GBK" : cp);
  }();
  return code_page;
}

std::string ToCodePage(std::u16string_view text, const std::string& code_page) {
  std::string out;
  Iconv cd(code_page.c_str(), "UTF-8");
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c < 0x80) {  // every supported ANSI code page is ASCII-compatible
      out.push_back(static_cast<char>(c));
      continue;
    }
    std::u16string one(1, c);
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      one.push_back(text[++i]);
    }
    if (!cd.ok() || !ConvertChunk(cd.get(), Utf16ToUtf8(one), &out)) out.push_back('?');
  }
  return out;
}

std::u16string FromCodePage(std::string_view bytes, const std::string& code_page) {
  std::u16string out;
  out.reserve(bytes.size());
  Iconv cd("UTF-8", code_page.c_str());
  size_t i = 0;
  std::string utf8;
  while (i < bytes.size()) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c < 0x80 || !cd.ok()) {
      out.push_back(c < 0x80 ? c : kReplacement);
      ++i;
      continue;
    }
    // Try the shortest multi-byte sequence the code page accepts (at most 4 bytes).
    bool done = false;
    for (size_t len = 1; len <= 4 && i + len <= bytes.size(); ++len) {
      utf8.clear();
      iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
      char buf[32];
      char* src = const_cast<char*>(bytes.data() + i);
      size_t src_left = len;
      char* dst = buf;
      size_t dst_left = sizeof buf;
      const size_t r = iconv(cd.get(), &src, &src_left, &dst, &dst_left);
      if (r == static_cast<size_t>(-1) && errno == EINVAL) continue;  // incomplete: longer
      if (r == static_cast<size_t>(-1)) break;                        // invalid
      out += Utf8ToUtf16(std::string_view(buf, static_cast<size_t>(dst - buf)));
      i += len;
      done = true;
      break;
    }
    if (!done) {
      out.push_back(kReplacement);
      ++i;
    }
  }
  return out;
}

std::filesystem::path ToPath(std::u16string_view text) {
  std::string utf8 = Utf16ToUtf8(text);
  for (char& c : utf8) {
    if (c == '\\') c = '/';
  }
  return std::filesystem::path(utf8);
}

std::u16string FromPath(const std::filesystem::path& path) {
  return Utf8ToUtf16(path.string());
}

}  // namespace qnmuro
