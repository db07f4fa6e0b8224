#include "base/error.h"

#include <gtest/gtest.h>

#include "base/text.h"

#include <stdexcept>
#include <thread>
#include <vector>

namespace qnmuro {
namespace {

TEST(ErrorTest, ReportIsComposedWithoutSeparators) {
  SetLastSystemError(183);
  const Error e(53, u"File not found");
  EXPECT_EQ(ComposeErrorReport(u"DocumentOpen错误：", u"ctx", e),
            u"DocumentOpen错误：ctxFile not found(53:183)");
  SetLastSystemError(0);
  EXPECT_EQ(ComposeErrorReport(u"L", u"", MakeError(9)), u"LSubscript out of range(9:0)");
}

// Every number the add-in raises has its own description, never the generic one.
TEST(ErrorTest, EveryNamedNumberHasItsOwnDescription) {
  const std::u16string generic = DefaultDescription(-1);
  for (long n : {kErrInvalidCall, kErrOverflow, kErrOutOfMemory, kErrSubscript, kErrDivisionByZero,
                 kErrTypeMismatch, kErrCantPerform, kErrBadFileName, kErrFileNotFound, kErrDiskFull,
                 kErrPathAccess, kErrObjectNotSet, kErrNotSupported, kHostErrNoSuchMember}) {
    EXPECT_NE(DefaultDescription(n), generic) << n;
  }
  EXPECT_EQ(ComposeErrorReport(u"L", u"c", NoError()), u"Lc(0:" + ToText(LastSystemError()) + u")");
}

TEST(ErrorTest, IgnoreFailureRunsEveryStep) {
  std::vector<int> ran;
  EXPECT_FALSE(IgnoreFailure([&] {
    ran.push_back(1);
    throw MakeError(5);
  }));
  EXPECT_FALSE(IgnoreFailure([&] { throw std::runtime_error("x"); }));
  EXPECT_TRUE(IgnoreFailure([&] { ran.push_back(2); }));
  EXPECT_EQ(ran, (std::vector<int>{1, 2}));
}

TEST(ErrorTest, TrapFirstFailureStopsAndReports) {
  std::vector<int> ran;
  long reported = 0;
  EXPECT_FALSE(TrapFirstFailure(
      [&] {
        ran.push_back(1);
        throw MakeError(kHostErrNoSuchMember);
        ran.push_back(2);
      },
      [&](const Error& e) { reported = e.number(); }));
  EXPECT_EQ(ran, std::vector<int>{1});
  EXPECT_EQ(reported, 5941);
}

TEST(ErrorTest, ForeignExceptionsBecomeRunTimeErrors) {
  long number = 0;
  TrapFirstFailure([] { throw std::bad_alloc(); }, [&](const Error& e) { number = e.number(); });
  EXPECT_EQ(number, 7);
  std::u16string description;
  TrapFirstFailure([] { throw std::out_of_range("index"); },
                   [&](const Error& e) { description = e.description(); });
  EXPECT_EQ(description, u"index");
}

TEST(ErrorTest, LastSystemErrorIsPerThread) {
  SetLastSystemError(42);
  long seen = -1;
  std::thread([&] { seen = LastSystemError(); }).join();
  EXPECT_EQ(seen, 0);
  EXPECT_EQ(LastSystemError(), 42);
  SetLastSystemError(0);
}

}  // namespace
}  // namespace qnmuro
