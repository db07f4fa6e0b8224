// The registry store over the Windows registry, through its ANSI functions: key paths, value
// names and string data travel in the system's ANSI code page, as the OA client components
// that share the key write them.
#include <windows.h>

#include <string>

#include "base/error.h"
#include "base/text.h"
#include "platform/registry_store.h"
#include "platform/services_win.h"

namespace qnmuro {
namespace {

// Both builds use the 32-bit view, where the 32-bit OA client components and the 32-bit add-in
// keep their values. A key is opened with only the rights its use needs: a standard user may
// read the local machine's key but not write it, and a read must not ask for more.
constexpr REGSAM kReadAccess = KEY_READ | KEY_WOW64_32KEY;
constexpr REGSAM kWriteAccess = KEY_SET_VALUE | KEY_WOW64_32KEY;
constexpr REGSAM kCreateAccess = KEY_WRITE | KEY_WOW64_32KEY;

long Result(LONG code) {
  if (code != ERROR_SUCCESS) SetLastSystemError(code);
  return code;
}

// The root's handle, or nullptr for a code that names no root.
HKEY RootKey(uint32_t root) {
  if (RegistryRootName(root).empty()) return nullptr;
  return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(root)));
}

// Closes an open key on every path.
class Key {
 public:
  Key() = default;
  ~Key() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;

  // Opens an existing key with `access` (kReadAccess or kWriteAccess), or with kCreateAccess
  // creates it and its parents.
  long Open(uint32_t root, std::u16string_view path, REGSAM access) {
    const HKEY top = RootKey(root);
    if (top == nullptr) return Result(ERROR_INVALID_HANDLE);
    const std::string ansi = ToAnsi(path);
    if (access == kCreateAccess) {
      return Result(RegCreateKeyExA(top, ansi.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                    nullptr, &key_, nullptr));
    }
    return Result(RegOpenKeyExA(top, ansi.c_str(), 0, access, &key_));
  }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// A value's raw data as the ANSI functions return it, made into the store's form.
RegistryValue FromRaw(DWORD type, const std::string& data) {
  RegistryValue value;
  value.type = type;
  if (type == REG_SZ) {
    value.text = FromAnsi(std::string_view(data.c_str()));  // up to the first NUL
  } else {
    value.bytes.assign(data.begin(), data.end());
  }
  return value;
}

class WindowsRegistryStore final : public RegistryStore {
 public:
  long CreateKey(uint32_t root, std::u16string_view path) override {
    Key key;
    return key.Open(root, path, kCreateAccess);
  }

  long KeyExists(uint32_t root, std::u16string_view path) override {
    Key key;
    return key.Open(root, path, kReadAccess);
  }

  long GetValue(uint32_t root, std::u16string_view path, std::u16string_view name,
                RegistryValue* value) override {
    Key key;
    if (const long code = key.Open(root, path, kReadAccess)) return code;
    const std::string ansi = ToAnsi(name);
    DWORD type = 0;
    DWORD size = 0;
    // A value may grow between the size query and the read: ask again when it did.
    for (int attempt = 0; attempt < 4; ++attempt) {
      LONG code = RegQueryValueExA(key.get(), ansi.c_str(), nullptr, &type, nullptr, &size);
      if (code != ERROR_SUCCESS) return Result(code);
      std::string data(size, '\0');
      code = RegQueryValueExA(key.get(), ansi.c_str(), nullptr, &type,
                              reinterpret_cast<BYTE*>(data.data()), &size);
      if (code == ERROR_MORE_DATA) continue;
      if (code != ERROR_SUCCESS) return Result(code);
      data.resize(size);
      *value = FromRaw(type, data);
      return kRegOk;
    }
    return Result(ERROR_MORE_DATA);
  }

  long SetValue(uint32_t root, std::u16string_view path, std::u16string_view name,
                const RegistryValue& value) override {
    Key key;
    if (const long code = key.Open(root, path, kWriteAccess)) return code;
    std::string data;
    if (value.type == kRegString) {
      data = ToAnsi(value.text);
      data.push_back('\0');
    } else {
      data.assign(value.bytes.begin(), value.bytes.end());
    }
    return Result(RegSetValueExA(key.get(), ToAnsi(name).c_str(), 0, value.type,
                                 reinterpret_cast<const BYTE*>(data.data()),
                                 static_cast<DWORD>(data.size())));
  }

  long DeleteValue(uint32_t root, std::u16string_view path, std::u16string_view name) override {
    Key key;
    if (const long code = key.Open(root, path, kWriteAccess)) return code;
    return Result(RegDeleteValueA(key.get(), ToAnsi(name).c_str()));
  }

  long ListValues(uint32_t root, std::u16string_view path, RegistryValueList* values) override {
    Key key;
    if (const long code = key.Open(root, path, kReadAccess)) return code;
    DWORD max_name = 0;
    DWORD max_data = 0;
    if (const LONG code =
            RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, &max_name, &max_data, nullptr, nullptr)) {
      return Result(code);
    }
    RegistryValueList list;
    for (DWORD index = 0;; ++index) {
      std::string name(max_name + 1, '\0');
      std::string data(max_data, '\0');
      DWORD name_size = max_name + 1;
      DWORD data_size = max_data;
      DWORD type = 0;
      const LONG code = RegEnumValueA(key.get(), index, name.data(), &name_size, nullptr, &type,
                                      reinterpret_cast<BYTE*>(data.data()), &data_size);
      if (code == ERROR_NO_MORE_ITEMS) break;
      if (code != ERROR_SUCCESS) return Result(code);
      name.resize(name_size);
      data.resize(data_size);
      list.emplace_back(FromAnsi(name), FromRaw(type, data));
    }
    *values = std::move(list);
    return kRegOk;
  }
};

}  // namespace

std::unique_ptr<RegistryStore> NewWindowsRegistryStore() {
  return std::make_unique<WindowsRegistryStore>();
}

}  // namespace qnmuro
