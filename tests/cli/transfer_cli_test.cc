// The oa-server, transfer and agent commands of the real binary, talking to each other on
// 127.0.0.1.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>

#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

struct Output {
  int status = -1;
  std::string text;
};

Output RunCommand(const std::string& command) {
  Output out;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.text.append(buffer, n);
  const int status = pclose(pipe);
  out.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return out;
}

class TransferCliTest : public ::testing::Test {
 protected:
  TransferCliTest() {
    fs::create_directories(dir_ / "oa" / "files" / "U1");
    fs::create_directories(dir_ / "work");
    std::ofstream(dir_ / "oa" / "files" / "U1" / "a.doc", std::ios::binary) << "attachment";
  }
  ~TransferCliTest() override { StopServer(SIGTERM); }

  // Starts `qnmuro oa-server --port 0` (checking the users of `users` when given) and reads
  // the address it prints.
  void StartServer(const std::string& users = "") {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    server_pid_ = fork();
    ASSERT_GE(server_pid_, 0);
    if (server_pid_ == 0) {
      dup2(fds[1], STDOUT_FILENO);
      close(fds[0]);
      close(fds[1]);
      const std::string root = (dir_ / "oa").string();
      if (users.empty()) {
        execl(QNMURO_BIN, QNMURO_BIN, "oa-server", "--root", root.c_str(), "--port", "0",
              static_cast<char*>(nullptr));
      } else {
        execl(QNMURO_BIN, QNMURO_BIN, "oa-server", "--root", root.c_str(), "--port", "0", "--users",
              users.c_str(), static_cast<char*>(nullptr));
      }
      _exit(127);
    }
    close(fds[1]);
    server_out_ = fdopen(fds[0], "r");
    char line[512] = {0};
    ASSERT_NE(fgets(line, sizeof line, server_out_), nullptr);
    std::smatch match;
    const std::string text = line;
    ASSERT_TRUE(std::regex_search(text, match, std::regex("http://127\\.0\\.0\\.1:([0-9]+)/")))
        << text;
    base_ = "http://127.0.0.1:" + match[1].str();
    std::string control =
        qnmuro::test_util::ReadBytes(fs::path(QNMURO_SOURCE_DIR) / "examples" / "control.xml");
    control = std::regex_replace(control, std::regex("http://127\\.0\\.0\\.1:8080"), base_);
    std::ofstream(dir_ / "control.xml", std::ios::binary) << control;
  }

  // Stops the server; returns its exit status and the rest of its output.
  Output StopServer(int signal_number) {
    Output out;
    if (server_pid_ <= 0) return out;
    kill(server_pid_, signal_number);
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, server_out_)) > 0) out.text.append(buffer, n);
    fclose(server_out_);
    int status = 0;
    waitpid(server_pid_, &status, 0);
    server_pid_ = -1;
    out.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
  }

  Output Qnmuro(const std::string& args) {
    return RunCommand("QNMURO_WORKDIR='" + (dir_ / "work").string() + "' QNMURO_REGISTRY='" +
                      (dir_ / "registry.reg").string() + "' " + QNMURO_BIN + " " + args);
  }
  std::string Config() const { return " --config '" + (dir_ / "control.xml").string() + "'"; }

  qnmuro::test_util::TempDir dir_;
  pid_t server_pid_ = -1;
  FILE* server_out_ = nullptr;
  std::string base_;
};

