// The clerk's sessions of the examples (open_actions.sh, toolbar.sh), run in Writer and on the
// simulated word processor against the development OA server: the transcripts agree line for
// line but for the differences listed below (and in docs/writer.md), and what the server received
// are Word 97 files that Writer reopens with the clerk's work in them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "base/text.h"
#include "lohost/writer_host.h"
#include "platform/clock.h"
#include "platform/ui.h"
#include "support/cli_runner.h"
#include "support/temp_dir.h"

namespace qnmuro::test_util {
namespace {

namespace fs = std::filesystem;

struct Session {
  const char* script;
  // What every version the server stored must hold, as Writer reopens it.
  const char16_t* sentence;
  bool seal;
};

const Session kSessions[] = {
    {"open_actions.sh", u"审核补充。", false},
    {"toolbar.sh", u"引入的文章：会议须知。", true},
};

struct Outcome {
  std::vector<std::string> lines;
  fs::path work;  // the example's work folder (OA server files in server/)
};

// Runs an example with one host; temporary folders and ports are written as placeholders so
// that two runs compare.
Outcome RunExample(const TempDir& scratch, const std::string& script, const std::string& host) {
  const fs::path bin = scratch / ("bin-" + host);
  fs::create_directories(bin);
  // No program is associated with the original draft: nothing of the machine is started.
  std::ofstream(bin / "xdg-mime") << "#!/bin/sh\nexit 1\n";
  fs::permissions(bin / "xdg-mime", fs::perms::owner_all);
  const char* path = std::getenv("PATH");
  const CliResult r =
      RunProgram((fs::path(QNMURO_SOURCE_DIR) / "examples" / script).string(), {QNMURO_BIN},
                 {"QNMURO_HOST=" + host, "TMPDIR=" + scratch.path().string(),
                  "PATH=" + bin.string() + ":" + (path != nullptr ? path : "/usr/bin:/bin")},
                 scratch);
  EXPECT_EQ(r.status, 0) << r.err << r.out;
  Outcome outcome;
  static const std::regex kPort("127\\.0\\.0\\.1:[0-9]+"), kTemp("/tmp[^ \"]*/tmp\\.[A-Za-z0-9]+"),
      kSealTime("Seal[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8}"),
      kShapePlace(" left=[^ ]+ top=[^ ]+ width=[^ ]+ height=[^ ]+| behind-text=[01]");
  std::istringstream in(r.out);
  for (std::string line; std::getline(in, line);) {
    std::smatch log;
    if (std::regex_search(line, log, std::regex("^== event log: (.*)/OAWork/comlog.txt$"))) {
      outcome.work = log[1].str();
    }
    line = std::regex_replace(std::regex_replace(line, kPort, "PORT"), kTemp, "TMP");
    line = std::regex_replace(line, kSealTime, "Seal<time>");  // named after the clock
    // A picture lies where each host's own page layout puts it, and Writer adds it behind
    // the text (docs/writer.md, "Where Writer differs"): only its name and visibility compare.
    line = std::regex_replace(line, kShapePlace, "");
    outcome.lines.push_back(line);
  }
  return outcome;
}

std::string FileStart(const fs::path& file, size_t n) {
  std::ifstream in(file, std::ios::binary);
  std::string bytes(n, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(n));
  bytes.resize(static_cast<size_t>(in.gcount()));
  return bytes;
}

// The lines of `a` and `b` outside their longest common subsequence, marked - and +.
std::string Unmatched(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  std::vector<std::vector<int>> common(a.size() + 1, std::vector<int>(b.size() + 1, 0));
  for (size_t i = a.size(); i-- > 0;) {
    for (size_t j = b.size(); j-- > 0;) {
      common[i][j] =
          a[i] == b[j] ? common[i + 1][j + 1] + 1 : std::max(common[i + 1][j], common[i][j + 1]);
    }
  }
  std::string out;
  size_t i = 0, j = 0;
  while (i < a.size() || j < b.size()) {
    if (i < a.size() && j < b.size() && a[i] == b[j]) {
      ++i, ++j;
    } else if (j == b.size() || (i < a.size() && common[i + 1][j] >= common[i][j + 1])) {
      out += "- sim:    " + a[i++] + "\n";
    } else {
      out += "+ writer: " + b[j++] + "\n";
    }
  }
  return out;
}

class ClerkSessionsTest : public ::testing::TestWithParam<Session> {};

TEST_P(ClerkSessionsTest, WriterAgreesWithTheSimulatedHostAndTheServerGetsWord97) {
  if (!lohost::WriterInstalled()) GTEST_SKIP() << "LibreOffice Writer is not installed";
  const Session& session = GetParam();
  const TempDir scratch;
  const Outcome sim = RunExample(scratch, session.script, "sim");
  const Outcome writer = RunExample(scratch, session.script, "libreoffice");
  ASSERT_FALSE(writer.work.empty());

  // Line for line: the lines of either transcript that the other lacks.
  EXPECT_EQ(Unmatched(sim.lines, writer.lines), "") << "transcripts differ";

  // Every version the server stored is a Word 97 file that Writer reopens with the merged
  // title and the clerk's work.
  ScriptedUi ui;
  const auto clock = NewVirtualClock(std::chrono::system_clock::now());
  const std::unique_ptr<hostkit::ScriptHost> app =
      lohost::StartWriterHost(hostkit::HostOptions{&ui, clock.get(), FromPath(scratch.path())}, {});
  int versions = 0, reviewed = 0;
  for (const auto& entry : fs::directory_iterator(writer.work / "server" / "documents" / "6F2A")) {
    ++versions;
    SCOPED_TRACE(entry.path().string());
    EXPECT_EQ(FileStart(entry.path(), 4), "\xD0\xCF\x11\xE0");
    const std::shared_ptr<host::Document> doc =
        app->GetDocuments().Open(FromPath(entry.path()), true);
    const std::u16string text = doc->Content()->Text();
    EXPECT_NE(text.find(u"关于召开年度工作会议的通知"), std::u16string::npos);
    EXPECT_NE(text.find(session.sentence), std::u16string::npos);
    for (const hostkit::RevisionInfo& r : app->Revisions(*doc)) {
      reviewed += r.author == u"张三/办公室/青禾" && r.text == u"审核补充。";
    }
    if (session.seal) {
      bool sealed = false;
      for (const hostkit::ShapeInfo& s : app->ShapeInfos(*doc))
        sealed |= s.name.starts_with(u"Seal");
      EXPECT_TRUE(sealed) << "no seal picture";
    }
    doc->Close();
  }
  EXPECT_GE(versions, 3);
  // The approval's tracked insertion travels to the server (finalisation accepts it).
  if (!session.seal) {
    EXPECT_GE(reviewed, 1);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ClerkSessionsTest, ::testing::ValuesIn(kSessions), [](const auto& info) {
      return std::string(info.param.script).substr(0, std::string(info.param.script).find('.'));
    });

}  // namespace
}  // namespace qnmuro::test_util
