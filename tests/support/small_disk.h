// A folder on a file system of its own with little room, for the tests of a full disk: a small
// tmpfs mounted for the test's lifetime. Mounting needs root (CI runs as root); elsewhere
// mounted() is false and the test says that it is skipped.
#ifndef QNMURO_TESTS_SUPPORT_SMALL_DISK_H_
#define QNMURO_TESTS_SUPPORT_SMALL_DISK_H_

#include <cstddef>
#include <filesystem>
#include <string>

namespace qnmuro::test_util {

class SmallDisk {
 public:
  // Creates `folder` and mounts a tmpfs of `size` bytes on it.
  SmallDisk(const std::filesystem::path& folder, size_t size);
  // Unmounts it; everything on it goes.
  ~SmallDisk();
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  bool mounted() const { return mounted_; }
  // Why the disk could not be mounted.
  const std::string& error() const { return error_; }
  // Fills the disk with a filler file until at most `room` bytes (rounded down to whole pages)
  // are left for anything else.
  void LeaveRoom(size_t room);
  // Removes the filler.
  void Free();

 private:
  std::filesystem::path folder_;
  bool mounted_ = false;
  std::string error_;
};

}  // namespace qnmuro::test_util

#endif  // QNMURO_TESTS_SUPPORT_SMALL_DISK_H_
