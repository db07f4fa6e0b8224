#include "common/registry.h"

#include <limits>

#include "base/error.h"
#include "base/text.h"

namespace qnmuro {
namespace {

// Through the ANSI code page and back, as the ANSI registry functions convert.
std::u16string AnsiRoundTrip(std::u16string_view text) {
  return FromAnsi(ToAnsi(text));
}

long Failure(long code) {
  SetLastSystemError(code);
  return code;
}

// Error 17, saying why where the store's result code tells more than the system error (a
// registry file locked by another program).
Error StoreError(long code) {
  const std::u16string why = RegistryResultText(code);
  if (why.empty()) return MakeError(kErrCantPerform);
  return Error(kErrCantPerform, DefaultDescription(kErrCantPerform) + u": " + why);
}

// The host's conversion of a value to a 32-bit integer: blanks trimmed, an optional sign,
// digits and an optional fraction rounded half to even. Not a number: error 13; out of
// range: error 6.
int32_t ToLong(const RegistryData& data) {
  if (const int32_t* v = std::get_if<int32_t>(&data)) return *v;
  const std::u16string text = Trim(std::get<std::u16string>(data));
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  long double whole = 0;
  size_t digits = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i, ++digits) {
    whole = whole * 10 + (text[i] - u'0');
  }
  long double fraction = 0;
  if (i < text.size() && text[i] == u'.') {
    long double scale = 0.1L;
    for (++i; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i, ++digits) {
      fraction += (text[i] - u'0') * scale;
      scale /= 10;
    }
  }
  if (digits == 0 || i != text.size()) throw MakeError(kErrTypeMismatch);
  if (fraction > 0.5L || (fraction == 0.5L && static_cast<long long>(whole) % 2 != 0)) whole += 1;
  const long double value = negative ? -whole : whole;
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max()) {
    throw MakeError(kErrOverflow);
  }
  return static_cast<int32_t>(value);
}

}  // namespace

std::u16string RegistryDataText(const RegistryData& data) {
  if (const int32_t* v = std::get_if<int32_t>(&data)) return ToText(*v);
  return std::get<std::u16string>(data);
}

long OpenRegistryKey(RegistryStore* store, std::u16string_view subkey, uint32_t root,
                     RegistryKey* key) {
  *key = RegistryKey{store, root, AnsiRoundTrip(subkey), false};
  if (store == nullptr) return Failure(kRegInvalidHandle);
  const long code = store->KeyExists(root, key->path);
  key->open = code == kRegOk;
  return code;
}

void CreateRegistryKey(RegistryStore* store, std::u16string_view subkey, uint32_t root) {
  if (store == nullptr) {
    SetLastSystemError(kRegInvalidHandle);
    throw MakeError(kErrCantPerform);
  }
  if (const long code = store->CreateKey(root, AnsiRoundTrip(subkey))) throw StoreError(code);
}

void SetRegistryValue(RegistryStore* store, std::u16string_view subkey, std::u16string_view name,
                      const RegistryData& value, long type, uint32_t root) {
  RegistryKey key;
  OpenRegistryKey(store, subkey, root, &key);  // a failed open fails the write below
  if (const long code = WriteValue(key, name, type, value)) throw StoreError(code);
}

RegistryData QueryRegistryValue(RegistryStore* store, std::u16string_view subkey,
                                std::u16string_view name, uint32_t root) {
  RegistryKey key;
  OpenRegistryKey(store, subkey, root, &key);  // a missing key shows as a failed read
  RegistryData value;
  if (const long code = ReadValue(key, name, &value)) throw StoreError(code);
  return value;
}

long WriteValue(const RegistryKey& key, std::u16string_view name, long type,
                const RegistryData& value) {
  RegistryValue data;
  switch (type) {
    case kRegString:
      data = RegistryValue::String(AnsiRoundTrip(RegistryDataText(value)));
      break;
    case kRegBinary:
    case kRegDword: {
      const uint32_t v = static_cast<uint32_t>(ToLong(value));
      data = RegistryValue::Dword(v);
      data.type = static_cast<uint32_t>(type);
      break;
    }
    default:
      return kRegOk;
  }
  if (!key.open || key.store == nullptr) return Failure(kRegInvalidHandle);
  return key.store->SetValue(key.root, key.path, AnsiRoundTrip(name), data);
}

long ReadValue(const RegistryKey& key, std::u16string_view name, RegistryData* value) {
  if (!key.open || key.store == nullptr) return Failure(kRegInvalidHandle);
  RegistryValue data;
  if (const long code = key.store->GetValue(key.root, key.path, AnsiRoundTrip(name), &data)) {
    return code;
  }
  switch (data.type) {
    case kRegString: {
      const std::u16string text = AnsiRoundTrip(data.text);
      *value = text.substr(0, text.find(u'\0'));
      return kRegOk;
    }
    case kRegBinary:
    case kRegDword: {
      if (data.bytes.size() > 4) return Failure(kRegMoreData);
      uint32_t v = 0;
      for (size_t i = 0; i < data.bytes.size(); ++i) v |= uint32_t{data.bytes[i]} << (8 * i);
      *value = static_cast<int32_t>(v);
      return kRegOk;
    }
    default:
      return -1;
  }
}

}  // namespace qnmuro
