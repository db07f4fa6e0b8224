#include "common/identity.h"

#include <optional>

#include "base/error.h"
#include "common/cipher.h"
#include "common/context.h"
#include "common/records.h"
#include "common/registry.h"
#include "common/velto_log.h"
#include "platform/ui.h"

namespace qnmuro {
namespace {

// A string value of the identity key, or the empty text on any failure.
std::u16string ReadIdentityValue(const Context& ctx, std::u16string_view name) {
  std::u16string text;
  IgnoreFailure([&] {
    text =
        RegistryDataText(QueryRegistryValue(ctx.registry, kIdentityKey, name, kHkeyLocalMachine));
  });
  return text;
}

}  // namespace

std::u16string GetCurrentUser(const Context& ctx) {
  return ReadIdentityValue(ctx, u"CurrentUser");
}

std::u16string GetCurrentFile(const Context& ctx) {
  return ReadIdentityValue(ctx, u"CurrentFile");
}

bool SetCurrentFile(const Context& ctx, std::u16string_view text) {
  return IgnoreFailure([&] {
    SetRegistryValue(ctx.registry, kIdentityKey, u"CurrentFile", std::u16string(text), kRegString,
                     kHkeyLocalMachine);
  });
}

std::u16string GetSessionCookie(const Context& ctx) {
  return ReadIdentityValue(ctx, u"sid");
}

bool SaveUserPassword(const Context& ctx, std::u16string_view user_name,
                      std::u16string_view password) {
  IgnoreFailure([&] { CreateRegistryKey(ctx.registry, kIdentityKey, kHkeyLocalMachine); });
  IgnoreFailure([&] {
    SetRegistryValue(ctx.registry, kIdentityKey, user_name, EncryptString(ctx, password),
                     kRegString, kHkeyLocalMachine);
  });
  return true;
}

std::u16string GetUserPassword(const Context& ctx, std::u16string_view user_name) {
  std::u16string result;
  TrapFirstFailure(
      [&] {
        // A missing key, a missing value and an empty value all mean "none stored".
        const std::u16string stored = ReadIdentityValue(ctx, user_name);
        if (!stored.empty()) {
          result = stored;
          return;
        }
        if (ctx.ui == nullptr) throw MakeError(kErrObjectNotSet);
        const std::optional<std::u16string> typed =
            ctx.ui->AskText(kPasswordPrompt, kPasswordPromptTitle, u"");
        if (!typed || typed->empty()) return;
        SaveUserPassword(ctx, user_name, *typed);
        result = EncryptString(ctx, *typed);
      },
      [&](const Error& e) {
        result.clear();
        WriteErrorLog(ctx.state, ComposeErrorReport(u"GetUserPassword(Name) Error:", u"", e), &e);
      });
  return result;
}

Login ControlFileLogin(const Context& ctx, const CommonInfo& common) {
  Login login{common.name, common.password};
  if (login.user.empty()) login.user = GetCurrentUser(ctx);
  if (login.password.empty()) login.password = GetUserPassword(ctx, login.user);
  return login;
}

}  // namespace qnmuro
