// The identity values the add-in shares with the other client components of the OA system
// through one registry key: the logged-in user, the document being handed over, the session
// cookie, and one enciphered access password per user (the value is named by the user's login
// name; the empty name is the key's unnamed default value).
//
// Getters turn every failure into the empty text; setters ignore failures. Nothing is kept in
// memory: every call opens and closes the key itself. All run on the host's UI thread.
#ifndef QNMURO_COMMON_IDENTITY_H_
#define QNMURO_COMMON_IDENTITY_H_

#include <string>
#include <string_view>

namespace qnmuro {

struct Context;
struct CommonInfo;

// The key, below HKEY_LOCAL_MACHINE.
inline constexpr char16_t kIdentityKey[] = u"SOFTWARE\\zuzozer\\web";

// The input box GetUserPassword shows.
inline constexpr char16_t kPasswordPromptTitle[] = u"QNSoft";
inline constexpr char16_t kPasswordPrompt[] =
    u"请为初次使用本系统输入您的访问密码，这个密码必须和您访问办公系统的密码一样：";
// The same box when the server refused the password that was kept.
inline constexpr char16_t kPasswordAgainPrompt[] =
    u"服务器拒绝了您的访问密码，请重新输入您的访问密码，这个密码必须和您访问办公系统的密码一样：";

// "CurrentUser", written by other components.
std::u16string GetCurrentUser(const Context& ctx);
// "CurrentFile": the document the OA system is handing over.
std::u16string GetCurrentFile(const Context& ctx);
// Writes "CurrentFile" (the key must exist; the add-in only ever clears it). False when the
// write failed (LastSystemError() then says why); nothing else is done about it here.
bool SetCurrentFile(const Context& ctx, std::u16string_view text);
// "sid": the session cookie as one name=value text.
std::u16string GetSessionCookie(const Context& ctx);

// Creates the key and stores EncryptString(password) under the user's name. Always true.
bool SaveUserPassword(const Context& ctx, std::u16string_view user_name,
                      std::u16string_view password);

// The user's stored password, still enciphered. When none is stored (missing or empty), asks
// once through ctx.ui; a non-empty answer is saved and its enciphered form returned, a cancel
// or an empty answer returns the empty text and stores nothing. Any other failure writes
// "GetUserPassword(Name) Error:..." to the event log and returns the empty text.
std::u16string GetUserPassword(const Context& ctx, std::u16string_view user_name);

// The login the add-in's transfers use: the control file's user name, else the registry's
// current user; the control file's enciphered password, else the one stored for that user
// (GetUserPassword, which may ask for it).
struct Login {
  std::u16string user;
  std::u16string password;  // enciphered
};
Login ControlFileLogin(const Context& ctx, const CommonInfo& common);

}  // namespace qnmuro

#endif  // QNMURO_COMMON_IDENTITY_H_
