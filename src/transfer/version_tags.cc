#include "transfer/version_tags.h"

#include <vector>

#include "common/velto_log.h"
#include "platform/digest.h"
#include "platform/file_io.h"
#include "platform/registry_store.h"

namespace qnmuro {
namespace {

constexpr char16_t kTagsKey[] = u"Software\\QNSoft\\QNMuroWPS\\VersionTags";
constexpr char16_t kDigestsKey[] = u"Software\\QNSoft\\QNMuroWPS\\VersionDigests";

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

std::u16string ReadValue(const Context& ctx, const char16_t* key, const DocumentFile& file) {
  if (ctx.registry == nullptr || file.empty()) return {};
  RegistryValue value;
  if (ctx.registry->GetValue(kHkeyCurrentUser, key, ValueName(file), &value) != 0 ||
      value.type != kRegString) {
    return {};
  }
  return value.text;
}

void WriteValue(const Context& ctx, const char16_t* key, const DocumentFile& file,
                std::u16string_view text) {
  if (text.empty()) {
    ctx.registry->DeleteValue(kHkeyCurrentUser, key, ValueName(file));
  } else if (ctx.registry->CreateKey(kHkeyCurrentUser, key) == 0) {
    ctx.registry->SetValue(kHkeyCurrentUser, key, ValueName(file),
                           RegistryValue::String(std::u16string(text)));
  }
}

}  // namespace

std::u16string HeldVersionTag(const Context& ctx, const DocumentFile& file) {
  return ReadValue(ctx, kTagsKey, file);
}

std::u16string HeldVersionDigest(const Context& ctx, const DocumentFile& file) {
  return ReadValue(ctx, kDigestsKey, file);
}

void RecordVersionTag(const Context& ctx, const DocumentFile& file, std::u16string_view tag,
                      std::u16string_view sha256_hex) {
  if (ctx.registry == nullptr || file.empty()) return;
  // The digest first: a tag is never held beside the digest of another version.
  WriteValue(ctx, kDigestsKey, file, tag.empty() ? std::u16string_view() : sha256_hex);
  WriteValue(ctx, kTagsKey, file, tag);
}

bool ForgetStaleVersionTag(const Context& ctx, const DocumentFile& file,
                           const std::filesystem::path& path,
                           const std::vector<std::u16string>& own) {
  const std::u16string tag = HeldVersionTag(ctx, file);
  const std::u16string described = HeldVersionDigest(ctx, file);
  if (tag.empty() || described.empty()) return false;
  const std::u16string now = FileSha256(path);
  if (now.empty() || now == described) return false;
  for (const std::u16string& d : own) {
    if (d == now) return false;
  }
  RecordVersionTag(ctx, file, u"");
  WriteLog(ctx.state,
           u"文件“" + file.name + u"”不是版本" + tag + u"的内容，已不再以该版本为上传的依据");
  return true;
}

std::u16string FileSha256(const std::filesystem::path& path) {
  std::string bytes;
  int err = 0;
  Sha256Value digest{};
  if (ReadRegularFile(path, size_t{1} << 30, &bytes, &err) != FileReadStatus::kOk ||
      !Sha256(bytes, &digest)) {
    return {};
  }
  return Sha256Text(digest);
}

std::u16string Sha256Text(const Sha256Value& digest) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  std::u16string out;
  for (unsigned char b : digest) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
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
