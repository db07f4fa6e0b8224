#include "platform/registry_store.h"

#include <cstdio>
#include <cstdlib>

#include "base/text.h"

namespace qnmuro {
namespace {

struct RootName {
  uint32_t code;
  const char16_t* name;
  const char16_t* short_name;
};
constexpr RootName kRoots[] = {
    {kHkeyClassesRoot, u"HKEY_CLASSES_ROOT", u"HKCR"},
    {kHkeyCurrentUser, u"HKEY_CURRENT_USER", u"HKCU"},
    {kHkeyLocalMachine, u"HKEY_LOCAL_MACHINE", u"HKLM"},
    {kHkeyUsers, u"HKEY_USERS", u"HKU"},
    {kHkeyCurrentConfig, u"HKEY_CURRENT_CONFIG", u"HKCC"},
};

std::string HexList(const std::vector<uint8_t>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) out += ',';
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 0xF];
  }
  return out;
}

std::string Quoted(std::u16string_view text) {
  std::string out = "\"";
  for (char c : Utf16ToUtf8(text)) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

// A string the quoted form cannot carry: line breaks and other control characters, NULs,
// and unpaired surrogates (UTF-8 has no form for them).
bool NeedsHexForm(std::u16string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c < 0x20) return true;
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return true;
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return true;
    }
  }
  return false;
}

}  // namespace

RegistryValue RegistryValue::String(std::u16string text) {
  RegistryValue v;
  v.type = kRegString;
  v.text = std::move(text);
  return v;
}

RegistryValue RegistryValue::Dword(uint32_t value) {
  RegistryValue v;
  v.type = kRegDword;
  for (int i = 0; i < 4; ++i) v.bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
  return v;
}

RegistryValue RegistryValue::Binary(std::vector<uint8_t> bytes) {
  RegistryValue v;
  v.type = kRegBinary;
  v.bytes = std::move(bytes);
  return v;
}

std::filesystem::path DefaultRegistryPath() {
  const char* file = std::getenv("QNMURO_REGISTRY");
  if (file != nullptr && *file != '\0') return file;
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home != nullptr && *home != '\0' ? home : ".") / ".config" /
         "qnmuro" / "registry.reg";
}

std::u16string RegistryResultText(long code) {
  switch (code) {
    case kRegBadStorage:
      return u"the registry file is not a regular file";
    case kRegLockTimeout:
      return u"the registry file is locked by another program";
    default:
      return {};
  }
}

std::u16string RegistryRootName(uint32_t root) {
  for (const RootName& r : kRoots) {
    if (r.code == root) return r.name;
  }
  return {};
}

std::optional<uint32_t> RegistryRootFromName(std::u16string_view name) {
  for (const RootName& r : kRoots) {
    if (EqualsIgnoreCase(name, r.name) || EqualsIgnoreCase(name, r.short_name)) return r.code;
  }
  return std::nullopt;
}

std::string FormatRegistryData(const RegistryValue& value) {
  if (value.type == kRegString) {
    if (!NeedsHexForm(value.text)) return Quoted(value.text);
    std::vector<uint8_t> bytes;
    for (char16_t c : value.text) {
      bytes.push_back(static_cast<uint8_t>(c & 0xFF));
      bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return "hex(1):" + HexList(bytes);
  }
  if (value.type == kRegDword && value.bytes.size() == 4) {
    const uint32_t v = value.bytes[0] | (value.bytes[1] << 8) | (value.bytes[2] << 16) |
                       (static_cast<uint32_t>(value.bytes[3]) << 24);
    char buf[16];
    std::snprintf(buf, sizeof buf, "dword:%08x", v);
    return buf;
  }
  if (value.type == kRegBinary) return "hex:" + HexList(value.bytes);
  char buf[24];
  std::snprintf(buf, sizeof buf, "hex(%x):", value.type);
  return buf + HexList(value.bytes);
}

std::string FormatRegistryValueLine(std::u16string_view name, const RegistryValue& value) {
  return (name.empty() ? std::string("@") : Quoted(name)) + "=" + FormatRegistryData(value);
}

}  // namespace qnmuro
