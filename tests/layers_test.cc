// The folders of src/ are layers: a file includes only from its own folder and the folders
// below it. This test reads every #include "folder/..." line and names each one that points
// up or sideways. It also holds the platform boundary (a header that pulls in the Windows API
// says so in its name, unless its whole folder is the Windows-only COM edge) and the size of
// the sources.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// Each folder and the folders it may include from (besides itself).
const std::map<std::string, std::set<std::string>>& AllowedIncludes() {
  static const std::map<std::string, std::set<std::string>> table = [] {
    std::map<std::string, std::set<std::string>> t;
    t["base"] = {};
    t["host"] = {"base"};
    t["platform"] = {"base"};
    t["common"] = {"platform", "base"};
    t["config"] = {"common", "platform", "base"};
    t["transfer"] = {"config", "common", "platform", "base"};
    t["datasource"] = {"host", "config", "common", "platform", "base"};
    t["workflow"] = {"datasource", "transfer", "host", "config", "common", "platform", "base"};
    t["seals"] = t["workflow"];
    t["seals"].insert("workflow");
    t["addin"] = t["seals"];
    t["addin"].insert("seals");
    t["hostkit"] = {"host", "platform", "base"};
    t["simhost"] = {"hostkit", "host", "platform", "common", "base"};
    t["oaserver"] = {"platform", "common", "base"};
    t["com"] = t["addin"];
    t["com"].insert("addin");
    t["lohost"] = t["addin"];
    t["lohost"].insert({"addin", "hostkit"});
    t["hosts"] = t["lohost"];
    t["hosts"].insert({"lohost", "simhost"});
    return t;
  }();
  return table;
}

// "src/<folder>/<file>: #include "<target>/..."" for each include the table forbids.
std::vector<std::string> Violations(const fs::path& src) {
  static const std::regex kInclude(R"re(^\s*#\s*include\s*"([a-z_]+)/)re");
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(src)) {
    if (!entry.is_regular_file()) continue;
    const fs::path rel = fs::relative(entry.path(), src);
    const std::string folder = rel.begin()->string();
    if (folder == "cli") continue;  // the command may use anything
    const auto allowed = AllowedIncludes().find(folder);
    std::ifstream in(entry.path());
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
      ++number;
      std::smatch m;
      if (!std::regex_search(line, m, kInclude)) continue;
      const std::string target = m[1];
      if (target == folder) continue;
      if (allowed != AllowedIncludes().end() && allowed->second.count(target) != 0) continue;
      found.push_back("src/" + rel.generic_string() + ":" + std::to_string(number) + ": " + line +
                      (allowed == AllowedIncludes().end() ? "  (folder not in the table)" : ""));
    }
  }
  return found;
}

TEST(LayersTest, IncludesPointOnlyDownTheLayerTable) {
  const std::vector<std::string> found = Violations(fs::path(QNMURO_SOURCE_DIR) / "src");
  std::string report;
  for (const std::string& v : found) report += v + "\n";
  EXPECT_TRUE(found.empty()) << "includes that point up or sideways:\n" << report;
}

// "src/<file>: <why>" for each source that breaks the boundary or the size rule.
std::vector<std::string> BoundaryAndSize(const fs::path& src) {
  static const std::regex kWindowsHeader(
      R"re(^\s*#\s*include\s*<(windows|ole2|objbase|oaidl|msxml\d*|wininet|urlmon)\.h>)re");
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(src)) {
    if (!entry.is_regular_file()) continue;
    const std::string rel = fs::relative(entry.path(), src).generic_string();
    std::ifstream in(entry.path());
    std::string line;
    int lines = 0;
    bool windows = false;
    while (std::getline(in, line)) {
      ++lines;
      windows = windows || std::regex_search(line, kWindowsHeader);
    }
    const bool marked = rel.ends_with("_win.h") || rel.starts_with("com/");
    if (rel.ends_with(".h") && windows && !marked)
      found.push_back(rel + ": Windows-only, unmarked");
    if (lines > 800) found.push_back(rel + ": " + std::to_string(lines) + " lines");
  }
  return found;
}

TEST(LayersTest, WindowsHeadersAreMarkedAndFilesStaySmall) {
  std::string report;
  for (const std::string& v : BoundaryAndSize(fs::path(QNMURO_SOURCE_DIR) / "src")) {
    report += v + "\n";
  }
  EXPECT_EQ(report, "");
}

TEST(LayersTest, CatchesAnUpwardInclude) {
  const qnmuro::test_util::TempDir temp;
  const fs::path& dir = temp.path();
  fs::create_directories(dir / "common");
  fs::create_directories(dir / "cli");
  std::ofstream(dir / "common" / "x.cc")
      << "#include \"common/y.h\"\n#include \"addin/wps_addin.h\"\n";
  std::ofstream(dir / "cli" / "main.cc") << "#include \"addin/wps_addin.h\"\n";
  const std::vector<std::string> found = Violations(dir);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0], "src/common/x.cc:2: #include \"addin/wps_addin.h\"");
}

}  // namespace
