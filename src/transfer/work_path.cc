#include "transfer/work_path.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "base/error.h"
#include "base/text.h"

namespace qnmuro {
namespace {

namespace fs = std::filesystem;

// The path's elements; the empty element of a trailing separator is none.
std::vector<fs::path> Parts(const fs::path& p) {
  std::vector<fs::path> parts;
  for (const fs::path& part : p) {
    if (!part.empty()) parts.push_back(part);
  }
  return parts;
}

// The elements of `path` after `prefix`, or nullopt when `path` does not begin with it.
std::optional<std::vector<fs::path>> After(const std::vector<fs::path>& path,
                                           const std::vector<fs::path>& prefix) {
  if (prefix.empty() || path.size() < prefix.size()) return std::nullopt;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (path[i] != prefix[i]) return std::nullopt;
  }
  return std::vector<fs::path>(path.begin() + static_cast<std::ptrdiff_t>(prefix.size()),
                               path.end());
}

std::optional<WorkDirPath> Resolve(std::u16string_view work_dir, std::u16string_view path) {
  if (Trim(work_dir).empty() || path.empty()) return std::nullopt;
  std::error_code ec;
  fs::path given = ToPath(work_dir);
  if (given.is_relative()) given = fs::absolute(given, ec);
  if (ec) return std::nullopt;
  given = given.lexically_normal();
  const fs::path real = fs::weakly_canonical(given, ec);
  if (ec) return std::nullopt;
  const fs::path target = ToPath(path);
  std::optional<std::vector<fs::path>> rest;
  if (target.is_absolute() || target.has_root_name()) {
    // The work directory as it was named or as it really is; nothing is resolved on paper.
    rest = After(Parts(target), Parts(given));
    if (!rest) rest = After(Parts(target), Parts(real));
  } else {
    rest = Parts(target);
  }
  if (!rest) return std::nullopt;
  std::vector<fs::path> kept;
  bool missing = false;  // a part so far does not exist: ".." cannot step back over it
  for (const fs::path& part : *rest) {
    if (part == ".") continue;
    if (part == "..") {
      if (kept.empty() || missing) return std::nullopt;
      kept.pop_back();
      continue;
    }
    kept.push_back(part);
    if (missing) continue;
    fs::path at = real;
    for (const fs::path& p : kept) at /= p;
    const fs::file_status status = fs::symlink_status(at, ec);
    if (ec || !fs::exists(status)) {
      missing = true;
      ec.clear();
    } else if (fs::is_symlink(status)) {
      return std::nullopt;
    }
  }
  if (kept.empty()) return std::nullopt;
  WorkDirPath out{real, fs::path()};
  for (const fs::path& p : kept) out.below /= p;
  return out;
}

bool IsDeviceName(std::u16string_view name) {
  // The system takes the part before the first dot, trailing blanks and dots dropped.
  std::u16string stem(name.substr(0, name.find(u'.')));
  while (!stem.empty() && (stem.back() == u' ' || stem.back() == u'.')) stem.pop_back();
  stem = AsciiLower(stem);
  if (stem == u"con" || stem == u"prn" || stem == u"aux" || stem == u"nul") return true;
  return stem.size() == 4 && (stem.compare(0, 3, u"com") == 0 || stem.compare(0, 3, u"lpt") == 0) &&
         stem[3] >= u'1' && stem[3] <= u'9';
}

}  // namespace

std::optional<WorkDirPath> SplitInWorkDir(std::u16string_view work_dir, std::u16string_view path) {
  // A path that cannot be resolved is as good as one outside.
  std::optional<WorkDirPath> resolved;
  IgnoreFailure([&] { resolved = Resolve(work_dir, path); });
  return resolved;
}

std::optional<std::u16string> ResolveInWorkDir(std::u16string_view work_dir,
                                               std::u16string_view path) {
  const std::optional<WorkDirPath> split = SplitInWorkDir(work_dir, path);
  if (!split) return std::nullopt;
  std::optional<std::u16string> joined;
  IgnoreFailure([&] { joined = FromPath(split->folder / split->below); });
  return joined;
}

bool IsFileNamePart(std::u16string_view name, bool windows_rules) {
  if (name.empty() || name == u"." || name == u"..") return false;
  if (name.find_first_of(std::u16string_view(u"/\\\0", 3)) != std::u16string_view::npos) {
    return false;
  }
  if (!windows_rules) return true;
  return name.find(u':') == std::u16string_view::npos && !IsDeviceName(name);
}

}  // namespace qnmuro
