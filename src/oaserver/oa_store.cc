#include "oaserver/oa_store.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>
#include <vector>

#include "base/text.h"
#include "platform/file_io.h"

namespace qnmuro {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  size_t i = 0;
  while (i <= path.size()) {
    size_t end = path.find('/', i);
    if (end == std::string::npos) end = path.size();
    if (end > i) parts.push_back(path.substr(i, end - i));
    i = end + 1;
  }
  return parts;
}

bool IsValidUtf8(const std::string& bytes) {
  return Utf16ToUtf8(Utf8ToUtf16(bytes)) == bytes;
}

constexpr char kTempPrefix[] = ".upload-";
constexpr char kTempSuffix[] = ".part";
constexpr char kBodySuffix[] = ".body";
// An outstanding body is confirmed within moments of its upload by the add-in; an integrator
// typing the two requests by hand has an hour.
constexpr auto kKeepBody = std::chrono::hours(1);
constexpr auto kRememberRefusal = std::chrono::seconds(30);

bool EndsWith(const std::string& s, const std::string& end) {
  return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

// An upload's temporary file: this server's (".upload-<random>.part", or ".body" for a second
// body of a name) or an earlier version's (".<name>.part<N>").
bool IsUploadTemp(const std::string& name) {
  if (name.rfind(kTempPrefix, 0) == 0 &&
      (EndsWith(name, kTempSuffix) || EndsWith(name, kBodySuffix)))
    return true;
  if (name.size() < 3 || name[0] != '.') return false;
  size_t digits = 0;
  while (digits < name.size() &&
         std::isdigit(static_cast<unsigned char>(name[name.size() - 1 - digits]))) {
    ++digits;
  }
  return digits > 0 && EndsWith(name.substr(0, name.size() - digits), kTempSuffix) &&
         name.size() - digits > std::strlen(kTempSuffix) + 1;
}

// Creates a new temporary file in `dir` under a name nobody can guess: never an existing file,
// never through a link. Returns the open descriptor, or -1 with errno set.
int CreateTemp(const fs::path& dir, fs::path* path) {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[64];
    std::snprintf(name, sizeof name, "%s%08x%08x%s", kTempPrefix, random(), random(), kTempSuffix);
    *path = dir / name;
    const int fd =
        ::open(path->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

// SHA-256 over pieces, as they arrive.
class Sha256Stream {
 public:
  Sha256Stream() : ctx_(EVP_MD_CTX_new()) {
    ok_ = ctx_ != nullptr && EVP_DigestInit_ex(ctx_, EVP_sha256(), nullptr) == 1;
  }
  ~Sha256Stream() { EVP_MD_CTX_free(ctx_); }
  Sha256Stream(const Sha256Stream&) = delete;
  Sha256Stream& operator=(const Sha256Stream&) = delete;
  void Add(const char* data, size_t size) { ok_ = ok_ && EVP_DigestUpdate(ctx_, data, size) == 1; }
  // Lower-case hex; empty when the digest could not be made.
  std::string Hex() {
    unsigned char value[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!ok_ || EVP_DigestFinal_ex(ctx_, value, &size) != 1) return "";
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < size; ++i) {
      out += kDigits[value[i] >> 4];
      out += kDigits[value[i] & 15];
    }
    return out;
  }

 private:
  EVP_MD_CTX* ctx_;
  bool ok_ = false;
};

std::string Quoted(const std::string& digest) {
  return digest.empty() ? std::string() : "\"" + digest + "\"";
}

// Whether an If-Match value names the version with `tag` (empty: there is none). Only strong
// tags compare; "*" names any version that exists.
bool IfMatchNames(const std::string& if_match, const std::string& tag) {
  size_t i = 0;
  while (i <= if_match.size()) {
    size_t end = if_match.find(',', i);
    if (end == std::string::npos) end = if_match.size();
    std::string item = if_match.substr(i, end - i);
    const size_t first = item.find_first_not_of(" \t");
    const size_t last = item.find_last_not_of(" \t");
    item = first == std::string::npos ? std::string() : item.substr(first, last - first + 1);
    if (!tag.empty() && (item == "*" || item == tag)) return true;
    i = end + 1;
  }
  return false;
}

OaStore::Confirmed Refused(std::string reason) {
  return OaStore::Confirmed{std::move(reason), false, ""};
}

}  // namespace

OaStore::OaStore(fs::path root) : ledger_(kKeepBody, kRememberRefusal) {
  std::error_code ec;
  root_ = fs::weakly_canonical(fs::absolute(root, ec), ec);
  if (ec) root_ = root;
}

std::optional<std::string> OaStore::FileNameOf(const std::string& ansi_name) {
  if (ansi_name.empty() || ansi_name == "." || ansi_name == "..") return std::nullopt;
  for (unsigned char c : ansi_name) {
    if (c < 0x20 || c == 0x7F || c == '/') return std::nullopt;
  }
  // A "\" is looked for in the text: as a byte it may be the second half of a character.
  const std::string utf8 = Utf16ToUtf8(FromAnsi(ansi_name));
  if (utf8 == "." || utf8 == ".." || utf8.find_first_of("/\\") != std::string::npos) {
    return std::nullopt;
  }
  return utf8;
}

bool OaStore::Inside(const fs::path& p) const {
  std::error_code ec;
  const fs::path c = fs::weakly_canonical(p, ec);
  if (ec) return false;
  const auto [r, t] = std::mismatch(root_.begin(), root_.end(), c.begin(), c.end());
  return r == root_.end() && t != c.end();
}

std::optional<fs::path> OaStore::MapRequestPath(const std::string& path) const {
  const std::vector<std::string> parts = SplitPath(path);
  if (parts.empty()) return std::nullopt;
  for (const std::string& part : parts) {
    if (part == "." || part == ".." || part.find('\\') != std::string::npos ||
        part.find('\0') != std::string::npos) {
      return std::nullopt;
    }
  }
  // Each part as it came (a UTF-8 client) and as ANSI text (the add-in).
  std::vector<std::vector<std::string>> spellings;
  for (const std::string& part : parts) {
    std::vector<std::string> forms;
    if (IsValidUtf8(part)) forms.push_back(part);
    const std::optional<std::string> ansi = FileNameOf(part);
    if (ansi && std::find(forms.begin(), forms.end(), *ansi) == forms.end()) forms.push_back(*ansi);
    if (forms.empty()) return std::nullopt;
    spellings.push_back(std::move(forms));
  }
  const size_t n = parts.size();
  const bool attachment = n >= 5 && parts[n - 4] == "0" && parts[n - 2] == "$file";
  std::vector<fs::path> candidates;
  if (attachment) {
    // The stored version, once there is one, is what the next clerk is handed.
    for (const char* folder : {"documents", "files"}) {
      for (const std::string& unid : spellings[n - 3]) {
        for (const std::string& name : spellings[n - 1]) {
          candidates.push_back(root_ / folder / unid / name);
        }
      }
    }
  } else {
    fs::path uniform = root_;
    fs::path ansi = root_;
    for (const auto& forms : spellings) {
      uniform /= forms.front();
      ansi /= forms.back();
    }
    candidates = {uniform, ansi};
  }
  for (const fs::path& candidate : candidates) {
    std::error_code ec;
    if (Inside(candidate) && fs::is_regular_file(candidate, ec)) return candidate;
  }
  return std::nullopt;
}

std::optional<fs::path> OaStore::FolderInside(const fs::path& relative) const {
  const fs::path dir = root_ / relative;
  // Before creating anything: a link in the existing part of the path must not lead out.
  if (!Inside(dir)) return std::nullopt;
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec || !Inside(dir) || !fs::is_directory(dir, ec)) return std::nullopt;
  return dir;
}

