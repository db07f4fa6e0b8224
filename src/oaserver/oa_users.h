// Who may use the development OA server: user names, passwords and session cookies, and the
// HTTP authentication (basic or digest) that checks them. Thread-safe.
#ifndef QNMURO_OASERVER_OA_USERS_H_
#define QNMURO_OASERVER_OA_USERS_H_

#include <chrono>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace qnmuro {

struct OaUser {
  std::string name;      // ANSI bytes, as clients send them
  std::string password;  // ANSI bytes, plain
  std::string session;   // "name=value" cookie text; empty: this user has no session
};

enum class OaAuthScheme { kBasic, kDigest };

// Reads a users file: UTF-8 lines "name:password[:session]"; blank lines and lines starting
// with "#" are skipped. The name must not be empty. Names and passwords are turned into the
// ANSI code page, as clients send them. False with *error set when the file cannot be read or
// a line is malformed.
bool LoadOaUsers(const std::filesystem::path& file, std::vector<OaUser>* users, std::string* error);

class OaUsers {
 public:
  // A digest nonce is good for `nonce_life` after it was issued.
  OaUsers(std::vector<OaUser> users, OaAuthScheme scheme,
          std::chrono::steady_clock::duration nonce_life = std::chrono::minutes(5));

  // No users: every check passes.
  bool enabled() const { return !users_.empty(); }

  // The user whose credentials the Authorization header carries for this request, or empty
  // when they are missing or wrong. A digest credential holds only for the request target it
  // names, with a nonce this server issued not longer ago than its life, and with a nonce
  // count above every earlier one for that nonce (so a captured one cannot be replayed).
  // *stale is set when the only fault was an expired nonce.
  std::string Authenticate(const std::string& authorization, const std::string& method,
                           const std::string& target, bool* stale = nullptr);
  // The WWW-Authenticate header value that asks for credentials; `stale` tells a digest
  // client that its credentials were right but the nonce is too old.
  std::string Challenge(bool stale = false);
  // The user whose session cookie the Cookie header carries, or empty.
  std::string SessionUser(const std::string& cookie_header) const;

 private:
  std::string CheckBasic(const std::string& credentials) const;
  std::string CheckDigest(const std::string& fields, const std::string& method,
                          const std::string& target, bool* stale);

  struct Nonce {
    std::chrono::steady_clock::time_point issued;
    unsigned long long count = 0;  // the highest nonce count accepted
  };

  std::vector<OaUser> users_;
  OaAuthScheme scheme_;
  std::chrono::steady_clock::duration nonce_life_;
  std::mutex mu_;
  std::map<std::string, Nonce> nonces_;  // issued digest nonces
};

}  // namespace qnmuro

#endif  // QNMURO_OASERVER_OA_USERS_H_
