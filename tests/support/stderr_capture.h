// Catches what is written to standard error (file descriptor 2) while the object lives, from
// any thread and from C libraries alike, so that a test can check that nothing reaches the
// user's terminal.
#ifndef QNMURO_TESTS_SUPPORT_STDERR_CAPTURE_H_
#define QNMURO_TESTS_SUPPORT_STDERR_CAPTURE_H_

#include <unistd.h>

#include <cstdio>
#include <string>

namespace qnmuro::test_util {

class StderrCapture {
 public:
  StderrCapture() {
    std::fflush(stderr);
    file_ = std::tmpfile();
    saved_ = ::dup(STDERR_FILENO);
    if (file_ != nullptr && saved_ >= 0) ::dup2(::fileno(file_), STDERR_FILENO);
  }
  ~StderrCapture() { Stop(); }
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;

  // Restores standard error and returns everything written to it meanwhile.
  std::string Stop() {
    if (saved_ >= 0) {
      std::fflush(stderr);
      ::dup2(saved_, STDERR_FILENO);
      ::close(saved_);
      saved_ = -1;
    }
    if (file_ != nullptr) {
      std::rewind(file_);
      char buffer[4096];
      size_t n;
      while ((n = std::fread(buffer, 1, sizeof buffer, file_)) > 0) text_.append(buffer, n);
      std::fclose(file_);
      file_ = nullptr;
    }
    return text_;
  }

 private:
  std::FILE* file_ = nullptr;
  int saved_ = -1;
  std::string text_;
};

}  // namespace qnmuro::test_util

#endif  // QNMURO_TESTS_SUPPORT_STDERR_CAPTURE_H_
