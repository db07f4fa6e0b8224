// UploadFileByStream: the exact two requests, the reply file, and the development server
// storing what arrives.
#include <chrono>
#include <filesystem>

#include "oaserver/oa_server.h"
#include "platform/file_io.h"
#include "platform/services_posix.h"
#include "support/operation.h"
#include "support/refusing_port.h"
#include "support/transfer_fixture.h"
#include "transfer/http_operation.h"
#include "transfer/raw_http_server.h"

namespace qnmuro {
namespace {

namespace fs = std::filesystem;
using test::RandomBytes;
using test::RawHttpServer;
using test::RawReply;
using test::RawRequest;
using test_util::ReadBytes;
using test_util::WriteBytes;

constexpr char kSuccess[] = "<result>success</result>";

class UploadTest : public test::TransferTest {
 protected:
  bool Upload(const std::string& url, const fs::path& file,
              const std::u16string& user = u"zhangsan",
              const std::u16string& password = u"secret") {
    const auto op = test::NewOperation(ctx_, url, FromPath(file), user, password);
    const bool ok = op->UploadFileByStream();
    left_dest_ = op->DestFile();
    left_user_ = op->HttpUser();
    return ok;
  }

  std::u16string left_dest_;
  std::u16string left_user_;
};

// The file goes to "upload.muro" under its name as GBK bytes ("&", "#" and "%" would end or bend
// the query value, a GBK trail byte 0x5C reads as "\": such characters go percent-encoded as
// their GBK bytes); the confirmation joins the address's query with "?" or "&" and names the
// file in Base64 of those bytes. "https" in an address or a name is no reason for TLS.
TEST_F(UploadTest, TheTwoRequestsNameTheFileAndJoinTheConfirmationToTheAddress) {
  const struct {
    std::u16string name;
    const char* path;
    std::string target;     // of the upload
    const char* confirmed;  // of the confirmation
  } cases[] = {
      {u"a.doc", "/doc", "/upload.muro?filename=a.doc", "/doc?lastflag=last&filename=YS5kb2M="},
      {u"a.doc", "/doc?OpenAgent", "/upload.muro?filename=a.doc",
       "/doc?OpenAgent&lastflag=last&filename=YS5kb2M="},
      {u"https_notes.doc", "/https/save?OpenAgent", "/upload.muro?filename=https_notes.doc",
       "/https/save?OpenAgent&lastflag=last&filename=aHR0cHNfbm90ZXMuZG9j"},
      {u"公文+1.doc", "/doc", "/upload.muro?filename=\xB9\xAB\xCE\xC4+1.doc",
       "/doc?lastflag=last&filename=uavOxCsxLmRvYw=="},
      {u"a&b=c.doc", "/doc", "/upload.muro?filename=a%26b=c.doc",
       "/doc?lastflag=last&filename=YSZiPWMuZG9j"},
      {u"#1 50%.doc", "/doc", "/upload.muro?filename=%231%2050%25.doc",
       "/doc?lastflag=last&filename=IzEgNTAlLmRvYw=="},
      {u"淺說.doc", "/doc",
       "/upload.muro?filename=%9C%5C\xD5"
       "f.doc",
       "/doc?lastflag=last&filename=nFzVZi5kb2M="},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(U8(c.name) + " to " + c.path);
    const fs::path file = work_ / ToPath(c.name);
    WriteBytes(file, U8(c.name));
    RawHttpServer server(
        [&](const RawRequest&, int) { return RawHttpServer::Reply(200, kSuccess); });
    ASSERT_TRUE(Upload(server.url(c.path), file)) << LogText();
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].target(), c.target);
    EXPECT_EQ(requests[0].body, U8(c.name));
    EXPECT_EQ(requests[1].target(), c.confirmed);
  }
}

