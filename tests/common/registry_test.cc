#include "common/registry.h"

#include <gtest/gtest.h>

#include <functional>

#include "base/error.h"
#include "platform/services_posix.h"
#include "support/temp_dir.h"

namespace qnmuro {
namespace {

using test_util::TempDir;

constexpr char16_t kKey[] = u"SOFTWARE\\zuzozer\\web";

long ErrorNumberOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.number();
  }
  return 0;
}

class RegistryTest : public ::testing::Test {
 protected:
  RegistryTest() : store_(NewFileRegistryStore(dir_ / "registry.reg")) {}

  RegistryKey OpenKey() {
    RegistryKey key;
    EXPECT_EQ(OpenRegistryKey(store_.get(), kKey, kHkeyLocalMachine, &key), kRegOk);
    return key;
  }

  TempDir dir_;
  std::unique_ptr<RegistryStore> store_;
};

TEST_F(RegistryTest, StringWrittenReadsBack) {
  CreateRegistryKey(store_.get(), kKey, kHkeyLocalMachine);
  SetRegistryValue(store_.get(), kKey, u"CurrentFile", std::u16string(u"公文.doc"), kRegString,
                   kHkeyLocalMachine);
  EXPECT_EQ(QueryRegistryValue(store_.get(), kKey, u"CurrentFile", kHkeyLocalMachine),
            RegistryData(u"公文.doc"));
  const RegistryKey key = OpenKey();
  RegistryData value;
  EXPECT_EQ(WriteValue(key, u"n", kRegString, int32_t{42}), kRegOk);
  EXPECT_EQ(ReadValue(key, u"n", &value), kRegOk);
  EXPECT_EQ(value, RegistryData(u"42"));
}

TEST_F(RegistryTest, StringReadsBackUpToItsFirstNul) {
  CreateRegistryKey(store_.get(), kKey, kHkeyLocalMachine);
  const RegistryKey key = OpenKey();
  ASSERT_EQ(WriteValue(key, u"s", kRegString, std::u16string(u"ab\0cd", 5)), kRegOk);
  RegistryData value;
  ASSERT_EQ(ReadValue(key, u"s", &value), kRegOk);
  EXPECT_EQ(value, RegistryData(u"ab"));
}

TEST_F(RegistryTest, IntegersAreFourBytesOfTheirType) {
  CreateRegistryKey(store_.get(), kKey, kHkeyLocalMachine);
  const RegistryKey key = OpenKey();
  ASSERT_EQ(WriteValue(key, u"d", kRegDword, int32_t{-2}), kRegOk);
  ASSERT_EQ(WriteValue(key, u"b", kRegBinary, std::u16string(u" 7.5 ")), kRegOk);
  RegistryValue raw;
  ASSERT_EQ(store_->GetValue(kHkeyLocalMachine, kKey, u"d", &raw), kRegOk);
  EXPECT_EQ(raw, RegistryValue::Dword(0xFFFFFFFE));
  ASSERT_EQ(store_->GetValue(kHkeyLocalMachine, kKey, u"b", &raw), kRegOk);
  EXPECT_EQ(raw, RegistryValue::Binary({8, 0, 0, 0}));  // 7.5 rounds half to even
  RegistryData value;
  ASSERT_EQ(ReadValue(key, u"d", &value), kRegOk);
  EXPECT_EQ(value, RegistryData(int32_t{-2}));
  ASSERT_EQ(ReadValue(key, u"b", &value), kRegOk);
  EXPECT_EQ(value, RegistryData(int32_t{8}));
}

TEST_F(RegistryTest, ConversionFailuresAreRunTimeErrors) {
  CreateRegistryKey(store_.get(), kKey, kHkeyLocalMachine);
  const RegistryKey key = OpenKey();
  EXPECT_EQ(ErrorNumberOf([&] { WriteValue(key, u"d", kRegDword, std::u16string(u"abc")); }),
            kErrTypeMismatch);
  EXPECT_EQ(ErrorNumberOf([&] { WriteValue(key, u"d", kRegDword, std::u16string(u"")); }),
            kErrTypeMismatch);
  EXPECT_EQ(ErrorNumberOf([&] { WriteValue(key, u"d", kRegDword, std::u16string(u"2147483648")); }),
            kErrOverflow);
  EXPECT_EQ(
      ErrorNumberOf([&] { WriteValue(key, u"d", kRegDword, std::u16string(u"-2147483648")); }), 0);
}

