#include "transfer/work_path.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "base/error.h"
#include "base/text.h"

namespace qnmuro {
namespace {

std::filesystem::path Canonical(const std::filesystem::path& p) {
  std::error_code ec;
  std::filesystem::path out = std::filesystem::weakly_canonical(p, ec);
  if (ec) out = p.lexically_normal();
  // A trailing separator leaves an empty last element; drop it so that prefixes compare.
  while (!out.empty() && !out.has_filename() && out.has_parent_path() && out != out.root_path()) {
    out = out.parent_path();
  }
  return out;
}

std::optional<std::u16string> Resolve(std::u16string_view work_dir, std::u16string_view path) {
  if (Trim(work_dir).empty() || path.empty()) return std::nullopt;
  std::error_code ec;
  std::filesystem::path base = ToPath(work_dir);
  if (base.is_relative()) base = std::filesystem::absolute(base, ec);
  if (ec) return std::nullopt;
  base = Canonical(base);
  std::filesystem::path target = ToPath(path);
  if (target.is_relative()) target = base / target;
  target = Canonical(target);
  const auto [b, t] = std::mismatch(base.begin(), base.end(), target.begin(), target.end());
  if (b != base.end() || t == target.end()) return std::nullopt;
  return FromPath(target);
}

}  // namespace

std::optional<std::u16string> ResolveInWorkDir(std::u16string_view work_dir,
                                               std::u16string_view path) {
  // A path that cannot be resolved is as good as one outside.
  std::optional<std::u16string> resolved;
  IgnoreFailure([&] { resolved = Resolve(work_dir, path); });
  return resolved;
}

}  // namespace qnmuro
