// JSON text for the --json outputs: strings quoted and escaped, nothing more.
#ifndef QNMURO_CLI_JSON_H_
#define QNMURO_CLI_JSON_H_

#include <cstdio>
#include <string>
#include <string_view>

namespace qnmuro::cli {

// `utf8` as a JSON string: quotes, backslashes and control characters escaped; other bytes
// pass unchanged (the command's texts are UTF-8).
inline std::string JsonQuote(std::string_view utf8) {
  std::string out = "\"";
  for (const char c : utf8) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace qnmuro::cli

#endif  // QNMURO_CLI_JSON_H_
