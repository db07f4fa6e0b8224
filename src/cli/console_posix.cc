#include <unistd.h>

#include <cstdio>

#include "cli/command.h"
#include "cli/watched_http.h"

namespace qnmuro::cli {

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

bool StderrIsTerminal() {
  return isatty(fileno(stderr)) == 1;
}

}  // namespace qnmuro::cli