TEST_F(UploadTest, RepliesAreTrimmedAndCompared) {
  struct Case {
    const char* reply;
    bool ok;
    bool kept;  // uploadres.xml stays for inspection
    const char* message;
  };
  const Case cases[] = {
      {"<result>  SUCCESS </result>", true, false, ""},
      {"<result>fail</result>", false, true, "服务器返回错误：<result>fail</result>"},
      {"not xml at all", false, false, "无法解析上载处理结果！"},
      {"", false, false, "无法解析上载处理结果！"},
      {"<other>success</other>", false, true, ""},
  };
  WriteBytes(work_ / "a.doc", "abc");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply);
    WriteBytes(work_ / "uploadres.xml", "stale");
    RawHttpServer server(
        [&](const RawRequest&, int) { return RawHttpServer::Reply(200, c.reply); });
    EXPECT_EQ(Upload(server.url("/doc"), work_ / "a.doc"), c.ok);
    EXPECT_EQ(server.requests().size(), c.ok ? 2u : 1u);  // no confirmation after a refusal
    EXPECT_EQ(fs::exists(work_ / "uploadres.xml"), c.kept);
    if (c.kept) {
      EXPECT_EQ(ReadBytes(work_ / "uploadres.xml"), c.reply);
    }
    if (!c.ok) {
      EXPECT_EQ(U8(LogLines().back())
                    .rfind(std::string("通过wininet上传文件时发生错误：") + c.message +
                               server.url("/upload.muro?filename=a.doc"),
                           0),
                0u)
          << LogText();
      EXPECT_TRUE(left_user_.empty());  // the first request's empty credentials stay
    }
    EXPECT_EQ(ReadBytes(work_ / "a.doc"), "abc");
  }
}

TEST_F(UploadTest, AnEmptyOrMissingFileIsNotSent) {
  RawHttpServer server([&](const RawRequest&, int) { return RawHttpServer::Reply(200, kSuccess); });
  WriteBytes(work_ / "empty.doc", "");
  EXPECT_FALSE(Upload(server.url("/doc"), work_ / "empty.doc"));
  auto lines = LogLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(
      U8(lines[0]).rfind(
          "读取文件" + (work_ / "empty.doc").string() + "时发生错误：Subscript out of range(9:", 0),
      0u)
      << LogText();
  EXPECT_EQ(U8(lines[1]).rfind("通过wininet上传文件时发生错误：" +
                                   server.url("/upload.muro?filename=empty.doc") +
                                   "Subscript out of range(9:",
                               0),
            0u);
  EXPECT_FALSE(Upload(server.url("/doc"), work_ / "missing.doc"));
  EXPECT_NE(U8(LogLines().back()).find("File not found(53:"), std::string::npos) << LogText();
  EXPECT_TRUE(server.requests().empty());
}

TEST_F(UploadTest, FailuresLeaveTheDocumentAndItsBackupIntact) {
  const std::string body = RandomBytes(50000);
  WriteBytes(work_ / "a.doc", body);
  WriteBytes(work_ / "qnoawork.bak" / "a.doc", body);
  const test_util::RefusingPort nowhere;
  const std::string refused = nowhere.url("/doc");
  EXPECT_FALSE(Upload(refused, work_ / "a.doc"));
  EXPECT_EQ(U8(LogLines().back()), "通过wininet上传文件时发生错误：无法发送Internet请求" +
                                       refused.substr(0, refused.find("/doc")) +
                                       "/upload.muro?filename=a.doc(0:7) Err.Source= Err.Number=0");
  RawHttpServer closing([&](const RawRequest&, int) { return RawReply{"", true}; });
  EXPECT_FALSE(Upload(closing.url("/doc"), work_ / "a.doc"));
  // A server that never answers (a one-byte file, so that the stall shows quickly).
  WriteBytes(work_ / "b.doc", "b");
  RawHttpServer silent([&](const RawRequest&, int) { return RawReply{"", false, true}; });
  EXPECT_FALSE(Upload(silent.url("/doc"), work_ / "b.doc"));
  EXPECT_EQ(U8(LogLines().back()).rfind("通过wininet上传文件时发生错误：无法发送Internet请求", 0),
            0u);
  EXPECT_EQ(ReadBytes(work_ / "b.doc"), "b");
  EXPECT_EQ(ReadBytes(work_ / "a.doc"), body);
  EXPECT_EQ(ReadBytes(work_ / "qnoawork.bak" / "a.doc"), body);
}

// Drops the connection of one chosen request, as a network that fails half-way would.
class DroppingHttpClient : public HttpClientWrapper {
 public:
  DroppingHttpClient(HttpClient* target, int drop) : HttpClientWrapper(target), drop_(drop) {}
  HttpResponse Send(const HttpRequest& request, const HttpSink& sink, size_t max_chunk) override {
    if (calls_++ == drop_) {
      HttpResponse response;
      response.failed = HttpStage::kSend;
      response.error_code = 56;  // the library's "failure when receiving data"
      return response;
    }
    return HttpClientWrapper::Send(request, sink, max_chunk);
  }

