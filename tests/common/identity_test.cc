#include "common/identity.h"

#include <gtest/gtest.h>

#include "base/error.h"
#include "base/text.h"
#include "common/cipher.h"
#include "common/context.h"
#include "common/shared_state.h"
#include "common/velto_log.h"
#include "platform/clock.h"
#include "platform/registry_store.h"
#include "platform/services_posix.h"
#include "platform/ui.h"
#include "support/event_log.h"
#include "support/temp_dir.h"

namespace qnmuro {
namespace {

using test_util::ReadBytes;
using test_util::TempDir;

class IdentityTest : public ::testing::Test {
 protected:
  IdentityTest()
      : clock_(NewVirtualClock(FromLocalTime(LocalTime{2026, 3, 4, 5, 6, 7}))),
        store_(NewFileRegistryStore(dir_ / "registry.reg")) {
    state_.eventLog = std::make_unique<VeltoLog>(dir_.path().u16string(), clock_.get(),
                                                 &state_.records.commonInfo.clientLog);
    ctx_.state = &state_;
    ctx_.ui = &ui_;
    ctx_.clock = clock_.get();
    ctx_.registry = store_.get();
  }

  // Writes a value as another component of the OA system would (Unicode, no ANSI step).
  void External(std::u16string_view name, std::u16string_view text) {
    ASSERT_EQ(store_->CreateKey(kHkeyLocalMachine, kIdentityKey), kRegOk);
    ASSERT_EQ(store_->SetValue(kHkeyLocalMachine, kIdentityKey, name,
                               RegistryValue::String(std::u16string(text))),
              kRegOk);
  }
  std::optional<std::u16string> Stored(std::u16string_view name) {
    RegistryValue v;
    if (store_->GetValue(kHkeyLocalMachine, kIdentityKey, name, &v) != kRegOk) return std::nullopt;
    return v.text;
  }
  std::u16string Log() { return test_util::ReadEventLog(dir_.path()); }
  size_t Prompts() const {
    size_t n = 0;
    for (const UiRecord& r : ui_.records()) n += r.kind == UiRecord::Kind::kInput;
    return n;
  }

