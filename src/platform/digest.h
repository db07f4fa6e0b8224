// Message digests the add-in needs from the platform: MD5 for the password cipher's key.
#ifndef QNMURO_PLATFORM_DIGEST_H_
#define QNMURO_PLATFORM_DIGEST_H_

#include <array>
#include <string_view>

namespace qnmuro {

using Md5Value = std::array<unsigned char, 16>;

// The MD5 digest of `bytes` into *value. False when the platform's digest provider fails; the
// provider's error code is then the last system error and *value is unspecified.
bool Md5(std::string_view bytes, Md5Value* value);

}  // namespace qnmuro

#endif  // QNMURO_PLATFORM_DIGEST_H_
