#include <windows.h>
// After windows.h, whose types it uses.
#include <wincrypt.h>

#include "base/error.h"
#include "platform/digest.h"

namespace qnmuro {
namespace {

// Releases the provider and the hash on every path, hash first.
class Hash {
 public:
  // The AES provider has SHA-256 besides MD5.
  explicit Hash(ALG_ID algorithm) {
    if (CryptAcquireContextA(&provider_, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) &&
        !CryptCreateHash(provider_, algorithm, 0, 0, &hash_)) {
      hash_ = 0;
    }
  }
  ~Hash() {
    if (hash_ != 0) CryptDestroyHash(hash_);
    if (provider_ != 0) CryptReleaseContext(provider_, 0);
  }
  Hash(const Hash&) = delete;
  Hash& operator=(const Hash&) = delete;

  HCRYPTHASH get() const { return hash_; }

 private:
  HCRYPTPROV provider_ = 0;
  HCRYPTHASH hash_ = 0;
};

// The digest of `bytes` into `out`, which must be exactly the digest's size.
bool Digest(ALG_ID algorithm, std::string_view bytes, unsigned char* out, size_t size) {
  const auto fail = [] {
    SetLastSystemError(static_cast<long>(GetLastError()));
    return false;
  };
  Hash hash(algorithm);
  if (hash.get() == 0) return fail();
  if (!CryptHashData(hash.get(), reinterpret_cast<const BYTE*>(bytes.data()),
                     static_cast<DWORD>(bytes.size()), 0)) {
    return fail();
  }
  DWORD length = static_cast<DWORD>(size);
  if (!CryptGetHashParam(hash.get(), HP_HASHVAL, out, &length, 0)) return fail();
  if (length != size) return fail();
  return true;
}

}  // namespace

bool Md5(std::string_view bytes, Md5Value* value) {
  return Digest(CALG_MD5, bytes, value->data(), value->size());
}

bool Sha256(std::string_view bytes, Sha256Value* value) {
  return Digest(CALG_SHA_256, bytes, value->data(), value->size());
}

}  // namespace qnmuro
