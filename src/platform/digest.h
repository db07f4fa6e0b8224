// Message digests from the platform: MD5 for the password cipher's key, SHA-256 for the
// simulated word processor's protection passwords.
#ifndef QNMURO_PLATFORM_DIGEST_H_
#define QNMURO_PLATFORM_DIGEST_H_

#include <array>
#include <string_view>

namespace qnmuro {

using Md5Value = std::array<unsigned char, 16>;

// The MD5 digest of `bytes` into *value. False when the platform's digest provider fails; the
// provider's error code is then the last system error and *value is unspecified.
bool Md5(std::string_view bytes, Md5Value* value);

using Sha256Value = std::array<unsigned char, 32>;

// The SHA-256 digest of `bytes`, with the same failure rules as Md5.
bool Sha256(std::string_view bytes, Sha256Value* value);

}  // namespace qnmuro

#endif  // QNMURO_PLATFORM_DIGEST_H_
