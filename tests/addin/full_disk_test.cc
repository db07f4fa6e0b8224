// A full disk while saving, backing up, downloading and logging, on a small tmpfs of the
// test's own: an older file is never replaced by a partial one, and nothing partial is left.
#include <algorithm>
#include <mutex>

#include "common/velto_log.h"
#include "oaserver/oa_server.h"
#include "support/served_fixture.h"
#include "support/small_disk.h"
#include "support/transfer_fixture.h"
#include "transfer/http_operation.h"

namespace qnmuro::test_util {
namespace {

namespace fs = std::filesystem;

// Names of the files under `folder`, the disk's own filler left out.
std::vector<std::string> FileNames(const fs::path& folder) {
  std::vector<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    const std::string name = e.path().filename().string();
    if (e.is_regular_file() && name != ".filler") out.push_back(name);
  }
  std::sort(out.begin(), out.end());
  return out;
}

#define REQUIRE_SMALL_DISK(disk) \
  if (!(disk).mounted()) GTEST_SKIP() << (disk).error()

// The workflow document lives on the small disk; the work directory with the control file and
// the event log does not, so that the log tells what happened.
class FullDiskSaveTest : public ServedAddinTest {
 protected:
  FullDiskSaveTest() : disk_(dir_ / "disk", 4 << 20) {}

  std::shared_ptr<host::Document> OpenOnDisk() {
    MakeDocument(u"notice.doc", NoticeDocument());
    fs::copy_file(dir_ / "notice.doc", doc_path_);
    fs::remove(dir_ / "notice.doc");
    WriteServedControl(u"notice.doc", "DraftDocument", "查看痕迹");
    SetCurrentFileValue(u"notice.doc");
    return app_->GetDocuments().Open(FromPath(doc_path_), true);
  }
  // The user saves and answers "Yes". False when the host's own save, which follows the
  // add-in's, failed (the host reports that itself).
  bool SaveYes(host::Document& doc) {
    ui_.QueueAnswer(MsgAnswer::kYes);
    try {
      doc.Save();
      return true;
    } catch (const Error&) {
      return false;
    }
  }
  // About 900 KB more of text.
  void TypeMuch() { app_->GetSelection()->TypeText(std::u16string(300000, u'改')); }
  std::string Stored() const {
    return ReadBytes(dir_ / "server" / "documents" / "6F2A" / "notice.doc");
  }

