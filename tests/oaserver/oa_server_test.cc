// The development OA server through plain HTTP requests: file serving, uploads and their
// confirmation, agents, credentials and sessions, and paths that try to leave its root.
#include "oaserver/oa_server.h"

#include <algorithm>
#include <filesystem>
#include <mutex>

#include "oaserver/oa_store.h"
#include "platform/http_client.h"
#include "support/transfer_fixture.h"

namespace qnmuro {
namespace {

namespace fs = std::filesystem;
using test_util::ReadBytes;
using test_util::WriteBytes;

class OaServerTest : public test::TransferTest {
 protected:
  void Start(std::vector<OaUser> users = {}) {
    fs::create_directories(root_ / "oa");
    WriteBytes(root_ / "oa" / "files" / "U1" / "a.doc", "attachment");
    WriteBytes(root_ / "oa" / "public" / U8(u"模板.doc"), "template");
    WriteBytes(root_ / "secret.txt", "outside");
    OaServerOptions options;
    options.root = root_ / "oa";
    options.users = std::move(users);
    options.log = [this](const std::string& line) {
      std::lock_guard<std::mutex> lock(mu_);
      log_.push_back(line);
    };
    server_ = std::make_unique<OaServer>(options);
    ASSERT_GT(server_->Start("127.0.0.1", 0, nullptr), 0);
  }

  struct Reply {
    int status = 0;
    std::string body;
  };
  Reply Call(const std::string& method, const std::string& target, const std::string& body = "",
             const std::string& user = "", const std::string& password = "",
             const std::string& cookie = "") {
    HttpRequest request;
    request.method = method;
    request.host = "127.0.0.1";
    request.port = server_->port();
    request.target = target;
    request.body = body;
    request.user = user;
    request.password = password;
    request.cookie = cookie;
    Reply reply;
    const HttpResponse response = http_->Send(request, [&](int, const char* data, size_t size) {
      reply.body.append(data, size);
      return true;
    });
    EXPECT_TRUE(response.ok()) << response.error_text;
    reply.status = response.status;
    return reply;
  }

  static bool Succeeded(const Reply& r) {
    return r.body.find("<result>success</result>") != std::string::npos;
  }

