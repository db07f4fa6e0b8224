#include "oaserver/oa_store.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "base/text.h"

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

}  // namespace

OaStore::OaStore(fs::path root) {
  std::error_code ec;
  root_ = fs::weakly_canonical(fs::absolute(root, ec), ec);
  if (ec) root_ = root;
}

std::optional<std::string> OaStore::FileNameOf(const std::string& ansi_name) {
  if (ansi_name.empty() || ansi_name == "." || ansi_name == "..") return std::nullopt;
  for (unsigned char c : ansi_name) {
    if (c < 0x20 || c == 0x7F || c == '/' || c == '\\') return std::nullopt;
  }
  const std::string utf8 = Utf16ToUtf8(FromAnsi(ansi_name));
  if (utf8 == "." || utf8 == ".." || utf8.find('/') != std::string::npos) return std::nullopt;
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
    for (const std::string& unid : spellings[n - 3]) {
      for (const std::string& name : spellings[n - 1]) {
        candidates.push_back(root_ / "files" / unid / name);
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

std::string OaStore::StoreUpload(const std::string& ansi_name, const BodyReader& read) {
  const std::optional<std::string> name = FileNameOf(ansi_name);
  if (!name) return "invalid file name";
  std::error_code ec;
  const fs::path dir = root_ / "incoming";
  fs::create_directories(dir, ec);
  const fs::path target = dir / *name;
  if (!Inside(target)) return "invalid file name";
  fs::path temp;
  {
    std::lock_guard<std::mutex> lock(mu_);
    temp = dir / ("." + *name + ".part" + std::to_string(++counter_));
  }
  std::FILE* file = std::fopen(temp.c_str(), "wb");
  if (file == nullptr) return std::string("cannot store the upload: ") + std::strerror(errno);
  std::setvbuf(file, nullptr, _IOFBF, 256 * 1024);
  bool written = true;
  const bool whole = read([&](const char* data, size_t size) {
    written = std::fwrite(data, 1, size, file) == size;
    return written;
  });
  const bool closed = std::fclose(file) == 0;
  if (!whole || !written || !closed) {
    fs::remove(temp, ec);
    return !whole ? "the upload broke off" : "cannot store the upload";
  }
  fs::rename(temp, target, ec);
  if (ec) {
    fs::remove(temp, ec);
    return "cannot store the upload: " + ec.message();
  }
  return "";
}

std::string OaStore::Confirm(const std::string& ansi_unid, const std::string& ansi_name) {
  const std::optional<std::string> unid = FileNameOf(ansi_unid);
  const std::optional<std::string> name = FileNameOf(ansi_name);
  if (!unid) return "invalid unid";
  if (!name) return "invalid file name";
  std::lock_guard<std::mutex> lock(mu_);
  std::error_code ec;
  const fs::path incoming = root_ / "incoming" / *name;
  if (!Inside(incoming) || !fs::is_regular_file(incoming, ec)) {
    return "no upload of " + *name + " to confirm";
  }
  const fs::path dir = root_ / "documents" / *unid;
  fs::create_directories(dir, ec);
  const fs::path current = dir / *name;
  if (!Inside(current)) return "invalid file name";
  if (fs::exists(current, ec)) {
    int version = 1;
    while (fs::exists(dir / (*name + ".v" + std::to_string(version)), ec)) ++version;
    fs::rename(current, dir / (*name + ".v" + std::to_string(version)), ec);
    if (ec) return "cannot keep the earlier version: " + ec.message();
  }
  fs::rename(incoming, current, ec);
  if (ec) return "cannot store the document: " + ec.message();
  return "";
}

}  // namespace qnmuro
