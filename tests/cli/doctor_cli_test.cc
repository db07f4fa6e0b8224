// qnmuro doctor: each check on its own, as a desktop can be: a registry the clerk may not write,
// no work directory, an OA server that is not there.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <regex>
#include <string>

#include "support/cli_runner.h"
#include "support/refusing_port.h"
#include "support/temp_dir.h"

namespace qnmuro::test_util {
namespace {

namespace fs = std::filesystem;

class DoctorCliTest : public ::testing::Test {
 protected:
  fs::path work() const { return dir_ / "work"; }
  CliResult Run(const std::vector<std::string>& args) {
    return RunQnmuro(args,
                     {"QNMURO_WORKDIR=" + work().string(),
                      "QNMURO_REGISTRY=" + (dir_ / "registry.reg").string()},
                     scratch_);
  }
  // The check `name` of the JSON output: {"name":...,"ok":...,"detail":...}.
  static std::string Check(const std::string& json, const std::string& name) {
    const size_t at = json.find("{\"name\":\"" + name + "\"");
    return at == std::string::npos ? "" : json.substr(at, json.find('}', at) - at + 1);
  }

  TempDir dir_;
  TempDir scratch_;
  RefusingPort nowhere_;
};

TEST_F(DoctorCliTest, EachCheckSaysWhatIsWrong) {
  std::string control = ReadBytes(fs::path(QNMURO_SOURCE_DIR) / "examples" / "control.xml");
  control =
      std::regex_replace(control, std::regex("http://127\\.0\\.0\\.1:8080"), nowhere_.url(""));
  const struct {
    const char* what;
    std::function<void()> setup;
    const char* name;
    bool ok;
    std::string detail;
  } cases[] = {
      {"no identity key", [] {}, "CurrentFile writable", false, "is not there: the OA client"},
      {"a key the clerk can write",
       [&] {
         Run({"registry", "set", "CurrentFile", "a.doc"});
       },
       "CurrentFile writable", true, "this user can clear it"},
      {"a registry the clerk may not write",
       [&] { fs::permissions(dir_ / "registry.reg", fs::perms::owner_read); },
       "CurrentFile writable", false, "this user cannot write it (system error"},
      {"no work directory", [] {}, "work directory", false, "is not there"},
      {"a work directory", [&] { fs::create_directories(work()); }, "work directory", true,
       "can create, write and delete files"},
      {"nothing handed over yet", [] {}, "OA server", true, "no control file"},
      {"a server that is not there", [&] { WriteBytes(work() / "a.xml", control); }, "OA server",
       false, "refused the connection"},
  };
  for (const auto& c : cases) {
    c.setup();
    const CliResult r = Run({"doctor", "--json"});
    const std::string check = Check(r.out, c.name);
    EXPECT_NE(check.find(std::string("\"ok\":") + (c.ok ? "true" : "false")), std::string::npos)
        << c.what << "\n"
        << r.out;
    EXPECT_NE(check.find(c.detail), std::string::npos) << c.what << "\n" << check;
    if (!c.ok) {
      EXPECT_EQ(r.status, 1) << c.what;
    }
    EXPECT_NE(r.out.find(",\"ok\":" + std::string(r.status == 0 ? "true}" : "false}")),
              std::string::npos)
        << r.out;
  }
  // The same checks for people, a line each.
  const CliResult text = Run({"doctor"});
  EXPECT_NE(text.out.find("FAIL  OA server: " + nowhere_.url("/oa/doc.nsf")), std::string::npos)
      << text.out;
  EXPECT_NE(text.out.find("ok    log: " + (work() / "comlog.txt").string()), std::string::npos)
      << text.out;
}

}  // namespace
}  // namespace qnmuro::test_util
