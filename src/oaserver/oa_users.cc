#include "oaserver/oa_users.h"

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <strings.h>

#include <fstream>
#include <map>

#include "base/error.h"
#include "base/text.h"
#include "common/base64.h"

namespace qnmuro {
namespace {

constexpr char kRealm[] = "QNMuro OA";
constexpr size_t kMaxNonces = 4096;

std::string Hex(const unsigned char* data, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < size; ++i) {
    out += kDigits[data[i] >> 4];
    out += kDigits[data[i] & 15];
  }
  return out;
}

std::string Md5Hex(const std::string& text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (EVP_Digest(text.data(), text.size(), digest, &size, EVP_md5(), nullptr) != 1) return "";
  return Hex(digest, size);
}

// key="value" or key=value pairs separated by commas.
std::map<std::string, std::string> ParseDigestFields(const std::string& text) {
  std::map<std::string, std::string> out;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == ',')) ++i;
    const size_t eq = text.find('=', i);
    if (eq == std::string::npos) break;
    std::string key = text.substr(i, eq - i);
    while (!key.empty() && key.back() == ' ') key.pop_back();
    i = eq + 1;
    std::string value;
    if (i < text.size() && text[i] == '"') {
      ++i;
      while (i < text.size() && text[i] != '"') {
        if (text[i] == '\\' && i + 1 < text.size()) ++i;
        value += text[i++];
      }
      ++i;
    } else {
      while (i < text.size() && text[i] != ',') value += text[i++];
      while (!value.empty() && value.back() == ' ') value.pop_back();
    }
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    out[key] = value;
  }
  return out;
}

}  // namespace

bool LoadOaUsers(const std::filesystem::path& file, std::vector<OaUser>* users,
                 std::string* error) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    *error = "cannot read users file " + file.string();
    return false;
  }
  users->clear();
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const size_t first = line.find(':');
    if (first == std::string::npos || first == 0) {
      *error = file.string() + ":" + std::to_string(number) + ": expected name:password[:session]";
      return false;
    }
    const size_t second = line.find(':', first + 1);
    OaUser user;
    user.name = ToAnsi(Utf8ToUtf16(line.substr(0, first)));
    user.password = ToAnsi(Utf8ToUtf16(line.substr(
        first + 1, second == std::string::npos ? std::string::npos : second - first - 1)));
    if (second != std::string::npos) user.session = line.substr(second + 1);
    users->push_back(std::move(user));
  }
  return true;
}

OaUsers::OaUsers(std::vector<OaUser> users, OaAuthScheme scheme,
                 std::chrono::steady_clock::duration nonce_life)
    : users_(std::move(users)), scheme_(scheme), nonce_life_(nonce_life) {}

std::string OaUsers::Challenge(bool stale) {
  if (scheme_ == OaAuthScheme::kBasic) return std::string("Basic realm=\"") + kRealm + "\"";
  unsigned char random[16];
  RAND_bytes(random, sizeof random);
  const std::string nonce = Hex(random, sizeof random);
  {
    std::lock_guard<std::mutex> lock(mu_);
    const auto now = std::chrono::steady_clock::now();
    if (nonces_.size() >= kMaxNonces) {
      std::erase_if(nonces_, [&](const auto& n) { return now - n.second.issued >= nonce_life_; });
    }
    if (nonces_.size() >= kMaxNonces) nonces_.clear();
    nonces_[nonce] = Nonce{now, 0};
  }
  return std::string("Digest realm=\"") + kRealm + "\", qop=\"auth\", algorithm=MD5, nonce=\"" +
         nonce + "\"" + (stale ? ", stale=true" : "");
}

std::string OaUsers::Authenticate(const std::string& authorization, const std::string& method,
                                  const std::string& target, bool* stale) {
  bool ignored = false;
  if (stale == nullptr) stale = &ignored;
  *stale = false;
  const size_t space = authorization.find(' ');
  if (space == std::string::npos) return "";
  const std::string scheme = authorization.substr(0, space);
  const std::string rest = authorization.substr(space + 1);
  if (scheme_ == OaAuthScheme::kBasic && strcasecmp(scheme.c_str(), "Basic") == 0) {
    return CheckBasic(rest);
  }
  if (scheme_ == OaAuthScheme::kDigest && strcasecmp(scheme.c_str(), "Digest") == 0) {
    return CheckDigest(rest, method, target, stale);
  }
  return "";
}

std::string OaUsers::CheckBasic(const std::string& credentials) const {
  std::string decoded;
  const bool decodes = IgnoreFailure([&] {
    const std::vector<uint8_t> codes(credentials.begin(), credentials.end());
    const std::vector<uint8_t> bytes = Base64().Decode(codes);
    decoded.assign(bytes.begin(), bytes.end());
  });
  if (!decodes) return "";
  while (!decoded.empty() && decoded.back() == '\0') decoded.pop_back();
  const size_t colon = decoded.find(':');
  if (colon == std::string::npos) return "";
  const std::string name = decoded.substr(0, colon);
  const std::string password = decoded.substr(colon + 1);
  for (const OaUser& user : users_) {
    if (user.name == name && user.password == password) return user.name;
  }
  return "";
}

std::string OaUsers::CheckDigest(const std::string& text, const std::string& method,
                                 const std::string& target, bool* stale) {
  auto fields = ParseDigestFields(text);
  // Only for this request, and with the count that makes each use of a nonce unique. The
  // add-in's libcurl client names "/" (it sends its target apart from the address it digests):
  // taken too, its count still makes it good for one request only.
  if ((fields["uri"] != target && fields["uri"] != "/") || fields["qop"] != "auth") return "";
  const std::string& nc = fields["nc"];
  if (nc.size() != 8 || nc.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
    return "";
  }
  const unsigned long long count = std::stoull(nc, nullptr, 16);
  std::string user;
  for (const OaUser& candidate : users_) {
    if (candidate.name != fields["username"]) continue;
    const std::string ha1 = Md5Hex(candidate.name + ":" + kRealm + ":" + candidate.password);
    const std::string ha2 = Md5Hex(method + ":" + fields["uri"]);
    const std::string expected = Md5Hex(ha1 + ":" + fields["nonce"] + ":" + nc + ":" +
                                        fields["cnonce"] + ":" + fields["qop"] + ":" + ha2);
    if (!expected.empty() && expected == fields["response"]) user = candidate.name;
  }
  if (user.empty()) return "";
  std::lock_guard<std::mutex> lock(mu_);
  const auto nonce = nonces_.find(fields["nonce"]);
  if (nonce == nonces_.end()) return "";
  if (std::chrono::steady_clock::now() - nonce->second.issued >= nonce_life_) {
    nonces_.erase(nonce);
    *stale = true;
    return "";
  }
  if (count <= nonce->second.count) return "";
  nonce->second.count = count;
  return user;
}

std::string OaUsers::SessionUser(const std::string& cookie_header) const {
  size_t i = 0;
  while (i <= cookie_header.size()) {
    size_t end = cookie_header.find(';', i);
    if (end == std::string::npos) end = cookie_header.size();
    std::string pair = cookie_header.substr(i, end - i);
    while (!pair.empty() && pair.front() == ' ') pair.erase(pair.begin());
    while (!pair.empty() && pair.back() == ' ') pair.pop_back();
    for (const OaUser& user : users_) {
      if (!user.session.empty() && user.session == pair) return user.name;
    }
    i = end + 1;
  }
  return "";
}

}  // namespace qnmuro
