#include "cli/command.h"

namespace qnmuro::cli {

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

}  // namespace qnmuro::cli