TEST_F(TransferCliTest, DownloadUploadAndAgentGoThroughTheServer) {
  StartServer();
  Output out =
      Qnmuro("transfer download '" + base_ + "/oa/doc.nsf/0/U1/$file/a.doc' got.doc" + Config());
  EXPECT_EQ(out.status, 0) << out.text;
  EXPECT_NE(out.text.find((dir_ / "work" / "comlog.txt").string()), std::string::npos);
  EXPECT_EQ(qnmuro::test_util::ReadBytes(dir_ / "work" / "got.doc"), "attachment");

  out = Qnmuro("transfer download '" + base_ + "/missing' x.doc" + Config());
  EXPECT_EQ(out.status, 1) << out.text;
  EXPECT_NE(out.text.find("download failed: the server answered 404 Not Found (the add-in logs: #"),
            std::string::npos)
      << out.text;
  // The OA side's hand-over: fetched through the add-in's download, named after the address.
  out = Qnmuro("handover '" + base_ + "/oa/doc.nsf/0/U1/$file/a.doc'" + Config());
  EXPECT_EQ(out.status, 0) << out.text;
  EXPECT_EQ(qnmuro::test_util::ReadBytes(dir_ / "work" / "a.doc"), "attachment");
  EXPECT_TRUE(fs::exists(dir_ / "work" / "a.xml"));
  EXPECT_EQ(Qnmuro("registry get CurrentFile").text, "a.doc\n");
  out = Qnmuro("handover '" + base_ + "/missing.doc'" + Config());
  EXPECT_EQ(out.status, 1) << out.text;
  EXPECT_FALSE(fs::exists(dir_ / "work" / "missing.xml"));  // nothing placed after a failure
  out = Qnmuro("transfer download '" + base_ + "/oa/doc.nsf/0/U1/$file/a.doc' ../x.doc" + Config());
  EXPECT_EQ(out.status, 1) << out.text;
  EXPECT_FALSE(fs::exists(dir_ / "x.doc"));

  out = Qnmuro("transfer upload '" + (dir_ / "work" / "got.doc").string() + "' '" + base_ +
               "/oa/doc.nsf/save?OpenAgent&action=upload&unid=6F2A&method=replacecontent&"
               "ctlaction=10'" +
               Config());
  EXPECT_EQ(out.status, 0) << out.text;
  EXPECT_EQ(qnmuro::test_util::ReadBytes(dir_ / "oa" / "documents" / "6F2A" / "got.doc"),
            "attachment");

  out = Qnmuro("agent echo --para '&id=1' --data body" + Config());
  EXPECT_EQ(out.status, 0) << out.text;
  EXPECT_EQ(out.text, "echoOpenAgent&id=1&Login&Seq=body\n");
  out = Qnmuro("agent nosuch" + Config());  // the server refuses it with 404
  EXPECT_EQ(out.status, 1) << out.text;
  EXPECT_EQ(out.text, "qnmuro: agent: the server answered 404 Not Found: unknown agent nosuch\n");
  out = Qnmuro("agent ping --xml" + Config());
  EXPECT_EQ(out.text, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<result>success</result>\n\n");

  const Output server = StopServer(SIGTERM);
  EXPECT_EQ(server.status, 0);
  EXPECT_NE(server.text.find("\"POST /upload.muro?filename=got.doc\" 200"), std::string::npos)
      << server.text;
  EXPECT_NE(server.text.find("qnmuro oa-server: stopped"), std::string::npos);
}

TEST_F(TransferCliTest, StopsCleanlyOnInterrupt) {
  StartServer();
  const Output server = StopServer(SIGINT);
  EXPECT_EQ(server.status, 0);
}

TEST_F(TransferCliTest, AFailedTransferSaysWhyInWords) {
  std::ofstream(dir_ / "users", std::ios::binary) << "zhangsan:another password\n";
  StartServer((dir_ / "users").string());
  const std::string upload = "'" + base_ + "/oa/doc.nsf/upload?OpenAgent&unid=6F2A'";
  const std::string file = "'" + (dir_ / "oa" / "files" / "U1" / "a.doc").string() + "'";
  const struct {
    std::string args;
    const char* reason;  // right after "failed: "
  } cases[] = {
      {"transfer download '" + base_ + "/nothing.doc' x.doc",
       "the server answered 401 Unauthorized (it refused the user zhangsan)"},
      {"transfer upload " + file + " " + upload,
       "the server answered 403 Forbidden (it refused the user zhangsan)"},
      {"transfer download http://127.0.0.1:1/a.doc x.doc",
       "127.0.0.1:1 refused the connection (no server listens there, or a firewall says no)"},
  };
  for (const auto& c : cases) {
    const Output out = Qnmuro(c.args + Config());
    EXPECT_EQ(out.status, 1) << c.args;
    EXPECT_NE(out.text.find(std::string("failed: ") + c.reason + " (the add-in logs: #"),
              std::string::npos)
        << out.text;
  }
}

TEST_F(TransferCliTest, ReportsUsableErrors) {
  EXPECT_EQ(Qnmuro("transfer download http://127.0.0.1:1/a b").status, 2);  // no --config
  const Output missing = Qnmuro("agent echo --config /nonexistent/control.xml");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.text.find("cannot load the control file"), std::string::npos) << missing.text;
  EXPECT_EQ(Qnmuro("oa-server --root /nonexistent/dir").status, 2);
  EXPECT_EQ(RunCommand("echo 'x' > '" + (dir_ / "users").string() + "'").status, 0);
  EXPECT_EQ(Qnmuro("oa-server --root '" + dir_.path().string() + "' --users '" +
                   (dir_ / "users").string() + "'")
                .status,
            2);
}

}  // namespace
