#include <openssl/err.h>
#include <openssl/evp.h>

#include <algorithm>
#include <memory>

#include "base/error.h"
#include "platform/digest.h"

namespace qnmuro {
namespace {

struct MdCtxFree {
  void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};

// The digest of `bytes` with `type` into `out`, which must be exactly the digest's size.
bool Digest(const EVP_MD* type, std::string_view bytes, unsigned char* out, size_t size) {
  // Each step that fails ends the digest; the context is freed on every path.
  const auto fail = [] {
    SetLastSystemError(static_cast<long>(ERR_get_error()));
    ERR_clear_error();
    return false;
  };
  std::unique_ptr<EVP_MD_CTX, MdCtxFree> md(EVP_MD_CTX_new());
  if (!md) return fail();
  if (EVP_DigestInit_ex(md.get(), type, nullptr) != 1) return fail();
  if (EVP_DigestUpdate(md.get(), bytes.data(), bytes.size()) != 1) return fail();
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(md.get(), digest, &length) != 1) return fail();
  if (length != size) return fail();
  std::copy(digest, digest + length, out);
  return true;
}

}  // namespace

bool Md5(std::string_view bytes, Md5Value* value) {
  return Digest(EVP_md5(), bytes, value->data(), value->size());
}

bool Sha256(std::string_view bytes, Sha256Value* value) {
  return Digest(EVP_sha256(), bytes, value->data(), value->size());
}

}  // namespace qnmuro
