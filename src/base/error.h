// The add-in's run-time error, the thread-local last system error code, the three ways an
// operation treats failures, and the one composer of error reports.
//
// Every operation has exactly one failure style:
//   - IgnoreFailure(step): the step's failure is swallowed and the next step runs;
//   - TrapFirstFailure(body, report): the first failure ends the body and goes to `report`;
//   - no helper at all: the failure travels to the caller (the operation is not trapped).
#ifndef QNMURO_BASE_ERROR_H_
#define QNMURO_BASE_ERROR_H_

#include <exception>
#include <string>
#include <utility>

namespace qnmuro {

// Classic run-time error numbers with a classic meaning.
enum ErrorNumber : long {
  kErrInvalidCall = 5,
  kErrOverflow = 6,
  kErrSubscript = 9,
  kErrTypeMismatch = 13,
  kErrCantPerform = 17,
  kErrBadFileName = 52,
  kErrFileNotFound = 53,
  kErrPathAccess = 75,
  kErrObjectNotSet = 91,
  kErrNotSupported = 438,
  // Host-style numbers.
  kHostErrNoSuchMember = 5941,  // the requested member of the collection does not exist
  // Classic numbers that came into use later.
  kErrDiskFull = 61,
};

class Error : public std::exception {
 public:
  Error(long number, std::u16string description, std::u16string source = u"QNMuroWPS");

  long number() const { return number_; }
  const std::u16string& description() const { return description_; }
  const std::u16string& source() const { return source_; }
  const char* what() const noexcept override { return what_.c_str(); }

 private:
  long number_;
  std::u16string description_;
  std::u16string source_;
  std::string what_;  // UTF-8 "description (number)" for diagnostics
};

// The standard description of a classic error number ("Subscript out of range", ...).
std::u16string DefaultDescription(long number);

// Builds an Error with the standard description of `number`.
Error MakeError(long number);

// Converts the exception currently being handled (inside a catch block) into an Error:
// an Error is returned as is; std::bad_alloc becomes error 7; anything else error 5.
Error CurrentError();

// The last system error code of this thread: set by platform stand-ins when an OS or library
// call fails (errno, curl or libxml2 codes), 0 when none.
long LastSystemError();
void SetLastSystemError(long code);

// An error report as the add-in composes it, without separators:
//   label + context + description + "(" + number + ":" + last system error + ")".
std::u16string ComposeErrorReport(std::u16string_view label, std::u16string_view context,
                                  const Error& error);

// Runs `step`; any failure is swallowed. Returns true when the step succeeded.
template <class Step>
bool IgnoreFailure(Step&& step) noexcept {
  try {
    std::forward<Step>(step)();
    return true;
  } catch (...) {
    return false;
  }
}

// Runs `body`; the first failure ends it and is handed to `report(const Error&)`, which must
// not throw. Returns true when the body finished without failure.
template <class Body, class Report>
bool TrapFirstFailure(Body&& body, Report&& report) noexcept {
  try {
    std::forward<Body>(body)();
    return true;
  } catch (...) {
    Error error = CurrentError();
    try {
      std::forward<Report>(report)(error);
    } catch (...) {
    }
    return false;
  }
}

}  // namespace qnmuro

#endif  // QNMURO_BASE_ERROR_H_