std::string OaStore::StoreUpload(const std::string& ansi_name, const UploadOrigin& origin,
                                 const BodyReader& read) {
  const std::optional<std::string> name = FileNameOf(ansi_name);
  if (!name) return "invalid file name";
  const std::optional<fs::path> dir = FolderInside("incoming");
  if (!dir) return "cannot store the upload: incoming/ is not a folder inside the root";
  const fs::path target = *dir / *name;
  // The folder is inside and the name is one plain part, so only a link planted under the name
  // could lead elsewhere. Resolving the whole path instead would race with a same-named
  // upload's rename and refuse a good name now and then.
  std::error_code ec;
  if (fs::is_symlink(fs::symlink_status(target, ec))) return "invalid file name";
  fs::path temp;
  const int fd = CreateTemp(*dir, &temp);
  if (fd < 0) return std::string("cannot store the upload: ") + std::strerror(errno);
  // Held until the file has its name: RemoveStaleUploads leaves a locked file alone.
  ::flock(fd, LOCK_EX);
  std::FILE* file = ::fdopen(fd, "wb");
  if (file == nullptr) {
    const int err = errno;
    ::unlink(temp.c_str());
    ::close(fd);
    return std::string("cannot store the upload: ") + std::strerror(err);
  }
  // A buffer of its own: one left to the library is its small default, whatever size is asked.
  std::vector<char> buffer(256 * 1024);
  std::setvbuf(file, buffer.data(), _IOFBF, buffer.size());
  bool written = true;
  Sha256Stream digest;
  const bool whole = read([&](const char* data, size_t size) {
    written = std::fwrite(data, 1, size, file) == size;
    digest.Add(data, size);
    return written;
  });
  const bool flushed = written && std::fflush(file) == 0;
  std::string reason;
  if (!whole || !written || !flushed) {
    reason = !whole ? "the upload broke off" : "cannot store the upload";
  } else {
    std::lock_guard<std::mutex> lock(mu_);
    // The name's own file, unless another outstanding body of the name lies there.
    fs::path stored = target;
    if (ledger_.Holds(target)) stored.replace_filename(temp.stem().string() + kBodySuffix);
    if (::rename(temp.c_str(), stored.c_str()) != 0) {
      reason = std::string("cannot store the upload: ") + std::strerror(errno);
    } else {
      Drop(ledger_.Add(*name, stored, origin, digest.Hex()));
    }
  }
  if (!reason.empty()) ::unlink(temp.c_str());
  std::fclose(file);  // and with it the lock
  return reason;
}

