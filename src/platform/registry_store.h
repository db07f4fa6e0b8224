// The registry store: a persistent tree of keys holding named, typed values, standing in for
// the Windows registry where there is none. Key paths are "\"-separated below a root
// (HKEY_LOCAL_MACHINE and friends, by their Windows codes); key paths and value names compare
// without regard to ASCII case and keep the case they were created with. The empty value name
// is the key's unnamed default value.
//
// The store holds text as Unicode, as the registry does; code-page conversion is the business
// of the callers (the Registry module converts at its ANSI boundary).
//
// Every operation returns a Windows-style result code: 0 for success, kRegNotFound when the
// key or value is missing, kRegInvalidHandle for an unknown root, kRegAccessDenied when the
// backing storage refuses access, kRegBadStorage when it is no usable file, kRegLockTimeout
// when another program keeps it locked, kRegCantRead / kRegCantWrite for other storage
// failures. On failure the thread's last system error (base/error.h) is set: errno for
// storage failures, the result code otherwise.
//
// Implementations must be safe against other processes using the same storage at the same
// time: no write may lose another writer's value. One store object is used from one thread.
#ifndef QNMURO_PLATFORM_REGISTRY_STORE_H_
#define QNMURO_PLATFORM_REGISTRY_STORE_H_

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qnmuro {

// Root codes.
inline constexpr uint32_t kHkeyClassesRoot = 0x80000000;
inline constexpr uint32_t kHkeyCurrentUser = 0x80000001;
inline constexpr uint32_t kHkeyLocalMachine = 0x80000002;
inline constexpr uint32_t kHkeyUsers = 0x80000003;
inline constexpr uint32_t kHkeyCurrentConfig = 0x80000005;

// Value type codes.
inline constexpr uint32_t kRegString = 1;
inline constexpr uint32_t kRegExpandString = 2;
inline constexpr uint32_t kRegBinary = 3;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegMultiString = 7;

// Result codes (the platform's).
inline constexpr long kRegOk = 0;
inline constexpr long kRegNotFound = 2;
inline constexpr long kRegAccessDenied = 5;
inline constexpr long kRegInvalidHandle = 6;
inline constexpr long kRegMoreData = 234;
inline constexpr long kRegCantRead = 1012;
inline constexpr long kRegCantWrite = 1013;
// The storage is not a file the store may use (a device, a folder, a link to nothing).
inline constexpr long kRegBadStorage = 1009;
// Another program kept the storage locked for longer than the store waits.
inline constexpr long kRegLockTimeout = 1460;

// One value. A string (type 1) is held as text; every other type as its raw bytes (a DWORD
// is 4 bytes, little-endian).
struct RegistryValue {
  uint32_t type = kRegString;
  std::u16string text;
  std::vector<uint8_t> bytes;

  static RegistryValue String(std::u16string text);
  static RegistryValue Dword(uint32_t value);
  static RegistryValue Binary(std::vector<uint8_t> bytes);
  bool operator==(const RegistryValue&) const = default;
};

using RegistryValueList = std::vector<std::pair<std::u16string, RegistryValue>>;

class RegistryStore {
 public:
  virtual ~RegistryStore() = default;

  // Creates the key (and, implicitly, its parents) if missing. Creating an existing key
  // succeeds and changes nothing.
  virtual long CreateKey(uint32_t root, std::u16string_view path) = 0;
  // 0 when the key exists (a root always does), kRegNotFound when not.
  virtual long KeyExists(uint32_t root, std::u16string_view path) = 0;
  // Reads one value into *value; kRegNotFound when the key or the value is missing.
  virtual long GetValue(uint32_t root, std::u16string_view path, std::u16string_view name,
                        RegistryValue* value) = 0;
  // Writes one value under an existing key (kRegNotFound when the key is missing), replacing
  // a value of the same name.
  virtual long SetValue(uint32_t root, std::u16string_view path, std::u16string_view name,
                        const RegistryValue& value) = 0;
  // Removes one value; kRegNotFound when it is missing.
  virtual long DeleteValue(uint32_t root, std::u16string_view path, std::u16string_view name) = 0;
  // All values of a key in stored order; kRegNotFound when the key is missing.
  virtual long ListValues(uint32_t root, std::u16string_view path, RegistryValueList* values) = 0;
};

// The registry file: QNMURO_REGISTRY, or ~/.config/qnmuro/registry.reg when unset.
std::filesystem::path DefaultRegistryPath();

// How long a write waits for another program's lock on the registry file by default.
inline constexpr std::chrono::milliseconds kRegistryLockWait{10000};

// Why an operation failed, for messages, when its result code says more than the system
// error does ("the registry file is locked by another program"); empty otherwise.
std::u16string RegistryResultText(long code);

// Root names as .reg files write them ("HKEY_LOCAL_MACHINE"); empty for an unknown code.
std::u16string RegistryRootName(uint32_t root);
// The code of a root name (long form, or HKLM / HKCU / HKCR / HKU / HKCC); nullopt if unknown.
std::optional<uint32_t> RegistryRootFromName(std::u16string_view name);

// The .reg text of one value line, UTF-8: "name"="data", @="data", "n"=dword:0000000a,
// "n"=hex:01,02, "n"=hex(2):..; strings with control characters are written as hex(1).
std::string FormatRegistryValueLine(std::u16string_view name, const RegistryValue& value);
// Only the data part of that line ("\"data\"", "dword:0000000a", ...).
std::string FormatRegistryData(const RegistryValue& value);

}  // namespace qnmuro

#endif  // QNMURO_PLATFORM_REGISTRY_STORE_H_
