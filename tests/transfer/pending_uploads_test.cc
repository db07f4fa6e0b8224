// The pending uploads as files: what a damaged or half-written entry does (reported, never
// sent), what a newer save of the same document does (replaces it, remembering it), and what a
// failed retry leaves (the entry as it was, with its error).
#include "transfer/pending_uploads.h"

#include <atomic>
#include <filesystem>

#include "platform/file_io.h"
#include "support/transfer_fixture.h"
#include "transfer/raw_http_server.h"

namespace qnmuro {
namespace {

namespace fs = std::filesystem;
using test::RawHttpServer;
using test::RawRequest;
using test_util::ReadBytes;
using test_util::WriteBytes;

class PendingUploadsTest : public test::TransferTest {
 protected:
  UploadJob Job(const std::string& base, const char16_t* unid = u"U1") {
    return UploadJob{U16(base) + u"/oa/save?OpenAgent&action=upload&unid=" + unid, unid, u"clerk",
                     u"0A1B"};
  }
  PendingEntry Keep(const std::string& bytes, const UploadJob& job,
                    const char* name = "notice.doc") {
    WriteBytes(work_ / name, bytes);
    std::optional<PendingEntry> entry = PendingUploads(ctx_).Keep(FromPath(work_ / name), job);
    EXPECT_TRUE(entry.has_value());
    return entry.value_or(PendingEntry{});
  }
};

TEST_F(PendingUploadsTest, ADamagedOrHalfWrittenEntryIsReportedAndNeverSent) {
  RawHttpServer server(
      [](const RawRequest&, int) { return RawHttpServer::Reply(200, "<result>success</result>"); });
  struct Case {
    const char* name;
    void (*damage)(const PendingEntry&);
  };
  const Case cases[] = {
      {"a byte changed",
       [](const PendingEntry& e) {
         std::string b = ReadBytes(ToPath(e.BodyPath()));
         b[3] ^= 1;
         WriteBytes(ToPath(e.BodyPath()), b);
       }},
      {"cut short",
       [](const PendingEntry& e) {
         WriteBytes(ToPath(e.BodyPath()), ReadBytes(ToPath(e.BodyPath())).substr(0, 5));
       }},
      {"no bytes", [](const PendingEntry& e) { fs::remove(ToPath(e.BodyPath())); }},
      {"no description", [](const PendingEntry& e) { fs::remove(ToPath(e.folder) / "entry"); }},
      {"description cut",
       [](const PendingEntry& e) {
         const fs::path entry = ToPath(e.folder) / "entry";
         WriteBytes(entry, ReadBytes(entry).substr(0, 40));
       }},
      {"never finished",
       [](const PendingEntry& e) {
         fs::rename(ToPath(e.folder), ToPath(e.folder).parent_path() / (".new-" + U8(e.id)));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.damage(Keep("the clerk's saved bytes", Job(server.url(""))));
    PendingUploads pending(ctx_);
    const std::vector<PendingEntry> listed = pending.List();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_FALSE(listed[0].problem.empty());
    const RetryReport report = pending.RetryAll();
    EXPECT_EQ(report.unusable, 1);
    EXPECT_EQ(report.uploaded, 0);
    EXPECT_TRUE(server.requests().empty());
    EXPECT_TRUE(pending.Drop(listed[0].id));
    EXPECT_TRUE(pending.List().empty());
  }
}

TEST_F(PendingUploadsTest, ANewerSaveReplacesTheOlderEntryOfItsDocumentOnly) {
  const UploadJob job = Job("http://127.0.0.1:1");
  const PendingEntry first = Keep("version 1", job);
  const PendingEntry other = Keep("another document", Job("http://127.0.0.1:1", u"U2"));
  const PendingEntry second = Keep("version 2", job);
  const std::vector<PendingEntry> entries = PendingUploads(ctx_).List();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].id, other.id);  // oldest first
  EXPECT_EQ(entries[1].id, second.id);
  EXPECT_EQ(ReadBytes(ToPath(entries[1].BodyPath())), "version 2");
  EXPECT_EQ(entries[1].own, std::vector<std::u16string>{first.sha256});
  EXPECT_EQ(entries[1].job.password, u"0A1B");
  EXPECT_FALSE(fs::exists(ToPath(first.folder)));
}

TEST_F(PendingUploadsTest, AFailedRetryLeavesTheEntryAsItWasAndASuccessRemovesIt) {
  std::atomic<bool> up{false};
  RawHttpServer server([&](const RawRequest&, int) {
    return up ? RawHttpServer::Reply(200, "<result>success</result>")
              : RawHttpServer::Reply(500, "<result>down</result>");
  });
  const PendingEntry kept = Keep("saved", Job(server.url("")));
  const std::string description = ReadBytes(ToPath(kept.folder) / "entry");
  RetryReport report = PendingUploads(ctx_).RetryAll();
  EXPECT_EQ(report.failed, 1);
  std::vector<PendingEntry> left = PendingUploads(ctx_).List();
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(ReadBytes(ToPath(kept.folder) / "entry"), description);
  EXPECT_EQ(ReadBytes(ToPath(kept.BodyPath())), "saved");
  EXPECT_NE(left[0].lastError.find(u"服务器返回错误：<result>down</result>"), std::u16string::npos);
  up = true;
  report = PendingUploads(ctx_).RetryAll();
  EXPECT_EQ(report.uploaded, 1);
  EXPECT_TRUE(PendingUploads(ctx_).List().empty());
  EXPECT_FALSE(fs::exists(work_ / "pending"));
  EXPECT_EQ(server.requests().back().head.find("POST /oa/save"), 0u);
}

// The retries on the clerk's way (the add-in's start, a document's open) give every request
// short deadlines of their own, so that a server that hangs costs seconds; the others keep the
// client's.
TEST_F(PendingUploadsTest, AQuickRetryGivesEveryRequestShortDeadlines) {
  struct Recorder : HttpClientWrapper {
    using HttpClientWrapper::HttpClientWrapper;
    HttpResponse Send(const HttpRequest& request, const HttpSink& sink, size_t chunk) override {
      deadlines.emplace_back(request.connect_timeout.count(), request.stall_timeout.count());
      return HttpClientWrapper::Send(request, sink, chunk);
    }
    std::vector<std::pair<long long, long long>> deadlines;
  };
  RawHttpServer server([&](const RawRequest&, int) {
    return RawHttpServer::Reply(200, "<result>success</result>");
  });
  for (bool quick : {false, true}) {
    SCOPED_TRACE(quick ? "quick" : "patient");
    Recorder recorder(http_.get());
    ctx_.http = &recorder;
    Keep("saved", Job(server.url("")));
    EXPECT_EQ(PendingUploads(ctx_).RetryAll(quick).uploaded, 1);
    ASSERT_EQ(recorder.deadlines.size(), 2u);
    for (const auto& [connect, stall] : recorder.deadlines) {
      EXPECT_EQ(connect, quick ? kQuickConnect.count() : 0);
      EXPECT_EQ(stall, quick ? kQuickAnswer.count() : 0);
    }
    ctx_.http = http_.get();
  }
}

}  // namespace
}  // namespace qnmuro