void OaStore::Drop(const std::vector<fs::path>& files) {
  for (const fs::path& file : files) {
    if (!ledger_.Holds(file)) ::unlink(file.c_str());
  }
}

OaStore::Confirmed OaStore::Confirm(const std::string& ansi_unid, const std::string& ansi_name,
                                    const UploadOrigin& origin, const Condition& condition) {
  const std::optional<std::string> unid = FileNameOf(ansi_unid);
  const std::optional<std::string> name = FileNameOf(ansi_name);
  if (!unid) return Refused("invalid unid");
  if (!name) return Refused("invalid file name");
  std::lock_guard<std::mutex> lock(mu_);
  UploadLedger::Body body;
  std::vector<fs::path> dropped;
  UploadLedger::Verdict verdict = UploadLedger::Verdict::kNone;
  if (!condition.digest.empty()) {
    // The body named by its digest is certainly this one's, whatever else is outstanding.
    if (ledger_.MatchDigest(*name, condition.digest, &body, &dropped)) {
      verdict = UploadLedger::Verdict::kFound;
    }
  } else {
    verdict = ledger_.Match(*name, origin, &body, &dropped);
  }
  Drop(dropped);
  if (verdict == UploadLedger::Verdict::kRefused) {
    return Refused("another upload of " + *name +
                   " cannot be told apart from this one: neither is stored; save again");
  }
  std::error_code ec;
  const fs::path incoming = body.file;
  if (verdict == UploadLedger::Verdict::kNone || !Inside(incoming) ||
      !fs::is_regular_file(incoming, ec)) {
    return Refused("no upload of " + *name + " to confirm");
  }
  const std::optional<fs::path> dir = FolderInside(fs::path("documents") / *unid);
  if (!dir) {
    return Refused("cannot store the document: documents/" + *unid +
                   " is not a folder inside the root");
  }
  const fs::path current = *dir / *name;
  if (!Inside(current)) return Refused("invalid file name");
  if (condition.if_match) {
    const std::optional<fs::path> now = CurrentVersion(current, *unid, *name);
    const std::string tag = now ? TagOf(*now) : std::string();
    if (!IfMatchNames(*condition.if_match, tag)) {
      // Another version came meanwhile: this body is stored over nothing, ever.
      ledger_.Taken(*name, body.id);
      ::unlink(incoming.c_str());
      return {"conflict", true, tag};
    }
  }
  if (fs::exists(current, ec)) {
    int version = 1;
    while (fs::exists(*dir / (*name + ".v" + std::to_string(version)), ec)) ++version;
    fs::rename(current, *dir / (*name + ".v" + std::to_string(version)), ec);
    if (ec) return Refused("cannot keep the earlier version: " + ec.message());
  }
  fs::rename(incoming, current, ec);
  if (ec) return Refused("cannot store the document: " + ec.message());
  ledger_.Taken(*name, body.id);
  return Confirmed{"", false, TagOf(current, Quoted(body.digest))};
}

