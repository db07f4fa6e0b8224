// The development OA server killed in the middle of an upload, as a crash or a power cut would
// end it: what the user saved stays on the disk, whole, with its backup; the user hears of it
// at close; the next save goes through once the server is back.
#include <stdio.h>

#include <algorithm>

#include "support/addin_fixture.h"
#include "support/oa_server_process.h"

namespace qnmuro::test_util {
namespace {

namespace fs = std::filesystem;

constexpr char16_t kQuestion[] = u"是否要保存文档到服务器？";
constexpr char16_t kKept[] = u"文档未能上传到服务器，已保存在本机，将在能够连接服务器时自动上传。";
constexpr char16_t kCloseError[] =
    u"文件关闭时发生错误，您对文档的修改可能无法保存或者更新到服务器，请联系系统管理员！";

// Kills the server at a chosen point of the next upload: once `after_bytes` of the document have
// been read for sending (the rest then meets a dead peer), or just before the confirmation.
class ServerKiller : public HttpClientWrapper {
 public:
  explicit ServerKiller(HttpClient* target) : HttpClientWrapper(target) {}

  void Arm(OaServerProcess* server, bool in_body, uint64_t after_bytes) {
    server_ = server;
    in_body_ = in_body;
    after_bytes_ = after_bytes;
    read_ = 0;
  }

  HttpResponse Send(const HttpRequest& request, const HttpSink& sink, size_t max_chunk) override {
    if (server_ == nullptr || (in_body_ && request.body_file == nullptr)) {
      return HttpClientWrapper::Send(request, sink, max_chunk);
    }
    if (!in_body_) {
      if (request.body_file == nullptr) KillServer();  // the confirmation
      return HttpClientWrapper::Send(request, sink, max_chunk);
    }
    // The body through a stream that counts what is read and kills the server on the way.
    inner_ = request.body_file;
    cookie_io_functions_t io{&ServerKiller::Read, nullptr, &ServerKiller::Seek, nullptr};
    FILE* counted = fopencookie(this, "r", io);
    HttpRequest copy = request;
    copy.body_file = counted;
    HttpResponse response = HttpClientWrapper::Send(copy, sink, max_chunk);
    fclose(counted);
    return response;
  }

 private:
  static ssize_t Read(void* self, char* buffer, size_t size) {
    auto* killer = static_cast<ServerKiller*>(self);
    const size_t n = fread(buffer, 1, size, killer->inner_);
    killer->read_ += n;
    if (killer->read_ >= killer->after_bytes_) killer->KillServer();
    return static_cast<ssize_t>(n);
  }
  static int Seek(void* self, off64_t* offset, int whence) {
    auto* killer = static_cast<ServerKiller*>(self);
    if (fseeko(killer->inner_, *offset, whence) != 0) return -1;
    *offset = ftello(killer->inner_);
    return 0;
  }
  void KillServer() {
    if (server_ != nullptr) server_->Kill();
    server_ = nullptr;
  }

  OaServerProcess* server_ = nullptr;
  bool in_body_ = true;
  uint64_t after_bytes_ = 0;
  uint64_t read_ = 0;
  FILE* inner_ = nullptr;
};

class ServerDeathTest : public AddinTest {
 protected:
  ServerDeathTest() : server_(dir_ / "server"), killer_(services_.http.get()) {
    fs::create_directories(dir_ / "server");
    // The killer between the add-in and the network.
    ctx_.http = &killer_;
    Reconnect();
  }

