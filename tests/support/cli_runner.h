// Runs the real qnmuro binary from a test: arguments quoted for /bin/sh, extra environment
// settings in front, standard output and error captured separately.
#ifndef QNMURO_TESTS_SUPPORT_CLI_RUNNER_H_
#define QNMURO_TESTS_SUPPORT_CLI_RUNNER_H_

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace qnmuro::test_util {

struct CliResult {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string ShellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

// Runs `program` with `args`; `env` holds NAME=VALUE settings; `scratch` receives the
// captured output files.
inline CliResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                            const std::vector<std::string>& env, const TempDir& scratch) {
  std::string command;
  for (const std::string& e : env) command += ShellQuote(e) + " ";
  command += ShellQuote(program);
  for (const std::string& a : args) command += " " + ShellQuote(a);
  const auto out = scratch / "stdout";
  const auto err = scratch / "stderr";
  command = "env " + command + " >" + ShellQuote(out.string()) + " 2>" + ShellQuote(err.string()) +
            " </dev/null";
  const int raw = std::system(command.c_str());
  CliResult result;
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.out = ReadBytes(out);
  result.err = ReadBytes(err);
  return result;
}

// The qnmuro binary under test.
inline CliResult RunQnmuro(const std::vector<std::string>& args,
                           const std::vector<std::string>& env, const TempDir& scratch) {
  return RunProgram(QNMURO_BIN, args, env, scratch);
}

inline int CountLines(const std::string& text) {
  int n = 0;
  for (char c : text) n += c == '\n';
  return n;
}

}  // namespace qnmuro::test_util

#endif  // QNMURO_TESTS_SUPPORT_CLI_RUNNER_H_
