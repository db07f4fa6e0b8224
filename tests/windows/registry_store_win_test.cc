// The Windows registry store against the real registry (the test prefix's under Wine), where it
// is its own: the code page of its strings and keys that may only be read. What every store
// does is in platform/registry_store_conformance_test.cc.
#include <windows.h>
// After windows.h, whose types it uses.
#include <sddl.h>

#include <gtest/gtest.h>

#include "base/text.h"
#include "platform/registry_store.h"
#include "platform/services_win.h"

namespace qnmuro {
namespace {

constexpr char16_t kKey[] = u"SOFTWARE\\zuzozer\\web-test";

class WindowsRegistryStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(store_->CreateKey(kHkeyLocalMachine, kKey), kRegOk); }
  void TearDown() override {
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, U8(kKey).c_str(), KEY_WOW64_32KEY, 0);
  }

  std::unique_ptr<RegistryStore> store_ = NewWindowsRegistryStore();
};

TEST_F(WindowsRegistryStoreTest, StringsAreStoredInTheAnsiCodePageWithTheirNul) {
  ASSERT_EQ(
      store_->SetValue(kHkeyLocalMachine, kKey, u"CurrentFile", RegistryValue::String(u"公文.doc")),
      kRegOk);
  HKEY key = nullptr;
  ASSERT_EQ(
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, U8(kKey).c_str(), 0, KEY_READ | KEY_WOW64_32KEY, &key),
      ERROR_SUCCESS);
  char data[64] = {};
  DWORD size = sizeof data;
  DWORD type = 0;
  EXPECT_EQ(
      RegQueryValueExA(key, "CurrentFile", nullptr, &type, reinterpret_cast<BYTE*>(data), &size),
      ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(std::string(data, size), ToAnsi(u"公文.doc") + std::string(1, '\0'));
}

// A key that everyone may read (and delete) but not write, as the local machine's key is for a
// standard user: reads succeed, writes are refused with the registry's own code.
TEST_F(WindowsRegistryStoreTest, AKeyThatMayOnlyBeReadIsReadWithoutAskingToWrite) {
  const std::u16string path = std::u16string(kKey) + u"\\read-only";
  ASSERT_EQ(store_->CreateKey(kHkeyLocalMachine, path), kRegOk);
  ASSERT_EQ(
      store_->SetValue(kHkeyLocalMachine, path, u"CurrentFile", RegistryValue::String(u"公文.doc")),
      kRegOk);
  HKEY key = nullptr;
  ASSERT_EQ(
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, U8(path).c_str(), 0, WRITE_DAC | KEY_WOW64_32KEY, &key),
      ERROR_SUCCESS);
  PSECURITY_DESCRIPTOR readers = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
      "D:P(A;;KR;;;WD)(A;;SD;;;WD)", SDDL_REVISION_1, &readers, nullptr));
  EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, readers), ERROR_SUCCESS);
  LocalFree(readers);
  RegCloseKey(key);
  // Asking for the rights to write is refused now.
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, U8(path).c_str(), 0, 0x3F | KEY_WOW64_32KEY, &key),
            ERROR_ACCESS_DENIED);

  RegistryValue value;
  RegistryValueList values;
  EXPECT_EQ(store_->KeyExists(kHkeyLocalMachine, path), kRegOk);
  EXPECT_EQ(store_->GetValue(kHkeyLocalMachine, path, u"CurrentFile", &value), kRegOk);
  EXPECT_EQ(value, RegistryValue::String(u"公文.doc"));
  EXPECT_EQ(store_->ListValues(kHkeyLocalMachine, path, &values), kRegOk);
  EXPECT_EQ(values.size(), 1u);
  EXPECT_EQ(store_->SetValue(kHkeyLocalMachine, path, u"CurrentFile", RegistryValue::String(u"")),
            kRegAccessDenied);
  EXPECT_EQ(store_->DeleteValue(kHkeyLocalMachine, path, u"CurrentFile"), kRegAccessDenied);
  EXPECT_EQ(RegDeleteKeyExA(HKEY_LOCAL_MACHINE, U8(path).c_str(), KEY_WOW64_32KEY, 0),
            ERROR_SUCCESS);
}

}  // namespace
}  // namespace qnmuro
