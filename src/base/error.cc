#include "base/error.h"

#include <new>

#include "base/text.h"

namespace qnmuro {
namespace {
thread_local long last_system_error = 0;
}  // namespace

Error::Error(long number, std::u16string description, std::u16string source)
    : number_(number), description_(std::move(description)), source_(std::move(source)) {
  what_ = Utf16ToUtf8(description_) + " (" + std::to_string(number_) + ")";
}

std::u16string DefaultDescription(long number) {
  switch (number) {
    case kErrInvalidCall:
      return u"Invalid procedure call or argument";
    case kErrOverflow:
      return u"Overflow";
    case kErrOutOfMemory:
      return u"Out of memory";
    case kErrSubscript:
      return u"Subscript out of range";
    case kErrDivisionByZero:
      return u"Division by zero";
    case kErrTypeMismatch:
      return u"Type mismatch";
    case kErrCantPerform:
      return u"Can't perform requested operation";
    case kErrBadFileName:
      return u"Bad file name or number";
    case kErrFileNotFound:
      return u"File not found";
    case kErrDiskFull:
      return u"Disk full";
    case kErrPathAccess:
      return u"Path/File access error";
    case kErrObjectNotSet:
      return u"Object variable or With block variable not set";
    case kErrNotSupported:
      return u"Object doesn't support this property or method";
    case kHostErrNoSuchMember:
      return u"The requested member of the collection does not exist.";
    default:
      return u"Application-defined or object-defined error";
  }
}

Error MakeError(long number) {
  return Error(number, DefaultDescription(number));
}

Error NoError() {
  return Error(kNoErrorNumber, u"", u"");
}

Error CurrentError() {
  try {
    throw;
  } catch (const Error& e) {
    return e;
  } catch (const std::bad_alloc&) {
    return MakeError(kErrOutOfMemory);
  } catch (const std::exception& e) {
    return Error(kErrInvalidCall, Utf8ToUtf16(e.what()));
  } catch (...) {
    return MakeError(kErrInvalidCall);
  }
}

long LastSystemError() {
  return last_system_error;
}

void SetLastSystemError(long code) {
  last_system_error = code;
}

std::u16string ComposeErrorReport(std::u16string_view label, std::u16string_view context,
                                  const Error& error) {
  std::u16string out(label);
  out += context;
  out += error.description();
  out += u"(";
  out += ToText(error.number());
  out += u":";
  out += ToText(LastSystemError());
  out += u")";
  return out;
}

}  // namespace qnmuro