  TempDir dir_;
  std::unique_ptr<VirtualClock> clock_;
  std::unique_ptr<RegistryStore> store_;
  ScriptedUi ui_;
  SharedState state_;
  Context ctx_;
};

TEST_F(IdentityTest, MissingValuesAreEmptyWithoutErrorLines) {
  EXPECT_EQ(GetCurrentUser(ctx_), u"");
  EXPECT_EQ(GetCurrentFile(ctx_), u"");
  EXPECT_EQ(GetSessionCookie(ctx_), u"");
  External(u"other", u"x");
  EXPECT_EQ(GetCurrentUser(ctx_), u"");
  EXPECT_EQ(Log().find(u"#1"), std::u16string::npos);
}

TEST_F(IdentityTest, ReadsWhatOtherComponentsWrote) {
  External(u"CurrentUser", u"张三");
  External(u"CurrentFile", u"公文.doc");
  External(u"sid", u"SessionID=abc123");
  EXPECT_EQ(GetCurrentUser(ctx_), u"张三");
  EXPECT_EQ(GetCurrentFile(ctx_), u"公文.doc");
  EXPECT_EQ(GetSessionCookie(ctx_), u"SessionID=abc123");
}

TEST_F(IdentityTest, SetCurrentFileWritesAndClears) {
  External(u"CurrentFile", u"a.doc");
  SetCurrentFile(ctx_, u"b.doc");
  EXPECT_EQ(GetCurrentFile(ctx_), u"b.doc");
  SetCurrentFile(ctx_, u"");
  EXPECT_EQ(Stored(u"CurrentFile"), std::optional<std::u16string>(u""));
}

TEST_F(IdentityTest, SetCurrentFileNeedsTheKey) {
  SetCurrentFile(ctx_, u"a.doc");  // failure ignored: the key is not created
  EXPECT_EQ(store_->KeyExists(kHkeyLocalMachine, kIdentityKey), kRegNotFound);
}

TEST_F(IdentityTest, SavedPasswordIsStoredEnciphered) {
  EXPECT_TRUE(SaveUserPassword(ctx_, u"zhang", u"abc"));
  EXPECT_EQ(Stored(u"zhang"), std::optional<std::u16string>(u"505A50"));
}

TEST_F(IdentityTest, StoredPasswordIsReturnedAsStored) {
  External(u"li", u"425D5031564D740B75");
  EXPECT_EQ(GetUserPassword(ctx_, u"li"), u"425D5031564D740B75");
  EXPECT_EQ(Prompts(), 0u);
}

TEST_F(IdentityTest, FirstRequestAsksOnceAndStoresTheEncipheredForm) {
  ui_.QueueInput(u"secret123");
  EXPECT_EQ(GetUserPassword(ctx_, u"wang"), u"425D5031564D740B75");
  ASSERT_EQ(ui_.records().size(), 1u);
  EXPECT_EQ(ui_.records()[0].kind, UiRecord::Kind::kInput);
  EXPECT_EQ(ui_.records()[0].title, u"QNSoft");
  EXPECT_EQ(ui_.records()[0].text,
            u"请为初次使用本系统输入您的访问密码，这个密码必须和您访问办公系统的密码一样：");
  EXPECT_EQ(Stored(u"wang"), std::optional<std::u16string>(u"425D5031564D740B75"));
  EXPECT_EQ(GetUserPassword(ctx_, u"wang"), u"425D5031564D740B75");
  EXPECT_EQ(Prompts(), 1u);
}

TEST_F(IdentityTest, CancelOrEmptyAnswerStoresNothingAndAsksAgain) {
  ui_.QueueInput(std::nullopt);
  EXPECT_EQ(GetUserPassword(ctx_, u"zhao"), u"");
  ui_.QueueInput(u"");
  EXPECT_EQ(GetUserPassword(ctx_, u"zhao"), u"");
  EXPECT_EQ(Prompts(), 2u);
  EXPECT_EQ(Stored(u"zhao"), std::nullopt);
}

TEST_F(IdentityTest, EmptyStoredValueCountsAsNone) {
  External(u"qian", u"");
  ui_.QueueInput(u"abc");
  EXPECT_EQ(GetUserPassword(ctx_, u"qian"), u"505A50");
  EXPECT_EQ(Prompts(), 1u);
}

TEST_F(IdentityTest, EmptyUserNameUsesTheDefaultValue) {
  ui_.QueueInput(u"abc");
  EXPECT_EQ(GetUserPassword(ctx_, u""), u"505A50");
  EXPECT_NE(ReadBytes(dir_ / "registry.reg").find("\n@=\"505A50\"\n"), std::string::npos);
  EXPECT_EQ(GetUserPassword(ctx_, u""), u"505A50");
  EXPECT_EQ(Prompts(), 1u);
}

TEST_F(IdentityTest, UnexpectedErrorIsLoggedAndGivesEmpty) {
  ctx_.ui = nullptr;
  EXPECT_EQ(GetUserPassword(ctx_, u"sun"), u"");
  // The failed read of the missing value left its code as the last system error.
  EXPECT_NE(Log().find(u"#1： GetUserPassword(Name) Error:Object variable or With block variable "
                       u"not set(91:" +
                       ToText(LastSystemError()) + u") Err.Source=QNMuroWPS Err.Number=91\r\n"),
            std::u16string::npos)
      << U8(Log());
}

TEST_F(IdentityTest, WithoutARegistryEverythingFailsQuietly) {
  ctx_.registry = nullptr;
  EXPECT_EQ(GetCurrentUser(ctx_), u"");
  SetCurrentFile(ctx_, u"x");
  EXPECT_TRUE(SaveUserPassword(ctx_, u"a", u"b"));
  ui_.QueueInput(u"abc");
  EXPECT_EQ(GetUserPassword(ctx_, u"a"), u"505A50");
  ui_.QueueInput(u"abc");
  EXPECT_EQ(GetUserPassword(ctx_, u"a"), u"505A50");  // nothing kept: asks again
  EXPECT_EQ(Prompts(), 2u);
  EXPECT_EQ(Log().find(u"#1"), std::u16string::npos);
}

TEST_F(IdentityTest, UnwritableRegistryKeepsNoPassword) {
  test_util::WriteBytes(dir_ / "file", "x");
  const auto store = NewFileRegistryStore(dir_ / "file" / "registry.reg");
  ctx_.registry = store.get();
  ui_.QueueInput(u"abc");
  ui_.QueueInput(u"abc");
  EXPECT_EQ(GetUserPassword(ctx_, u"a"), u"505A50");
  EXPECT_EQ(GetUserPassword(ctx_, u"a"), u"505A50");
  EXPECT_EQ(Prompts(), 2u);
}

TEST_F(IdentityTest, CorruptRegistryFileStillGivesItsGoodValues) {
  test_util::WriteBytes(dir_ / "registry.reg",
                        "\x01\x02\xFF garbage\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\zuzozer\\web]\n"
                        "\"CurrentUser\"=\"zhou\"\n\"CurrentFile\"=\"unterminated\n");
  EXPECT_EQ(GetCurrentUser(ctx_), u"zhou");
  EXPECT_EQ(GetCurrentFile(ctx_), u"");
  EXPECT_TRUE(SaveUserPassword(ctx_, u"zhou", u"abc"));
  EXPECT_EQ(GetUserPassword(ctx_, u"zhou"), u"505A50");
  EXPECT_EQ(GetCurrentUser(ctx_), u"zhou");
  EXPECT_EQ(ReadBytes(dir_ / "registry.reg").rfind("\x01\x02\xFF garbage\n", 0), 0u);
}

}  // namespace
}  // namespace qnmuro