TEST_F(RegistryTest, OtherTypesAreNotWrittenAndNotRead) {
  CreateRegistryKey(store_.get(), kKey, kHkeyLocalMachine);
  const RegistryKey key = OpenKey();
  EXPECT_EQ(WriteValue(key, u"x", 7, std::u16string(u"ignored")), kRegOk);
  RegistryValue raw;
  EXPECT_EQ(store_->GetValue(kHkeyLocalMachine, kKey, u"x", &raw), kRegNotFound);
  RegistryValue expand;
  expand.type = kRegExpandString;
  expand.bytes = {'a', 0, 0, 0};
  ASSERT_EQ(store_->SetValue(kHkeyLocalMachine, kKey, u"e", expand), kRegOk);
  RegistryData value = std::u16string(u"unchanged");
  EXPECT_EQ(ReadValue(key, u"e", &value), -1);
  ASSERT_EQ(
      store_->SetValue(kHkeyLocalMachine, kKey, u"long", RegistryValue::Binary({1, 2, 3, 4, 5})),
      kRegOk);
  EXPECT_EQ(ReadValue(key, u"long", &value), kRegMoreData);
  EXPECT_EQ(value, RegistryData(u"unchanged"));
  EXPECT_EQ(ErrorNumberOf([&] { QueryRegistryValue(store_.get(), kKey, u"e", kHkeyLocalMachine); }),
            kErrCantPerform);
}

TEST_F(RegistryTest, MissingKeyOrValueRaisesError17) {
  EXPECT_EQ(ErrorNumberOf(
                [&] { QueryRegistryValue(store_.get(), kKey, u"CurrentUser", kHkeyLocalMachine); }),
            kErrCantPerform);
  EXPECT_EQ(ErrorNumberOf([&] {
              SetRegistryValue(store_.get(), kKey, u"a", std::u16string(u"x"), kRegString,
                               kHkeyLocalMachine);
            }),
            kErrCantPerform);
  CreateRegistryKey(store_.get(), kKey, kHkeyLocalMachine);
  EXPECT_EQ(ErrorNumberOf(
                [&] { QueryRegistryValue(store_.get(), kKey, u"CurrentUser", kHkeyLocalMachine); }),
            kErrCantPerform);
  RegistryKey closed;
  EXPECT_EQ(OpenRegistryKey(store_.get(), u"SOFTWARE\\nothing", kHkeyLocalMachine, &closed),
            kRegNotFound);
  RegistryData value;
  EXPECT_EQ(ReadValue(closed, u"a", &value), kRegInvalidHandle);
  EXPECT_EQ(WriteValue(closed, u"a", kRegString, std::u16string(u"x")), kRegInvalidHandle);
}

TEST_F(RegistryTest, NoStoreRaisesError17) {
  EXPECT_EQ(ErrorNumberOf([] { CreateRegistryKey(nullptr, kKey, kHkeyLocalMachine); }),
            kErrCantPerform);
  EXPECT_EQ(ErrorNumberOf([] {
              SetRegistryValue(nullptr, kKey, u"a", int32_t{1}, kRegDword, kHkeyLocalMachine);
            }),
            kErrCantPerform);
  EXPECT_EQ(ErrorNumberOf([] { QueryRegistryValue(nullptr, kKey, u"a", kHkeyLocalMachine); }),
            kErrCantPerform);
}

TEST_F(RegistryTest, UnwritableStoreRaisesError17) {
  test_util::WriteBytes(dir_ / "file", "x");
  const auto store = NewFileRegistryStore(dir_ / "file" / "registry.reg");
  EXPECT_EQ(ErrorNumberOf([&] { CreateRegistryKey(store.get(), kKey, kHkeyLocalMachine); }),
            kErrCantPerform);
}

TEST_F(RegistryTest, TextCrossesTheAnsiBoundary) {
  CreateRegistryKey(store_.get(), kKey, kHkeyLocalMachine);
  // What the add-in writes is what an ANSI program could write: Thai becomes "?".
  SetRegistryValue(store_.get(), kKey, u"t", std::u16string(u"a\u0E01公"), kRegString,
                   kHkeyLocalMachine);
  RegistryValue raw;
  ASSERT_EQ(store_->GetValue(kHkeyLocalMachine, kKey, u"t", &raw), kRegOk);
  EXPECT_EQ(raw.text, u"a?公");
  // What another program wrote in Unicode is read as an ANSI program would see it.
  ASSERT_EQ(
      store_->SetValue(kHkeyLocalMachine, kKey, u"CurrentUser", RegistryValue::String(u"\u0E01李")),
      kRegOk);
  EXPECT_EQ(QueryRegistryValue(store_.get(), kKey, u"CurrentUser", kHkeyLocalMachine),
            RegistryData(u"?李"));
  // Value names too.
  SetRegistryValue(store_.get(), kKey, u"\u0E01", std::u16string(u"v"), kRegString,
                   kHkeyLocalMachine);
  EXPECT_EQ(store_->GetValue(kHkeyLocalMachine, kKey, u"?", &raw), kRegOk);
}

}  // namespace
}  // namespace qnmuro