 private:
  int drop_;
  int calls_ = 0;
};

TEST_F(UploadTest, ALostConfirmationFailsTheUpload) {
  WriteBytes(work_ / "a.doc", "abc");
  RawHttpServer server([&](const RawRequest&, int) { return RawHttpServer::Reply(200, kSuccess); });
  DroppingHttpClient dropping(http_.get(), 1);
  ctx_.http = &dropping;
  EXPECT_FALSE(Upload(server.url("/doc?OpenAgent"), work_ / "a.doc"));
  ctx_.http = http_.get();
  EXPECT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(U8(LogLines().back()),
            "通过wininet上传文件时发生错误：无法发送Internet请求" +
                server.url("/doc?OpenAgent&lastflag=last&filename=YS5kb2M=") +
                "(0:56) Err.Source= Err.Number=0");
  EXPECT_EQ(ReadBytes(work_ / "a.doc"), "abc");
}

class UploadToOaServerTest : public UploadTest {
 protected:
  void StartServer(std::vector<OaUser> users = {}, OaAuthScheme auth = OaAuthScheme::kBasic) {
    fs::create_directories(root_ / "oa");
    OaServerOptions options;
    options.root = root_ / "oa";
    options.users = std::move(users);
    options.auth = auth;
    server_ = std::make_unique<OaServer>(options);
    ASSERT_GT(server_->Start("127.0.0.1", 0, nullptr), 0);
  }
  std::string SaveUrl() const {
    return server_->BaseUrl() +
           "/oa/doc.nsf/save?OpenAgent&action=upload&unid=U1&method=replacecontent&ctlaction=10";
  }
  std::unique_ptr<OaServer> server_;
};

TEST_F(UploadToOaServerTest, StoresEachConfirmedVersion) {
  StartServer();
  const fs::path file = work_ / U8(u"公文.doc");
  const fs::path stored = root_ / "oa" / "documents" / "U1" / U8(u"公文.doc");
  const std::string first = RandomBytes(3 << 20, 1);
  const std::string second = RandomBytes(70001, 2);
  WriteBytes(file, first);
  ASSERT_TRUE(Upload(SaveUrl(), file)) << LogText();
  EXPECT_EQ(ReadBytes(stored), first);
  WriteBytes(file, second);
  ASSERT_TRUE(Upload(SaveUrl(), file)) << LogText();
  EXPECT_EQ(ReadBytes(stored), second);
  EXPECT_EQ(ReadBytes(stored.string() + ".v1"), first);
}

TEST_F(UploadToOaServerTest, TheConfirmationNeedsTheRightCredentials) {
  for (OaAuthScheme scheme : {OaAuthScheme::kBasic, OaAuthScheme::kDigest}) {
    StartServer({OaUser{"zhangsan", "secret", "SessionID=abc"}}, scheme);
    WriteBytes(work_ / "a.doc", "abc");
    EXPECT_TRUE(Upload(SaveUrl(), work_ / "a.doc")) << LogText();
    EXPECT_FALSE(Upload(SaveUrl(), work_ / "a.doc", u"zhangsan", u"wrong"));
    EXPECT_NE(LogText().find("<result>authorization required</result>"), std::string::npos);
    EXPECT_FALSE(Upload(SaveUrl(), work_ / "a.doc", u"", u""));
    server_->Stop();
  }
}