  std::mutex mu_;
  std::vector<std::string> log_;
  // Last: stopped before the log it writes into goes away.
  std::unique_ptr<OaServer> server_;
};

TEST_F(OaServerTest, ServesFilesForGetAndPost) {
  Start();
  for (const char* method : {"GET", "POST"}) {
    EXPECT_EQ(Call(method, "/oa/doc.nsf/0/U1/$file/a.doc").body, "attachment");
    EXPECT_EQ(Call(method, "/public/" + ToAnsi(u"模板.doc")).body, "template");  // ANSI bytes
    EXPECT_EQ(Call(method, "/public/" + U8(u"模板.doc")).body, "template");      // UTF-8 bytes
    EXPECT_EQ(Call(method, "/public/%E6%A8%A1%E6%9D%BF.doc").body, "template");
    EXPECT_EQ(Call(method, "/nothing").status, 404);
    EXPECT_EQ(Call(method, "/public").status, 404);  // a directory is no file
  }
}

TEST_F(OaServerTest, NoRequestPathLeavesTheRoot) {
  Start();
  fs::create_symlink(root_ / "secret.txt", root_ / "oa" / "public" / "link.txt");
  for (const char* target :
       {"/../secret.txt", "/public/../../secret.txt", "/%2e%2e/secret.txt", "/..%2fsecret.txt",
        "/public/link.txt", "/x/0/..%2F..%2F/$file/secret.txt", "/x/0/../$file/secret.txt",
        "/%2E%2E%5Csecret.txt"}) {
    const Reply reply = Call("GET", target);
    EXPECT_NE(reply.status, 200) << target;
    EXPECT_EQ(reply.body.find("outside"), std::string::npos) << target;
  }
}

TEST_F(OaServerTest, StoresUploadsAndConfirmsThemKeepingEveryVersion) {
  Start();
  const std::string confirm =
      "/oa/doc.nsf/save?OpenAgent&action=upload&unid=U7&method=replacecontent&ctlaction=10&"
      "lastflag=last&filename=YS5kb2M%3D";  // "a.doc"
  for (const char* version : {"one", "two", "three"}) {
    EXPECT_TRUE(Succeeded(Call("POST", "/upload.muro?filename=a.doc", version)));
    EXPECT_EQ(ReadBytes(root_ / "oa" / "incoming" / "a.doc"), version);
    EXPECT_TRUE(Succeeded(Call("POST", confirm)));
  }
  const fs::path dir = root_ / "oa" / "documents" / "U7";
  EXPECT_EQ(ReadBytes(dir / "a.doc"), "three");
  EXPECT_EQ(ReadBytes(dir / "a.doc.v1"), "one");
  EXPECT_EQ(ReadBytes(dir / "a.doc.v2"), "two");
  EXPECT_FALSE(fs::exists(root_ / "oa" / "incoming" / "a.doc"));
  // Nothing left to confirm.
  const Reply again = Call("POST", confirm);
  EXPECT_FALSE(Succeeded(again));
  EXPECT_NE(again.body.find("<result>"), std::string::npos);
}

TEST_F(OaServerTest, FaultsAreAnsweredWithAReasonNeverWithSuccess) {
  Start();
  EXPECT_TRUE(Succeeded(Call("POST", "/upload.muro?filename=a.doc", "x")));
  const std::string base = "/db/save?action=upload&method=replacecontent&lastflag=last";
  const struct {
    const char* target;
    const char* body;
  } cases[] = {
      {"/upload.muro?filename=", "x"},
      {"/upload.muro?filename=..", "x"},
      {"/upload.muro?filename=a%2Fb", "x"},
      {"/upload.muro?filename=..%5Cx", "x"},
      {"/db/save?action=upload&unid=..&method=replacecontent&filename=YS5kb2M=", ""},
      {"/db/save?action=upload&unid=U1&method=replacecontent&filename=Li4%3D", ""},  // ".."
      {"/db/save?action=upload&unid=U1&method=replacecontent&filename=!!!", ""},
      {"/db/save?action=upload&unid=U1&method=delete&filename=YS5kb2M=", ""},
      {"/db/unknown?OpenAgent&Login&Seq=", ""},
  };
  for (const auto& c : cases) {
    const Reply reply = Call("POST", c.target, c.body);
    EXPECT_FALSE(Succeeded(reply)) << c.target;
    EXPECT_NE(reply.body.find("<result>"), std::string::npos) << c.target;
  }
  EXPECT_FALSE(fs::exists(root_ / "oa" / "documents" / ".."));
  EXPECT_FALSE(fs::exists(root_ / "documents"));
}

TEST_F(OaServerTest, UsersNeedCredentialsForFilesAndConfirmationsAndASessionForAgents) {
  Start({OaUser{"zhangsan", "secret", "SessionID=abc"}});
  EXPECT_EQ(Call("GET", "/db/0/U1/$file/a.doc").status, 401);
  EXPECT_EQ(Call("GET", "/db/0/U1/$file/a.doc", "", "zhangsan", "wrong").status, 401);
  EXPECT_EQ(Call("GET", "/db/0/U1/$file/a.doc", "", "zhangsan", "secret").body, "attachment");
  // The file request itself goes without credentials, as the add-in sends it.
  EXPECT_TRUE(Succeeded(Call("POST", "/upload.muro?filename=a.doc", "x")));
  const std::string confirm =
      "/db/save?action=upload&unid=U1&method=replacecontent&filename=YS5kb2M=";
  EXPECT_EQ(Call("POST", confirm).status, 401);
  EXPECT_TRUE(Succeeded(Call("POST", confirm, "", "zhangsan", "secret")));
  EXPECT_EQ(Call("POST", "/db/ping?OpenAgent&Login&Seq=").status, 403);
  EXPECT_EQ(Call("POST", "/db/ping?OpenAgent&Login&Seq=", "", "", "", "SessionID=wrong").status,
            403);
  EXPECT_TRUE(
      Succeeded(Call("POST", "/db/ping?OpenAgent&Login&Seq=", "", "", "", "a=b; SessionID=abc")));
}

TEST_F(OaServerTest, LogsOneLinePerRequest) {
  Start();
  Call("GET", "/nothing");
  Call("POST", "/upload.muro?filename=" + ToAnsi(u"公文.doc"), "abc");
  server_->Stop();
  std::lock_guard<std::mutex> lock(mu_);
  ASSERT_EQ(log_.size(), 2u);
  // Lines are written once each reply is out, so their order may differ from the requests'.
  std::sort(log_.begin(), log_.end());
  EXPECT_EQ(log_[0], "127.0.0.1 \"GET /nothing\" 404 66");
  EXPECT_EQ(log_[1], "127.0.0.1 \"POST /upload.muro?filename=%B9%AB%CE%C4.doc\" 200 64");
}

TEST_F(OaServerTest, StartFailsCleanly) {
  OaServerOptions missing;
  missing.root = root_ / "missing";
  OaServer a(missing);
  std::string error;
  EXPECT_EQ(a.Start("127.0.0.1", 0, &error), -1);
  EXPECT_NE(error.find("no such directory"), std::string::npos);
  fs::create_directories(root_ / "oa");
  OaServerOptions bad_cert;
  bad_cert.root = root_ / "oa";
  bad_cert.cert_file = (root_ / "none.pem").string();
  bad_cert.key_file = (root_ / "none.key").string();
  OaServer b(bad_cert);
  EXPECT_EQ(b.Start("127.0.0.1", 0, &error), -1);
  EXPECT_NE(error.find("certificate"), std::string::npos);
  OaServerOptions fine;
  fine.root = root_ / "oa";
  OaServer c(fine);
  const int port = c.Start("127.0.0.1", 0, &error);
  ASSERT_GT(port, 0);
  OaServer d(fine);
  EXPECT_EQ(d.Start("127.0.0.1", port, &error), -1);  // address in use
  c.Stop();
  c.Stop();
}

}  // namespace
}  // namespace qnmuro
