// The folders of src/ are layers (src/layers.txt): a file includes only from its own folder and
// the folders below it. This test reads every #include "folder/..." line and names each one that
// points up or sideways. It also holds the platform boundary (a header that pulls in the Windows
// API says so in its name, unless its whole folder is the Windows-only COM edge) and the size of
// the sources.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// Each folder and the folders it may include from (besides itself), from src/layers.txt: the
// folders on its line and, in turn, what those build on. A folder of "*" may include anything.
using LayerTable = std::map<std::string, std::set<std::string>>;

LayerTable ReadLayerTable(const fs::path& file) {
  LayerTable direct;
  std::ifstream in(file);
  std::string line;
  static const std::regex kLine(R"re(^([a-z_]+):(.*)$)re");
  while (std::getline(in, line)) {
    std::smatch m;
    if (!std::regex_match(line, m, kLine)) continue;
    std::set<std::string>& below = direct[m[1]];
    std::istringstream words(m[2].str());
    for (std::string word; words >> word;) below.insert(word);
  }
  LayerTable closed;
  for (const auto& [folder, below] : direct) {
    std::set<std::string>& all = closed[folder];
    std::vector<std::string> todo(below.begin(), below.end());
    while (!todo.empty()) {
      const std::string next = todo.back();
      todo.pop_back();
      if (!all.insert(next).second) continue;
      if (const auto it = direct.find(next); it != direct.end()) {
        todo.insert(todo.end(), it->second.begin(), it->second.end());
      }
    }
  }
  return closed;
}

const LayerTable& AllowedIncludes() {
  static const LayerTable table =
      ReadLayerTable(fs::path(QNMURO_SOURCE_DIR) / "src" / "layers.txt");
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
    const auto allowed = AllowedIncludes().find(folder);
    if (allowed != AllowedIncludes().end() && allowed->second.count("*") != 0) continue;
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

TEST(LayersTest, TheTableClosesOverWhatEachLayerBuildsOn) {
  const LayerTable& table = AllowedIncludes();
  ASSERT_TRUE(table.count("addin"));
  // addin builds on commands only; base comes to it through every layer between.
  EXPECT_TRUE(table.at("addin").count("base"));
  EXPECT_TRUE(table.at("addin").count("transfer"));
  EXPECT_FALSE(table.at("addin").count("simhost"));
  EXPECT_TRUE(table.at("base").empty());
  // Every folder of src/ has its line (CMake refuses one without, too).
  for (const auto& entry : fs::directory_iterator(fs::path(QNMURO_SOURCE_DIR) / "src")) {
    if (!entry.is_directory()) continue;
    EXPECT_TRUE(table.count(entry.path().filename().string())) << entry.path().filename();
  }
}

TEST(LayersTest, IncludesPointOnlyDownTheLayerTable) {
  const std::vector<std::string> found = Violations(fs::path(QNMURO_SOURCE_DIR) / "src");
  std::string report;
  for (const std::string& v : found) report += v + "\n";
  EXPECT_TRUE(found.empty()) << "includes that point up or sideways:\n" << report;
}

// "src/<file>: <why>" for each source that breaks the boundary or the size rules (800 lines a
// file, 80 a function).
std::vector<std::string> BoundaryAndSize(const fs::path& src) {
  static const std::regex kWindowsHeader(
      R"re(^\s*#\s*include\s*<(windows|ole2|objbase|oaidl|msxml\d*|wininet|urlmon)\.h>)re");
  // A function definition as the house style writes it: its signature's last line at the left
  // margin, ending with the opening brace, which a closing brace at the margin ends.
  static const std::regex kFunctionStart(
      R"re(^(?!namespace|class|struct|enum|union|extern|#|//)[A-Za-z_][^=;]*\)[^;=]*\{$)re");
  std::vector<std::string> found;
  for (const auto& entry : fs::recursive_directory_iterator(src)) {
    if (!entry.is_regular_file()) continue;
    const std::string rel = fs::relative(entry.path(), src).generic_string();
    std::ifstream in(entry.path());
    std::string line;
    int lines = 0;
    bool windows = false;
    int body_from = 0;  // the line that opened the function body being read, or 0
    while (std::getline(in, line)) {
      ++lines;
      windows = windows || std::regex_search(line, kWindowsHeader);
      if (body_from == 0 && std::regex_search(line, kFunctionStart)) body_from = lines;
      if (body_from != 0 && line.starts_with("}")) {
        if (lines - body_from - 1 > 80) {
          found.push_back(rel + ":" + std::to_string(body_from) + ": a function of " +
                          std::to_string(lines - body_from - 1) + " lines");
        }
        body_from = 0;
      }
    }
    const bool marked = rel.ends_with("_win.h") || rel.starts_with("com/");
    if (rel.ends_with(".h") && windows && !marked)
      found.push_back(rel + ": Windows-only, unmarked");
    if (lines > 800) found.push_back(rel + ": " + std::to_string(lines) + " lines");
  }
  return found;
}

TEST(LayersTest, WindowsHeadersAreMarkedAndFilesAndFunctionsStaySmall) {
  std::string report;
  for (const std::string& v : BoundaryAndSize(fs::path(QNMURO_SOURCE_DIR) / "src")) {
    report += v + "\n";
  }
  EXPECT_EQ(report, "");
}

TEST(LayersTest, CatchesAFunctionOverEightyLines) {
  const qnmuro::test_util::TempDir temp;
  const fs::path& dir = temp.path();
  fs::create_directories(dir / "common");
  const auto body = [](int lines) {
    std::string text;
    for (int i = 0; i < lines; ++i) text += "  Step();\n";
    return text;
  };
  std::ofstream(dir / "common" / "x.cc") << "namespace qnmuro {\n\nvoid Short(int a) {\n"
                                         << body(80) << "}\n\n"
                                         << "bool Widget::Long(const std::string& s) const {\n"
                                         << body(81) << "}\n\n"
                                         << "}  // namespace qnmuro\n";
  const std::vector<std::string> found = BoundaryAndSize(dir);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0], "common/x.cc:86: a function of 81 lines");
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