  std::vector<std::u16string> BoxTexts() const {
    std::vector<std::u16string> out;
    for (const auto& b : Boxes()) out.push_back(b.text);
    return out;
  }
  // Every backup copy of the document, each read whole.
  std::vector<std::string> Backups() const {
    std::vector<std::string> out;
    for (const auto& entry : fs::directory_iterator(dir_ / "qnoawork.bak")) {
      out.push_back(ReadBytes(entry.path()));
    }
    return out;
  }
  // Every backup copy (one a save; saves of one second each their own) is the saved version,
  // whole.
  void ExpectBackupsAre(const std::string& saved) const {
    const std::vector<std::string> backups = Backups();
    EXPECT_FALSE(backups.empty());
    for (const std::string& b : backups) EXPECT_TRUE(b == saved) << "a backup of another version";
  }
  // What the server keeps: stored versions and anything left under incoming/.
  std::vector<std::string> ServerFiles() const {
    std::vector<std::string> out;
    for (const char* folder : {"documents", "incoming"}) {
      if (!fs::exists(dir_ / "server" / folder)) continue;
      for (const auto& e : fs::recursive_directory_iterator(dir_ / "server" / folder)) {
        if (e.is_regular_file()) out.push_back(e.path().filename().string());
      }
    }
    return out;
  }

  OaServerProcess server_;
  ServerKiller killer_;
};

TEST_F(ServerDeathTest, WhatTheUserSavedSurvivesAndTheNextSaveGoesThrough) {
  const struct {
    const char* name;
    bool in_body;
  } cases[] = {{"while the document is sent", true}, {"before the confirmation", false}};
  const fs::path stored = dir_ / "server" / "documents" / "6F2A" / "notice.doc";
  std::string error;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(server_.Start(server_.port(), &error)) << error;
    MakeDocument(u"notice.doc", NoticeDocument());
    WriteControl(u"notice.doc", "DraftDocument", "查看痕迹",
                 server_.BaseUrl() + "/oa/doc.nsf/upload?OpenAgent");
    auto doc = OpenWorkflow(u"notice.doc");
    // Large enough to travel in many pieces: the server dies with most of it unsent.
    app_->GetSelection()->TypeText(std::u16string(300000, u'改'));
    killer_.Arm(&server_, c.in_body, 256 * 1024);
    ui_.QueueAnswer(MsgAnswer::kYes);
    doc->Save();
    ASSERT_FALSE(server_.running());
    const std::string saved = ReadBytes(dir_ / "notice.doc");
    EXPECT_NE(saved.find(U8(std::u16string(1000, u'改'))), std::string::npos);
    ExpectBackupsAre(saved);
    EXPECT_EQ(BoxTexts(), (std::vector<std::u16string>{kQuestion, kKept}));

    // Closed while the server is still down: the user is told; nothing changes on the disk.
    ui_.QueueAnswer(MsgAnswer::kYes);
    doc->Close();
    EXPECT_EQ(BoxTexts(),
              (std::vector<std::u16string>{kQuestion, kKept, kQuestion, kCloseError, kKept}));
    EXPECT_EQ(ReadBytes(dir_ / "notice.doc"), saved);
    ExpectBackupsAre(saved);
    EXPECT_FALSE(fs::exists(stored));

    // The server is back (and clears what the broken upload left): the kept version goes up as
    // the document opens, and the next save goes through.
    ASSERT_TRUE(server_.Start(server_.port(), &error)) << error;
    doc = OpenWorkflow(u"notice.doc");
    EXPECT_EQ(ReadBytes(stored), saved);
    app_->GetSelection()->TypeText(u"再改");
    ui_.QueueAnswer(MsgAnswer::kYes);
    doc->Save();
    const std::string resaved = ReadBytes(dir_ / "notice.doc");
    EXPECT_NE(resaved, saved);
    EXPECT_EQ(ReadBytes(stored), resaved);
    std::vector<std::string> files = ServerFiles();
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"notice.doc", "notice.doc.v1"}));
    ui_.QueueAnswer(MsgAnswer::kNo);
    doc->Close();
    EXPECT_TRUE(Toolbar().empty());

    ui_.ClearRecords();
    server_.Kill();
    fs::remove_all(dir_ / "server" / "documents");
    fs::remove_all(dir_ / "qnoawork.bak");
  }
}

}  // namespace
}  // namespace qnmuro::test_util
