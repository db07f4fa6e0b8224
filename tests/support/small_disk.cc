#include "support/small_disk.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace qnmuro::test_util {
namespace {

constexpr char kFiller[] = ".filler";

}  // namespace

SmallDisk::SmallDisk(const std::filesystem::path& folder, size_t size) : folder_(folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder_, ec);
  const std::string options = "size=" + std::to_string(size) + ",mode=0755";
  if (::mount("tmpfs", folder_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0) {
    mounted_ = true;
  } else {
    error_ = std::string("cannot mount a tmpfs (root only): ") + std::strerror(errno);
  }
}

SmallDisk::~SmallDisk() {
  // Lazily: a file a failed test left open must not keep the mount behind.
  if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
}

void SmallDisk::LeaveRoom(size_t room) {
  Free();
  const std::string path = (folder_ / kFiller).string();
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return;
  static const std::string block(65536, 'f');
  off_t size = 0;
  for (;;) {
    const ssize_t n = ::write(fd, block.data(), block.size());
    if (n <= 0) break;
    size += n;
  }
  // Full now: give back `room` bytes of whole pages.
  const off_t page = ::sysconf(_SC_PAGESIZE);
  const off_t give_back = static_cast<off_t>(room) / page * page;
  if (::ftruncate(fd, size > give_back ? size - give_back : 0) != 0) error_ = std::strerror(errno);
  ::close(fd);
}

void SmallDisk::Free() {
  std::error_code ec;
  std::filesystem::remove(folder_ / kFiller, ec);
}

}  // namespace qnmuro::test_util