// The "服务器返回错误：" line carries the reply's element alone: no XML declaration (the log is
// GBK, not the UTF-8 a declaration would claim) and no line break (the log's lines end in
// CR LF); a line break inside a text becomes its character reference.
TEST_F(UploadTest, ARefusalIsLoggedAsTheReplysElementOnOneLine) {
  struct Case {
    const char* name;
    std::string reply;
    const char* logged;
  };
  const Case cases[] = {
      {"plain", "<result>fail</result>", "<result>fail</result>"},
      {"declared and indented",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<result>\r\n  "
       "<code>E1</code>\r\n</result>\r\n",
       "<result><code>E1</code></result>"},
      {"GBK with a line break in the text",
       "<?xml version=\"1.0\" encoding=\"gb2312\"?>\n<result reason=\"a&#10;b\">" +
           ToCodePage(u"朱镕基：文件已锁定\r\n请稍后", "GBK") + "</result>\n",
       "<result reason=\"a&#10;b\">朱镕基：文件已锁定&#10;请稍后</result>"},
  };
  WriteBytes(work_ / "a.doc", "abc");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RestartLog();
    RawHttpServer server(
        [&](const RawRequest&, int) { return RawHttpServer::Reply(200, c.reply); });
    EXPECT_FALSE(Upload(server.url("/doc"), work_ / "a.doc"));
    EXPECT_EQ(ReadBytes(work_ / "uploadres.xml"), c.reply);  // kept as it came
    const auto lines = LogLines();
    ASSERT_EQ(lines.size(), 1u) << LogText();
    EXPECT_EQ(U8(lines[0]), std::string("通过wininet上传文件时发生错误：服务器返回错误：") +
                                c.logged + server.url("/upload.muro?filename=a.doc") +
                                "(0:0) Err.Source= Err.Number=0");
    // Every line of the file ends in CR LF.
    const std::string log = ReadBytes(work_ / "comlog.txt");
    for (size_t at = log.find('\n'); at != std::string::npos; at = log.find('\n', at + 1)) {
      ASSERT_TRUE(at > 0 && log[at - 1] == '\r') << "bare LF at " << at;
    }
    EXPECT_EQ(log.find("<?xml"), std::string::npos);
  }
}

// The reply to an upload is a small XML document: one longer than the cap fails the upload
// as soon as the cap is passed, and nothing of it is kept.
TEST_F(UploadTest, AReplyLongerThanTheCapFailsTheUpload) {
  EXPECT_EQ(HttpOperation(ctx_).MaxReplySize(), uint64_t{16} << 20);
  struct Case {
    const char* name;
    uint64_t cap;
    size_t size;
    bool ok;
  };
  const Case cases[] = {
      {"at the cap", 65536, 65536, true},
      {"one byte more", 65536, 65537, false},
      {"far more", 65536, 1 << 20, false},
      {"the default cap, passed", HttpOperation::kMaxReplySize, (16u << 20) + 1, false},
  };
  WriteBytes(work_ / "a.doc", "abc");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RestartLog();
    std::string reply = kSuccess;
    reply += std::string(c.size - reply.size(), ' ');  // trailing blanks are still XML
    RawHttpServer server([&](const RawRequest&, int) { return RawHttpServer::Reply(200, reply); });
    HttpOperation op(ctx_);
    op.SetHttpUrl(U16(server.url("/doc")));
    op.SetDestFile(FromPath(work_ / "a.doc"));
    op.SetMaxReplySize(c.cap);
    EXPECT_EQ(op.UploadFileByStream(), c.ok) << LogText();
    EXPECT_FALSE(fs::exists(work_ / "uploadres.xml"));
    if (!c.ok) {
      EXPECT_EQ(server.requests().size(), 1u);
      EXPECT_EQ(U8(LogLines().back()), "通过wininet上传文件时发生错误：服务器的上载处理结果超过" +
                                           std::to_string(c.cap) + "字节，已中止" +
                                           server.url("/upload.muro?filename=a.doc") +
                                           "(0:0) Err.Source= Err.Number=0");
    }
  }
}

// A reply that trickles in for ever fails the upload once its rate has stayed under the floor
// for the window (here 1 KiB/s over 2 s).
TEST_F(UploadTest, ATrickledReplyFailsOnceTheWindowHasPassed) {
  const auto client = QuickToGiveUpClient();
  ctx_.http = client.get();
  WriteBytes(work_ / "a.doc", "abc");
  RawHttpServer server([&](const RawRequest&, int) {
    RawReply reply{"HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n<result>"};
    reply.trickle = std::string(1200, ' ');
    reply.trickle_piece = 10;
    return reply;
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Upload(server.url("/doc"), work_ / "a.doc"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(6));
  server.Stop();
  ctx_.http = http_.get();
  EXPECT_EQ(U8(LogLines().back()), "通过wininet上传文件时发生错误：传输速度过慢，已中止" +
                                       server.url("/upload.muro?filename=a.doc") +
                                       "(0:42) Err.Source= Err.Number=0");
}

// The confirmation carries the stored session only when it holds no control character.
TEST_F(UploadTest, ASessionValueWithLineBreaksIsRefusedWithALogLine) {
  SetSessionCookie(u"a=b\r\nX-Evil: 1");
  WriteBytes(work_ / "a.doc", "abc");
  RawHttpServer server([&](const RawRequest&, int) { return RawHttpServer::Reply(200, kSuccess); });
  ASSERT_TRUE(Upload(server.url("/doc"), work_ / "a.doc")) << LogText();
  for (const RawRequest& r : server.requests()) {
    EXPECT_FALSE(r.has_header("X-Evil"));
    EXPECT_FALSE(r.has_header("Cookie"));
  }
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), 3u) << LogText();
  EXPECT_EQ(U8(lines[1]), "注册表值sid含有控制字符，不作为会话Cookie发送到" +
                              server.url("/doc?lastflag=last&filename=YS5kb2M=") +
                              " Err.Source= Err.Number=0");
}

