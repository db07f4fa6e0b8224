// Digest credentials of the development OA server: each holds for its own request only, once,
// and not after its nonce has grown old.
#include "oaserver/oa_users.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdio>
#include <thread>

namespace qnmuro {
namespace {

std::string Md5Hex(const std::string& text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(text.data(), text.size(), digest, &size, EVP_md5(), nullptr);
  std::string out;
  char hex[3];
  for (unsigned int i = 0; i < size; ++i) {
    std::snprintf(hex, sizeof hex, "%02x", digest[i]);
    out += hex;
  }
  return out;
}

// The Authorization header a client computes for `uri` with nonce count `nc`.
std::string Credential(const std::string& nonce, const std::string& method, const std::string& uri,
                       const std::string& nc, const std::string& password = "secret") {
  const std::string ha1 = Md5Hex("zhangsan:QNMuro OA:" + password);
  const std::string ha2 = Md5Hex(method + ":" + uri);
  const std::string response = Md5Hex(ha1 + ":" + nonce + ":" + nc + ":c0ffee:auth:" + ha2);
  return "Digest username=\"zhangsan\", realm=\"QNMuro OA\", nonce=\"" + nonce + "\", uri=\"" +
         uri + "\", qop=auth, nc=" + nc + ", cnonce=\"c0ffee\", response=\"" + response + "\"";
}

std::string NonceOf(const std::string& challenge) {
  const size_t at = challenge.find("nonce=\"") + 7;
  return challenge.substr(at, challenge.find('"', at) - at);
}

TEST(OaUsersTest, ADigestCredentialHoldsOnceForItsOwnRequestWhileItsNonceIsFresh) {
  OaUsers users({OaUser{"zhangsan", "secret", ""}}, OaAuthScheme::kDigest,
                std::chrono::milliseconds(300));
  const std::string nonce = NonceOf(users.Challenge());
  const std::string download = "/db/0/U1/$file/a.doc";
  const std::string confirm = "/db/save?action=upload&unid=U2&method=replacecontent&filename=YQ==";
  const struct {
    const char* name;
    std::string authorization;
    const char* method;
    std::string target;
    bool accepted;
  } cases[] = {
      {"first use", Credential(nonce, "GET", download, "00000001"), "GET", download, true},
      {"replayed", Credential(nonce, "GET", download, "00000001"), "GET", download, false},
      {"replayed on another request", Credential(nonce, "POST", download, "00000002"), "POST",
       confirm, false},
      {"a later count", Credential(nonce, "POST", confirm, "00000003"), "POST", confirm, true},
      {"a count that went back", Credential(nonce, "POST", confirm, "00000002"), "POST", confirm,
       false},
      {"a wrong password", Credential(nonce, "POST", confirm, "00000009", "wrong"), "POST", confirm,
       false},
      {"a nonce never issued", Credential("0123", "POST", confirm, "00000001"), "POST", confirm,
       false},
      {"without a count",
       "Digest username=\"zhangsan\", nonce=\"" + nonce + "\", uri=\"" + confirm +
           "\", response=\"" +
           Md5Hex(Md5Hex("zhangsan:QNMuro OA:secret") + ":" + nonce + ":" +
                  Md5Hex("POST:" + confirm)) +
           "\"",
       "POST", confirm, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bool stale = true;
    EXPECT_EQ(users.Authenticate(c.authorization, c.method, c.target, &stale),
              c.accepted ? "zhangsan" : "");
    EXPECT_FALSE(stale);
  }
  // Right, but too late: the client is told to ask again with a new nonce.
  std::this_thread::sleep_for(std::chrono::milliseconds(350));
  bool stale = false;
  EXPECT_EQ(
      users.Authenticate(Credential(nonce, "POST", confirm, "00000004"), "POST", confirm, &stale),
      "");
  EXPECT_TRUE(stale);
  EXPECT_NE(users.Challenge(true).find("stale=true"), std::string::npos);
}

}  // namespace
}  // namespace qnmuro