std::optional<fs::path> OaStore::CurrentVersion(const fs::path& stored, const std::string& unid,
                                                const std::string& name) const {
  std::error_code ec;
  if (fs::is_regular_file(stored, ec)) return stored;
  const fs::path attachment = root_ / "files" / unid / name;
  if (Inside(attachment) && fs::is_regular_file(attachment, ec)) return attachment;
  return std::nullopt;
}

bool OaStore::IsAttachmentPath(const std::string& path) {
  const std::vector<std::string> parts = SplitPath(path);
  const size_t n = parts.size();
  return n >= 5 && parts[n - 4] == "0" && parts[n - 2] == "$file";
}

std::string OaStore::TagOf(const fs::path& file, const std::string& known) {
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return "";
  KnownTag key{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
               static_cast<uint64_t>(st.st_size),
               static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec, ""};
  auto same = [&](const KnownTag& k) {
    return k.device == key.device && k.inode == key.inode && k.size == key.size &&
           k.mtime_ns == key.mtime_ns;
  };
  {
    std::lock_guard<std::mutex> lock(tags_mu_);
    const auto it = tags_.find(file.string());
    if (known.empty() && it != tags_.end() && same(it->second)) return it->second.tag;
  }
  key.tag = known;
  if (key.tag.empty()) {
    std::FILE* in = std::fopen(file.c_str(), "rb");
    if (in == nullptr) return "";
    Sha256Stream digest;
    std::vector<char> buffer(256 * 1024);
    size_t got = 0;
    while ((got = std::fread(buffer.data(), 1, buffer.size(), in)) > 0)
      digest.Add(buffer.data(), got);
    const bool failed = std::ferror(in) != 0;
    std::fclose(in);
    if (failed) return "";
    key.tag = Quoted(digest.Hex());
  }
  std::lock_guard<std::mutex> lock(tags_mu_);
  tags_[file.string()] = key;
  return key.tag;
}

int OaStore::RemoveStaleUploads() {
  const fs::path dir = root_ / "incoming";
  if (!Inside(dir)) return 0;
  std::vector<fs::path> candidates;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    if (IsUploadTemp(it->path().filename().string())) candidates.push_back(it->path());
  }
  int removed = 0;
  // A link planted under a temporary name goes (not what it points to); a server receiving
  // into a file holds its lock.
  for (const fs::path& path : candidates) removed += RemoveLeftover(path);
  return removed;
}

}  // namespace qnmuro