// Another add-in in the same work directory (a second document in another process) writes its
// own reply to uploadres.xml just as this one has received its reply: the verdict is this
// reply's all the same, and a refusal leaves this reply in the file.
class OtherProcessReply : public HttpClientWrapper {
 public:
  OtherProcessReply(HttpClient* target, fs::path file, std::string bytes)
      : HttpClientWrapper(target), file_(std::move(file)), bytes_(std::move(bytes)) {}
  HttpResponse Send(const HttpRequest& request, const HttpSink& sink, size_t max_chunk) override {
    HttpResponse response = target()->Send(request, sink, max_chunk);
    ReplaceFileContents(file_, bytes_);
    return response;
  }

 private:
  fs::path file_;
  std::string bytes_;
};

TEST_F(UploadTest, AnotherProcesssReplyFileDoesNotDecide) {
  struct Case {
    const char* served;
    const char* planted;
    bool ok;
  };
  WriteBytes(work_ / "a.doc", "abc");
  for (const Case& c : {Case{kSuccess, "<result>fail</result>", true},
                        Case{"<result>fail</result>", kSuccess, false}}) {
    SCOPED_TRACE(c.served);
    RawHttpServer server(
        [&](const RawRequest&, int) { return RawHttpServer::Reply(200, c.served); });
    OtherProcessReply other(http_.get(), work_ / "uploadres.xml", c.planted);
    ctx_.http = &other;
    EXPECT_EQ(Upload(server.url("/doc"), work_ / "a.doc"), c.ok) << LogText();
    ctx_.http = http_.get();
    EXPECT_EQ(server.requests().size(), c.ok ? 2u : 1u);
    if (!c.ok) {
      EXPECT_EQ(ReadBytes(work_ / "uploadres.xml"), c.served);
    }
  }
}

// Which scheme the document's address names decides whether there is an upload at all.
TEST_F(UploadTest, OtherSchemesFailBeforeAnyRequest) {
  WriteBytes(work_ / "a.doc", "abc");
  RawHttpServer server([&](const RawRequest&, int) { return RawHttpServer::Reply(200, kSuccess); });
  for (const std::string scheme : {"htp://", "htps://", "ftp://"}) {
    const std::string hostport = "127.0.0.1:" + std::to_string(server.port());
    EXPECT_FALSE(Upload(scheme + hostport + "/doc", work_ / "a.doc"));
    EXPECT_EQ(U8(LogLines().back()),
              "通过wininet上传文件时发生错误：只支持http和https地址：" + scheme + hostport +
                  "/upload.muro?filename=a.doc(0:0) Err.Source= Err.Number=0");
  }
  EXPECT_TRUE(server.requests().empty());
}

TEST_F(UploadToOaServerTest, NamesThatBrokeTheQueryAreStoredWhole) {
  StartServer();
  for (const std::u16string name : {u"a&b.doc", u"c#d.doc", u"50%.doc", u"淺說.doc", u"x y.doc"}) {
    const fs::path file = work_ / ToPath(name);
    WriteBytes(file, U8(name));
    ASSERT_TRUE(Upload(SaveUrl(), file)) << U8(name) << "\n" << LogText();
    EXPECT_EQ(ReadBytes(root_ / "oa" / "documents" / "U1" / ToPath(name)), U8(name));
  }
}

}  // namespace
}  // namespace qnmuro
