// The registry file corrupt, read-only, or locked by another program for a long time while a
// workflow document is opened, saved and uploaded: the document's round trip goes through, and
// the registry file loses nothing.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include "platform/services_posix.h"
#include "support/served_fixture.h"

namespace qnmuro::test_util {
namespace {

namespace fs = std::filesystem;

// Another program that takes the registry file's lock and keeps it until it is killed.
class LockHolder {
 public:
  explicit LockHolder(const fs::path& lock_file) {
    int ready[2];
    if (::pipe(ready) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      const int fd = ::open(lock_file.c_str(), O_RDWR | O_CREAT, 0666);
      if (fd < 0 || ::flock(fd, LOCK_EX) != 0) ::_exit(1);
      if (::write(ready[1], "L", 1) != 1) ::_exit(1);
      for (;;) ::pause();
    }
    char c = 0;
    ::close(ready[1]);
    locked_ = pid_ > 0 && ::read(ready[0], &c, 1) == 1;
    ::close(ready[0]);
  }
  ~LockHolder() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  bool locked() const { return locked_; }

 private:
  pid_t pid_ = -1;
  bool locked_ = false;
};

class RegistryFaultsTest : public ServedAddinTest {
 protected:
  RegistryFaultsTest() {
    // Another program's lock is waited for half a second here, not the usual ten.
    services_.registry = NewFileRegistryStore(registry_, {std::chrono::milliseconds(500)});
    ctx_.registry = services_.registry.get();
    Reconnect();
  }

  fs::path registry_ = dir_ / "registry.reg";
};

TEST_F(RegistryFaultsTest, TheDocumentGoesThroughAndTheRegistryLosesNothing) {
  const std::string corrupt =
      "REGEDIT4\n"
      "garbage \xFF\xFE bytes\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\zuzozer\\web]\n"
      "\"broken=\"no end quote\n"
      "\"CurrentFile\"=\"notice.doc\"\n"
      "\"sid\"=\"S=1\"\n";
  std::string cleared = corrupt;
  cleared.replace(cleared.find("\"CurrentFile\"=\"notice.doc\""), 26, "\"CurrentFile\"=\"\"");
  const struct {
    const char* name;
    std::function<std::unique_ptr<LockHolder>()> fault;
    const std::string& after;  // the registry file once the document is open
  } cases[] = {
      {"corrupt", [] { return nullptr; }, cleared},
      {"read-only",
       [&] {
         fs::permissions(registry_,
                         fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
         return nullptr;
       },
       corrupt},
      {"locked by another program",
       [&] {
         auto holder = std::make_unique<LockHolder>(registry_.string() + ".lock");
         EXPECT_TRUE(holder->locked());
         return holder;
       },
       corrupt},
  };
  const fs::path stored = dir_ / "server" / "documents" / "6F2A" / "notice.doc";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(registry_);
    WriteBytes(registry_, corrupt);
    const auto fault = c.fault();
    MakeDocument(u"notice.doc", NoticeDocument());
    WriteServedControl(u"notice.doc", "DraftDocument", "查看痕迹");
    const auto doc = Open(u"notice.doc");
    EXPECT_FALSE(Toolbar().empty()) << "taken as the workflow document";
    EXPECT_EQ(ReadBytes(registry_), c.after);
    app_->GetSelection()->TypeText(u"改动");
    ui_.QueueAnswer(MsgAnswer::kYes);
    doc->Save();
    EXPECT_EQ(ReadBytes(stored), ReadBytes(dir_ / "notice.doc"));
    ui_.QueueAnswer(MsgAnswer::kNo);
    doc->Close();
    EXPECT_TRUE(Toolbar().empty());
    EXPECT_EQ(ReadBytes(registry_), c.after);
    // Whether CurrentFile was cleared or not, the hand-over is taken once: neither another
    // document nor the same one opened again becomes the workflow document.
    const bool was_cleared = c.after == cleared;
    const auto logged = [this](const std::u16string& text) {
      for (const std::u16string& line : LogLines()) {
        if (line.find(text) != std::u16string::npos) return true;
      }
      return false;
    };
    EXPECT_EQ(logged(u"CurrentFile“notice.doc”无法清除"), !was_cleared);
    EXPECT_EQ(logged(u"此次交接已记在“" + PathOf(u"handover.taken") + u"”中。"), !was_cleared);
    MakeDocument(u"other.doc", NoticeDocument());
    for (const char16_t* name : {u"other.doc", u"notice.doc"}) {
      const auto again = Open(name);
      EXPECT_TRUE(Toolbar().empty()) << U8(name);
      EXPECT_EQ(logged(HandOverTakenLine(u"notice.doc", PathOf(name))), !was_cleared);
      again->Close();
    }
    // A new hand-over of the same name writes its control file anew and is taken.
    if (!was_cleared) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      WriteServedControl(u"notice.doc", "DraftDocument", "查看痕迹");
      const auto taken = Open(u"notice.doc");
      EXPECT_FALSE(Toolbar().empty());
      ui_.QueueAnswer(MsgAnswer::kNo);
      taken->Close();
    }
    fs::remove_all(dir_ / "server" / "documents");
  }
}

}  // namespace
}  // namespace qnmuro::test_util