  SmallDisk disk_;
  fs::path doc_path_ = dir_ / "disk" / "notice.doc";
};

TEST_F(FullDiskSaveTest, ASaveThatDoesNotFitKeepsTheSavedDocument) {
  REQUIRE_SMALL_DISK(disk_);
  const auto doc = OpenOnDisk();
  const std::string before = ReadBytes(doc_path_);
  TypeMuch();
  disk_.LeaveRoom(256 << 10);
  EXPECT_FALSE(SaveYes(*doc));
  EXPECT_EQ(ReadBytes(doc_path_), before);
  EXPECT_EQ(FileNames(dir_ / "disk"), std::vector<std::string>{"notice.doc"});
  EXPECT_FALSE(doc->Saved()) << "the changes are still to be saved";
  EXPECT_TRUE(Stored().empty()) << "nothing is uploaded";
  EXPECT_EQ(U8(LogLines().back()).rfind("#", 0), 0u);
  EXPECT_NE(U8(LogLines().back()).find("关闭文件“" + doc_path_.string() + "”错误："),
            std::string::npos)
      << U8(LogLines().back());

  // With room again, the same changes are saved and uploaded.
  disk_.Free();
  EXPECT_TRUE(SaveYes(*doc));
  EXPECT_GT(ReadBytes(doc_path_).size(), before.size() + 800000);
  EXPECT_EQ(Stored(), ReadBytes(doc_path_));
}

TEST_F(FullDiskSaveTest, ABackupThatDoesNotFitLeavesTheEarlierOneWhole) {
  REQUIRE_SMALL_DISK(disk_);
  const auto doc = OpenOnDisk();
  app_->GetSelection()->TypeText(u"小改");
  ASSERT_TRUE(SaveYes(*doc));
  const std::string first = ReadBytes(doc_path_);
  ASSERT_EQ(FileNames(dir_ / "disk" / "qnoawork.bak").size(), 1u);
  const fs::path backup = fs::directory_iterator(dir_ / "disk" / "qnoawork.bak")->path();
  ASSERT_EQ(ReadBytes(backup), first);

  // Room for the new document, not for its copy as well: the backup (of the same name, same
  // second) fails half-way; the upload goes on, as it does when a backup cannot be made. (The
  // host's own save after the add-in's finds no room either, which the host reports.)
  TypeMuch();
  disk_.LeaveRoom(1400 << 10);
  SaveYes(*doc);
  const std::string second = ReadBytes(doc_path_);
  EXPECT_GT(second.size(), first.size() + 800000);
  EXPECT_EQ(ReadBytes(backup), first);
  EXPECT_EQ(FileNames(dir_ / "disk"),
            (std::vector<std::string>{backup.filename().string(), "notice.doc"}));
  EXPECT_EQ(Stored(), second);
}

class FullDiskTransferTest : public test::TransferTest {
 protected:
  FullDiskTransferTest() : disk_(root_ / "disk", 2 << 20) {}
  SmallDisk disk_;
  fs::path disk_path_ = root_ / "disk";
};

TEST_F(FullDiskTransferTest, ADownloadThatDoesNotFitKeepsTheOldFile) {
  REQUIRE_SMALL_DISK(disk_);
  const std::string body = test::RandomBytes(1 << 20);
  WriteBytes(root_ / "oa" / "files" / "U1" / "a.doc", body);
  OaServerOptions options;
  options.root = root_ / "oa";
  OaServer server(options);
  ASSERT_GT(server.Start("127.0.0.1", 0, nullptr), 0);
  WriteBytes(disk_path_ / "a.doc", "old");
  disk_.LeaveRoom(256 << 10);
  ctx_.work_dir = FromPath(disk_path_);  // the log stays where it is
  HttpOperation op(ctx_);
  op.SetHttpUrl(U16(server.BaseUrl() + "/oa/doc.nsf/0/U1/$file/a.doc"));
  op.SetDestFile(FromPath(disk_path_ / "a.doc"));
  EXPECT_FALSE(op.DownloadFileByStream());
  server.Stop();
  EXPECT_EQ(ReadBytes(disk_path_ / "a.doc"), "old");
  EXPECT_EQ(FileNames(disk_path_), std::vector<std::string>{"a.doc"});
  EXPECT_NE(LogText().find("写入文件时发生错误：Disk full(61:28)"), std::string::npos) << LogText();
  // The disk is as full for the fallback: the whole file is not fetched a second time.
  EXPECT_EQ(LogText().find("UrlDownloadToFile"), std::string::npos) << LogText();
}

TEST_F(FullDiskTransferTest, ALogOnAFullDiskLosesNoEarlierLineAndTearsNone) {
  REQUIRE_SMALL_DISK(disk_);
  const std::u16string dir = FromPath(disk_path_);
  const std::string old_backup = "old backup\r\n";
  const std::string full_log = std::string(VeltoLog::kRotateSize - 2, 'x') + "\r\n";
  WriteBytes(disk_path_ / "bakcomlog.txt", old_backup);
  WriteBytes(disk_path_ / "comlog.txt", full_log);
  disk_.LeaveRoom(0);
  {
    // Rotation needs no room: the full log becomes the backup whole.
    VeltoLog log(dir, nullptr, nullptr);
    EXPECT_EQ(ReadBytes(disk_path_ / "bakcomlog.txt"), full_log);
    for (int i = 0; i < 3000; ++i) log.WriteLog(u"磁盘已满时的一行");
    disk_.Free();
    log.WriteLog(u"有空间后的一行");
  }
  EXPECT_EQ(ReadBytes(disk_path_ / "bakcomlog.txt"), full_log);
  // Whatever the full disk let through, every line after it is whole.
  const std::string text = ReadBytes(disk_path_ / "comlog.txt");
  EXPECT_NE(text.find(ToAnsi(u"\r\n#3001： 有空间后的一行\r\n")), std::string::npos);
  EXPECT_EQ(FileNames(disk_path_), (std::vector<std::string>{"bakcomlog.txt", "comlog.txt"}));
}

}  // namespace
}  // namespace qnmuro::test_util
