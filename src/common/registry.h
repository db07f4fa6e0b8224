// The Registry module: the add-in's thin access layer over the registry store, shaped like the
// ANSI registry functions it stands for.
//
// The ANSI boundary: key paths, value names and string data pass through the system ANSI code
// page on their way in and out (text -> ANSI bytes -> text), exactly as the ANSI registry
// functions convert to and from the registry's own Unicode. So a character the code page lacks
// is stored and read back as "?", and other components that write Unicode (the qnmuro command,
// another program) are read the way the add-in would see them on Windows.
//
// Failure styles: CreateRegistryKey, SetRegistryValue and QueryRegistryValue raise run-time
// error 17 when the store reports failure; WriteValue and ReadValue return the store's result
// code (0 for success). A value that cannot be converted to the requested type raises error
// 13 (not a number) or 6 (out of range), as the host's conversions do.
#ifndef QNMURO_COMMON_REGISTRY_H_
#define QNMURO_COMMON_REGISTRY_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "platform/registry_store.h"

namespace qnmuro {

// The access mask every key is opened and created with (query, set, create subkey, enumerate
// subkeys, notify, create link); kept for the Windows build, the store needs none.
inline constexpr long kRegistryAccess = 0x3F;

// A value as the procedures hand it around: a text or a 32-bit integer.
using RegistryData = std::variant<std::u16string, int32_t>;

// The value as text (an integer in decimal).
std::u16string RegistryDataText(const RegistryData& data);

// An open key. `open` is false when opening failed; the value procedures then fail on it as
// on an invalid handle (result 6).
struct RegistryKey {
  RegistryStore* store = nullptr;
  uint32_t root = 0;
  std::u16string path;
  bool open = false;
};

// Opens an existing key; returns the store's result code (the key is not open unless 0).
long OpenRegistryKey(RegistryStore* store, std::u16string_view subkey, uint32_t root,
                     RegistryKey* key);

// Creates the key if it does not exist. Raises error 17 on failure.
void CreateRegistryKey(RegistryStore* store, std::u16string_view subkey, uint32_t root);

// Opens the existing key and writes one value of type `type`. Raises error 17 when the key
// is missing or the write fails.
void SetRegistryValue(RegistryStore* store, std::u16string_view subkey, std::u16string_view name,
                      const RegistryData& value, long type, uint32_t root);

// Reads one value. Raises error 17 when the key or value is missing, the read fails or the
// value has a type the module does not read.
RegistryData QueryRegistryValue(RegistryStore* store, std::u16string_view subkey,
                                std::u16string_view name, uint32_t root);

// Writes one value. Type 1: the value's text as a string (a text with
// NULs is stored whole and read back up to its first NUL). Types 3 and 4: the value as a
// 32-bit integer, as 4 bytes of that type. Any other type: nothing is written, result 0.
long WriteValue(const RegistryKey& key, std::u16string_view name, long type,
                const RegistryData& value);

// Reads one value into *value. Type 1: the text up to its first NUL. Types 3 and 4: the
// 32-bit integer of its (at most 4) bytes; more bytes give 234. Any other type: -1. On
// failure *value is left unchanged.
long ReadValue(const RegistryKey& key, std::u16string_view name, RegistryData* value);

}  // namespace qnmuro

#endif  // QNMURO_COMMON_REGISTRY_H_
