// Entity tags on the wire: a server that sends none sees exactly the requests it always saw; one
// that does is named its version in each confirmation, and a refusal of it is a conflict.
#include "transfer/version_tags.h"

#include "support/transfer_fixture.h"
#include "transfer/http_operation.h"
#include "transfer/raw_http_server.h"

namespace qnmuro {
namespace {

using test::RawHttpServer;
using test::RawRequest;

class VersionTagTest : public test::TransferTest {
 protected:
  bool Download(const RawHttpServer& server) {
    HttpOperation op(ctx_);
    op.SetHttpUrl(U16(server.url("/oa/0/U1/$file/a%20b.doc")));
    op.SetDestFile(FromPath(work_ / "a b.doc"));
    op.SetNoteVersion(true);
    return op.DownloadFileByStream();
  }
  HttpOperation& Upload(const RawHttpServer& server) {
    op_ = std::make_unique<HttpOperation>(ctx_);
    op_->SetHttpUrl(U16(server.url("/oa/save?OpenAgent&action=upload&unid=U1&method=x")));
    op_->SetDestFile(FromPath(work_ / "a b.doc"));
    op_->SetBodyDigest(u"00ff");
    op_->UploadFileByStream();
    return *op_;
  }
  std::unique_ptr<HttpOperation> op_;
};

TEST_F(VersionTagTest, ConfirmationsNameTheVersionOnlyForAServerThatTagsIt) {
  struct Case {
    const char* name;
    bool tags;
    std::vector<std::string> if_match;  // of the two confirmations
  };
  const Case cases[] = {
      {"no tags", false, {"", ""}},
      {"tags", true, {"\"t0\"", "\"t1\""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int stored = 0;
    RawHttpServer server([&](const RawRequest& r, int) {
      std::vector<std::string> headers;
      if (r.target().find("$file") != std::string::npos) {
        if (c.tags) headers.push_back("ETag: \"t0\"");
        return RawHttpServer::Reply(200, "document", headers);
      }
      if (c.tags && r.target().find("lastflag") != std::string::npos) {
        headers.push_back("ETag: \"t" + std::to_string(++stored) + "\"");
      }
      return RawHttpServer::Reply(200, "<result>success</result>", headers);
    });
    ASSERT_TRUE(Download(server));
    ASSERT_FALSE(Upload(server).conflict());
    ASSERT_FALSE(Upload(server).conflict());
    const std::vector<RawRequest> requests = server.requests();
    ASSERT_EQ(requests.size(), 5u);
    for (int upload = 0; upload < 2; ++upload) {
      const RawRequest& file = requests[1 + 2 * upload];
      const RawRequest& confirm = requests[2 + 2 * upload];
      EXPECT_FALSE(file.has_header("If-Match"));
      EXPECT_FALSE(file.has_header("Upload-Digest"));
      EXPECT_EQ(confirm.has_header("If-Match"), c.tags);
      EXPECT_EQ(confirm.header("If-Match"), c.if_match[upload]);
      EXPECT_EQ(confirm.header("Upload-Digest"), c.tags ? "sha-256=00ff" : "");
    }
  }
}

TEST_F(VersionTagTest, ARefusedVersionIsAConflictWithTheServersTag) {
  RawHttpServer server([&](const RawRequest& r, int) {
    if (r.target().find("$file") != std::string::npos) {
      return RawHttpServer::Reply(200, "document", {"ETag: \"mine\""});
    }
    if (r.target().find("lastflag") != std::string::npos) {
      return RawHttpServer::Reply(412, "<result>conflict</result>", {"ETag: \"theirs\""});
    }
    return RawHttpServer::Reply(200, "<result>success</result>");
  });
  ASSERT_TRUE(Download(server));
  HttpOperation& op = Upload(server);
  EXPECT_TRUE(op.conflict());
  EXPECT_EQ(op.namedTag(), u"\"mine\"");
  EXPECT_EQ(op.serverTag(), u"\"theirs\"");
  // Still the version it was based on: a conflict changes nothing held.
  EXPECT_EQ(HeldVersionTag(ctx_, {u"U1", u"a b.doc"}), u"\"mine\"");
  EXPECT_NE(op.lastErrorLine().find(u"服务器返回错误：<result>conflict</result>"),
            std::u16string::npos);
}

TEST(AttachmentFileTest, NamesTheDocumentFileOfAnAttachmentAddressOnly) {
  struct Case {
    const char16_t* url;
    const char16_t* unid;
    const char16_t* name;
  };
  const Case cases[] = {
      {u"http://h:1/oa/doc.nsf/0/U1/$file/a%20b.doc?x=1", u"U1", u"a b.doc"},
      {u"http://h/db/0/U2/$file/%u516C%u6587.doc", u"U2", u"公文.doc"},
      {u"http://h/0/U2/$file/a.doc", u"", u""},
      {u"http://h/oa/0/U1/$file/", u"", u""},
      {u"http://h/oa/1/U1/$file/a.doc", u"", u""},
      {u"http://h/oa/save?OpenAgent&unid=U1", u"", u""},
  };
  for (const Case& c : cases) {
    const DocumentFile file = AttachmentFile(c.url);
    EXPECT_EQ(file.unid, c.unid) << U8(c.url);
    EXPECT_EQ(file.name, c.name) << U8(c.url);
  }
}

}  // namespace
}  // namespace qnmuro
