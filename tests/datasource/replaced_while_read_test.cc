// A control file or data source that the OA side writes again while the add-in reads it, by a
// rename over it or in place: every load gives one whole version, or fails and keeps what the
// last good load gave; never pieces of two versions.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <regex>
#include <thread>

#include "config/config.h"
#include "datasource/data_source.h"
#include "support/transfer_fixture.h"

namespace qnmuro {
namespace {

namespace fs = std::filesystem;

// Writes `file` with each version in turn, a pause between two writes, until destroyed.
class Rewriter {
 public:
  Rewriter(fs::path file, std::vector<std::string> versions, bool in_place)
      : thread_([this, file, versions, in_place] {
          for (size_t i = 0; !stop_; ++i) {
            const std::string& bytes = versions[i % versions.size()];
            if (in_place) {
              // Truncated, then written in two halves, as a plain save does.
              const int fd = ::open(file.c_str(), O_WRONLY | O_TRUNC);
              const size_t half = bytes.size() / 2;
              bool ok = fd >= 0 && ::write(fd, bytes.data(), half) == static_cast<ssize_t>(half);
              ok = ok && ::write(fd, bytes.data() + half, bytes.size() - half) ==
                             static_cast<ssize_t>(bytes.size() - half);
              if (fd >= 0) ::close(fd);
              EXPECT_TRUE(ok);
            } else {
              test_util::WriteBytes(fs::path(file) += ".new", bytes);
              fs::rename(fs::path(file) += ".new", file);
            }
            ++writes_;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
          }
        }) {}
  ~Rewriter() {
    stop_ = true;
    thread_.join();
  }
  int writes() const { return writes_; }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<int> writes_{0};
  std::thread thread_;
};

// The example control file for user `user` and document `unid`, with `padding` between them so
// that it takes several reads.
std::string ControlFile(const std::string& user, const std::string& unid,
                        const std::string& padding) {
  std::string xml = test_util::ReadBytes(fs::path(QNMURO_SOURCE_DIR) / "examples" / "control.xml");
  xml = std::regex_replace(xml, std::regex("<name>zhangsan</name>"), "<name>" + user + "</name>");
  xml = std::regex_replace(xml, std::regex("<unid>6F2A</unid>"), "<unid>" + unid + "</unid>");
  return std::regex_replace(xml, std::regex("</common>"), "</common><!--" + padding + "-->");
}

std::string DataSourceFile(const std::string& value, const std::string& padding) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><document><items>"
         "<item><name>first</name><desc>甲</desc><value>" +
         value + "</value></item><!--" + padding +
         "--><item><name>last</name><desc>乙</desc><value>" + value +
         "</value></item></items></document>";
}

class ReplacedWhileReadTest : public test::TransferTest {};

TEST_F(ReplacedWhileReadTest, EveryLoadIsOneWholeVersion) {
  const std::string padding(200000, 'p');
  const fs::path control = work_ / "notice.xml";
  const fs::path data = work_ / "notice.ds.xml";
  for (const bool in_place : {false, true}) {
    SCOPED_TRACE(in_place ? "written in place" : "replaced by a rename");
    test_util::WriteBytes(control, ControlFile("userA", "AAAA", padding));
    test_util::WriteBytes(data, DataSourceFile("AAAA", padding));
    ASSERT_TRUE(Config(ctx_).Init(FromPath(control)));
    Rewriter control_writer(
        control, {ControlFile("userB", "BBBB", padding), ControlFile("userA", "AAAA", padding)},
        in_place);
    Rewriter data_writer(data, {DataSourceFile("BBBB", padding), DataSourceFile("AAAA", padding)},
                         in_place);
    int loads = 0;
    // Enough loads while both files keep changing, however fast this machine loads.
    while (loads <= 30 || control_writer.writes() < 30 || data_writer.writes() < 30) {
      ++loads;
      Config(ctx_).Init(FromPath(control));  // a failed load keeps the records it had
      const CommonInfo& common = state_.records.commonInfo;
      const std::u16string unid = state_.records.documentInfo.unid;
      ASSERT_TRUE((common.name == u"userA" && unid == u"AAAA") ||
                  (common.name == u"userB" && unid == u"BBBB"))
          << U8(common.name) << " " << U8(unid);
      DataSource source;
      if (source.LoadXML(FromPath(data))) {
        const std::u16string first = source.ItemGetValueByName(u"first");
        ASSERT_EQ(first, source.ItemGetValueByName(u"last"));
        ASSERT_TRUE(first == u"AAAA" || first == u"BBBB") << U8(first);
      }
    }
  }
}

}  // namespace
}  // namespace qnmuro
