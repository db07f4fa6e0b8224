#include "transfer/version_tags.h"

#include <vector>

#include "platform/registry_store.h"

namespace qnmuro {
namespace {

constexpr char16_t kTagsKey[] = u"Software\\QNSoft\\QNMuroWPS\\VersionTags";

std::vector<std::u16string_view> Split(std::u16string_view text, char16_t separator) {
  std::vector<std::u16string_view> parts;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(separator, start);
    if (end == std::u16string_view::npos) end = text.size();
    parts.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

std::u16string ValueName(const DocumentFile& file) {
  return file.unid + u"/" + file.name;
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// The inverse of EscapeText: %X, %XX and %uXXXX back to their units; anything else as it is.
std::u16string Unescape(std::u16string_view text) {
  std::u16string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'%') {
      const bool wide = i + 1 < text.size() && text[i + 1] == u'u';
      size_t k = i + (wide ? 2 : 1);
      unsigned value = 0;
      size_t digits = 0;
      while (k < text.size() && digits < (wide ? 4u : 2u) && HexDigit(text[k]) >= 0) {
        value = value * 16 + static_cast<unsigned>(HexDigit(text[k]));
        ++k;
        ++digits;
      }
      if (digits > 0) {
        out += static_cast<char16_t>(value);
        i = k - 1;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

}  // namespace

std::u16string HeldVersionTag(const Context& ctx, const DocumentFile& file) {
  if (ctx.registry == nullptr || file.empty()) return {};
  RegistryValue value;
  if (ctx.registry->GetValue(kHkeyCurrentUser, kTagsKey, ValueName(file), &value) != 0 ||
      value.type != kRegString) {
    return {};
  }
  return value.text;
}

void RecordVersionTag(const Context& ctx, const DocumentFile& file, std::u16string_view tag) {
  if (ctx.registry == nullptr || file.empty()) return;
  if (tag.empty()) {
    ctx.registry->DeleteValue(kHkeyCurrentUser, kTagsKey, ValueName(file));
    return;
  }
  if (ctx.registry->CreateKey(kHkeyCurrentUser, kTagsKey) != 0) return;
  ctx.registry->SetValue(kHkeyCurrentUser, kTagsKey, ValueName(file),
                         RegistryValue::String(std::u16string(tag)));
}

DocumentFile AttachmentFile(std::u16string_view url) {
  std::u16string_view path = url.substr(0, url.find_first_of(u"?#"));
  const size_t scheme = path.find(u"://");
  if (scheme != std::u16string_view::npos) {
    const size_t slash = path.find(u'/', scheme + 3);
    path = slash == std::u16string_view::npos ? std::u16string_view() : path.substr(slash);
  }
  std::vector<std::u16string_view> parts;
  for (std::u16string_view part : Split(path, u'/')) {
    if (!part.empty()) parts.push_back(part);
  }
  const size_t n = parts.size();
  if (n < 5 || parts[n - 4] != u"0" || parts[n - 2] != u"$file") return {};
  return DocumentFile{std::u16string(parts[n - 3]), Unescape(parts[n - 1])};
}

std::u16string QueryParameter(std::u16string_view url, std::u16string_view name) {
  const size_t q = url.find(u'?');
  if (q == std::u16string_view::npos) return {};
  for (std::u16string_view pair : Split(url.substr(q + 1), u'&')) {
    if (pair.size() > name.size() && pair.substr(0, name.size()) == name &&
        pair[name.size()] == u'=') {
      return std::u16string(pair.substr(name.size() + 1));
    }
  }
  return {};
}

std::u16string DigestTag(std::u16string_view sha256_hex) {
  return u"\"" + std::u16string(sha256_hex) + u"\"";
}

}  // namespace qnmuro
