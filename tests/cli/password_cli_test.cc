#include <gtest/gtest.h>

#include "support/cli_runner.h"

namespace qnmuro {
namespace {

using test_util::CountLines;
using test_util::RunQnmuro;
using test_util::TempDir;

class PasswordCliTest : public ::testing::Test {
 protected:
  test_util::CliResult Run(const std::vector<std::string>& args) {
    return RunQnmuro(args, {"QNMURO_CODEPAGE=GBK"}, dir_);
  }
  TempDir dir_;
};

TEST_F(PasswordCliTest, EnciphersAndDeciphers) {
  auto r = Run({"password", "encrypt", "secret123"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "425D5031564D740B75\n");
  EXPECT_EQ(r.err, "");
  r = Run({"password", "decrypt", "505A50"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "abc\n");
}

TEST_F(PasswordCliTest, EmptyAndChineseTexts) {
  EXPECT_EQ(Run({"password", "encrypt", ""}).out, "\n");
  EXPECT_EQ(Run({"password", "encrypt", "公a"}).out, "B99A59\n");
  // What the cipher cannot have written is refused rather than deciphered into nonsense.
  for (const char* text : {"50GG5A", "505", "50 5A"}) {
    const auto r = Run({"password", "decrypt", text});
    EXPECT_EQ(r.status, 2) << text;
    EXPECT_NE(r.err.find("is not an enciphered password"), std::string::npos) << r.err;
  }
  // Invalid UTF-8 on the command line never crashes.
  EXPECT_EQ(Run({"password", "encrypt", "\xFF"}).status, 0);
}

TEST_F(PasswordCliTest, BadArgumentsGiveOneLineAndStatusTwo) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{"password"},
                                               {"password", "encrypt"},
                                               {"password", "decrypt"},
                                               {"password", "rot13", "x"},
                                               {"password", "encrypt", "a", "b"},
                                               {"no-such-command"}}) {
    const auto r = Run(args);
    EXPECT_EQ(r.status, 2) << args.back();
    EXPECT_EQ(CountLines(r.err), 1) << r.err;
    EXPECT_EQ(r.out, "");
  }
}

}  // namespace
}  // namespace qnmuro
