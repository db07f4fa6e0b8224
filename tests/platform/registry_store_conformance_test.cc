// What every registry store backend does with keys and values: each type read back as written,
// names that ignore case, and the registry's codes for what is missing.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <iterator>
#include <memory>
#include <ostream>
#include <string>

#include "base/text.h"
#include "platform/registry_store.h"
#include "support/temp_dir.h"
#ifdef _WIN32
#include <windows.h>

#include "platform/services_win.h"
#else
#include "platform/services_posix.h"
#endif

namespace qnmuro {
namespace {

namespace fs = std::filesystem;

constexpr char16_t kKey[] = u"SOFTWARE\\zuzozer\\web-test";

struct Backend {
  const char* name;
  std::function<std::unique_ptr<RegistryStore>(const fs::path& dir)> open;
  std::function<void()> clean;  // removes the test key and what is below it
};

void PrintTo(const Backend& b, std::ostream* os) {
  *os << b.name;
}

#ifdef _WIN32
const Backend kBackends[] = {
    {"WindowsRegistry", [](const fs::path&) { return NewWindowsRegistryStore(); },
     [] { RegDeleteKeyExA(HKEY_LOCAL_MACHINE, U8(kKey).c_str(), KEY_WOW64_32KEY, 0); }},
};
#else
const Backend kBackends[] = {
    {"RegistryFile", [](const fs::path& dir) { return NewFileRegistryStore(dir / "registry.reg"); },
     [] {}},
};
#endif

class RegistryStoreConformanceTest : public testing::TestWithParam<Backend> {
 protected:
  void SetUp() override { ASSERT_EQ(store_->CreateKey(kHkeyLocalMachine, kKey), kRegOk); }
  void TearDown() override { GetParam().clean(); }

  std::u16string GetText(std::u16string_view name) {
    RegistryValue v;
    if (store_->GetValue(kHkeyLocalMachine, kKey, name, &v) != kRegOk) return u"<missing>";
    return v.text;
  }

  test_util::TempDir dir_;
  std::unique_ptr<RegistryStore> store_ = GetParam().open(dir_.path());
};

TEST_P(RegistryStoreConformanceTest, ValuesRoundTripByType) {
  const struct {
    const char16_t* name;
    RegistryValue value;
  } cases[] = {
      {u"CurrentUser", RegistryValue::String(u"zhang")},
      {u"CurrentFile", RegistryValue::String(u"公文.doc")},
      {u"", RegistryValue::String(u"default value")},
      {u"Empty", RegistryValue::String(u"")},
      {u"Count", RegistryValue::Dword(10)},
      {u"Blob", RegistryValue::Binary({1, 2, 0, 255})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(U8(c.name));
    ASSERT_EQ(store_->SetValue(kHkeyLocalMachine, kKey, c.name, c.value), kRegOk);
    RegistryValue read;
    ASSERT_EQ(store_->GetValue(kHkeyLocalMachine, kKey, c.name, &read), kRegOk);
    EXPECT_EQ(read, c.value);
  }
  RegistryValueList all;
  ASSERT_EQ(store_->ListValues(kHkeyLocalMachine, kKey, &all), kRegOk);
  EXPECT_EQ(all.size(), std::size(cases));
}

TEST_P(RegistryStoreConformanceTest, MissingThingsGiveTheRegistryCodes) {
  RegistryValue value;
  RegistryValueList values;
  const std::u16string absent = u"SOFTWARE\\zuzozer\\absent";
  EXPECT_EQ(store_->GetValue(kHkeyLocalMachine, kKey, u"sid", &value), kRegNotFound);
  EXPECT_EQ(store_->DeleteValue(kHkeyLocalMachine, kKey, u"sid"), kRegNotFound);
  EXPECT_EQ(store_->KeyExists(kHkeyLocalMachine, absent), kRegNotFound);
  EXPECT_EQ(store_->SetValue(kHkeyLocalMachine, absent, u"a", RegistryValue::String(u"b")),
            kRegNotFound);
  EXPECT_EQ(store_->ListValues(kHkeyLocalMachine, absent, &values), kRegNotFound);
  EXPECT_EQ(store_->GetValue(0x12345678, kKey, u"a", &value), kRegInvalidHandle);
  EXPECT_EQ(store_->CreateKey(0x12345678, kKey), kRegInvalidHandle);
  EXPECT_EQ(store_->KeyExists(kHkeyLocalMachine, u""), kRegOk);  // a root always exists
}

TEST_P(RegistryStoreConformanceTest, DeleteValueRemovesItOnlyWhateverTheCaseOfItsName) {
  store_->SetValue(kHkeyLocalMachine, kKey, u"a", RegistryValue::String(u"1"));
  store_->SetValue(kHkeyLocalMachine, kKey, u"b", RegistryValue::String(u"2"));
  EXPECT_EQ(store_->SetValue(kHkeyLocalMachine, kKey, u"B", RegistryValue::String(u"3")), kRegOk);
  EXPECT_EQ(GetText(u"b"), u"3");
  EXPECT_EQ(store_->DeleteValue(kHkeyLocalMachine, kKey, u"A"), kRegOk);
  EXPECT_EQ(store_->DeleteValue(kHkeyLocalMachine, kKey, u"a"), kRegNotFound);
  EXPECT_EQ(GetText(u"a"), u"<missing>");
  EXPECT_EQ(GetText(u"B"), u"3");
}

INSTANTIATE_TEST_SUITE_P(Backends, RegistryStoreConformanceTest, testing::ValuesIn(kBackends),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qnmuro
