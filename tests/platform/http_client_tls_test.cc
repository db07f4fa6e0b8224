// HTTPS through the libcurl client against the development server: the chain must lead to a
// trusted CA, while a certificate for another name or outside its dates is accepted.
#include <filesystem>

#include "oaserver/oa_server.h"
#include "platform/http_client.h"
#include "platform/services_posix.h"
#include "support/transfer_fixture.h"
#include "transfer/http_operation.h"
#include "transfer/test_certs.h"

namespace qnmuro {
namespace {

namespace fs = std::filesystem;

class HttpClientTlsTest : public test::TransferTest {
 protected:
  HttpClientTlsTest() {
    certs_ = root_ / "certs";
    fs::create_directories(certs_);
    fs::create_directories(root_ / "oa" / "files" / "U1");
    test_util::WriteBytes(root_ / "oa" / "files" / "U1" / "a.doc", "secret bytes");
    ca_ = test::MakeCa(certs_, "TestCA");
    other_ca_ = test::MakeCa(certs_, "OtherCA");
  }

  // Serves with `cert` and fetches the attachment trusting `trusted`.
  HttpResponse Fetch(const test::PemPair& cert, const test::PemPair& trusted, std::string* body) {
    OaServerOptions options;
    options.root = root_ / "oa";
    options.cert_file = cert.cert;
    options.key_file = cert.key;
    OaServer server(options);
    std::string error;
    EXPECT_GT(server.Start("127.0.0.1", 0, &error), 0) << error;
    HttpClientOptions client_options;
    client_options.ca_bundle = trusted.cert;
    client_options.connect_timeout = std::chrono::milliseconds(3000);
    client_options.stall_timeout = std::chrono::seconds(2);
    auto client = NewCurlHttpClient(client_options);
    HttpRequest request;
    request.secure = true;
    request.host = "127.0.0.1";
    request.port = server.port();
    request.target = "/db/0/U1/$file/a.doc";
    return client->Send(request, [&](int, const char* data, size_t size) {
      body->append(data, size);
      return true;
    });
  }

  fs::path certs_;
  test::PemPair ca_;
  test::PemPair other_ca_;
};

TEST_F(HttpClientTlsTest, AcceptsAnotherNameAndPassedOrFutureDatesFromATrustedCa) {
  struct Case {
    const char* name;
    int not_before_days;
    int not_after_days;
  };
  const Case cases[] = {
      {"valid, other name", -1, 30},
      {"expired", -30, -2},
      {"not yet valid", 2, 30},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const test::PemPair cert = test::MakeServerCert(certs_, "server", ca_, "oa.other.example",
                                                    c.not_before_days, c.not_after_days);
    std::string body;
    const HttpResponse response = Fetch(cert, ca_, &body);
    EXPECT_TRUE(response.ok()) << response.error_text;
    EXPECT_EQ(response.status, 200);
    EXPECT_EQ(body, "secret bytes");
  }
}

TEST_F(HttpClientTlsTest, RefusesAChainThatLeadsToNoTrustedCa) {
  for (int expired : {0, 1}) {
    const test::PemPair cert = test::MakeServerCert(certs_, "server", ca_, "127.0.0.1",
                                                    expired ? -30 : -1, expired ? -2 : 30);
    std::string body;
    const HttpResponse response = Fetch(cert, other_ca_, &body);
    EXPECT_FALSE(response.ok());
    EXPECT_EQ(response.failed, HttpStage::kSend);
    EXPECT_TRUE(body.empty());
  }
}

TEST_F(HttpClientTlsTest, DownloadsOverHttpsOnlyFromATrustedChain) {
  const test::PemPair cert =
      test::MakeServerCert(certs_, "server", ca_, "oa.other.example", -30, -2);
  OaServerOptions options;
  options.root = root_ / "oa";
  options.cert_file = cert.cert;
  options.key_file = cert.key;
  OaServer server(options);
  ASSERT_GT(server.Start("127.0.0.1", 0, nullptr), 0);
  const std::string url = server.BaseUrl() + "/db/0/U1/$file/a.doc";
  for (const test::PemPair* trusted : {&ca_, &other_ca_}) {
    HttpClientOptions client_options;
    client_options.ca_bundle = trusted->cert;
    auto client = NewCurlHttpClient(client_options);
    ctx_.http = client.get();
    HttpOperation op(ctx_);
    op.SetHttpUrl(U16(url));
    op.SetDestFile(u"a.doc");
    const bool trusted_chain = trusted == &ca_;
    EXPECT_EQ(op.DownloadFileByStream(), trusted_chain) << LogText();
    if (trusted_chain) {
      EXPECT_EQ(test_util::ReadBytes(work_ / "a.doc"), "secret bytes");
    } else {
      EXPECT_NE(LogText().find("通过wininet下载文件时发生错误：无法发送Internet请求" + url),
                std::string::npos)
          << LogText();
    }
  }
  ctx_.http = http_.get();
}

}  // namespace
}  // namespace qnmuro
