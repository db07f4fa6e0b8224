#include <windows.h>
// After windows.h, whose types it uses.
#include <wincrypt.h>

#include "base/error.h"
#include "platform/digest.h"

namespace qnmuro {
namespace {

// Releases the provider and the hash on every path, hash first.
class Md5Hash {
 public:
  Md5Hash() {
    if (CryptAcquireContextA(&provider_, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) &&
        !CryptCreateHash(provider_, CALG_MD5, 0, 0, &hash_)) {
      hash_ = 0;
    }
  }
  ~Md5Hash() {
    if (hash_ != 0) CryptDestroyHash(hash_);
    if (provider_ != 0) CryptReleaseContext(provider_, 0);
  }
  Md5Hash(const Md5Hash&) = delete;
  Md5Hash& operator=(const Md5Hash&) = delete;

  HCRYPTHASH get() const { return hash_; }

 private:
  HCRYPTPROV provider_ = 0;
  HCRYPTHASH hash_ = 0;
};

}  // namespace

bool Md5(std::string_view bytes, Md5Value* value) {
  const auto fail = [] {
    SetLastSystemError(static_cast<long>(GetLastError()));
    return false;
  };
  Md5Hash md5;
  if (md5.get() == 0) return fail();
  if (!CryptHashData(md5.get(), reinterpret_cast<const BYTE*>(bytes.data()),
                     static_cast<DWORD>(bytes.size()), 0)) {
    return fail();
  }
  DWORD length = static_cast<DWORD>(value->size());
  if (!CryptGetHashParam(md5.get(), HP_HASHVAL, value->data(), &length, 0)) return fail();
  if (length != value->size()) return fail();
  return true;
}

}  // namespace qnmuro
