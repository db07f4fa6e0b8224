// JSON text for the --json outputs, all in one style: one line, no blanks, keys in camelCase as
// the control file names its fields.
#ifndef QNMURO_CLI_JSON_H_
#define QNMURO_CLI_JSON_H_

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

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

// An object built key by key.
class JsonObject {
 public:
  JsonObject& Text(std::string_view key, std::string_view utf8) {
    return Raw(key, JsonQuote(utf8));
  }
  // A value already in JSON form: a number, true/false/null, an array or an object.
  JsonObject& Raw(std::string_view key, std::string_view json) {
    out_ += (out_.size() > 1 ? "," : "") + JsonQuote(key) + ":" + std::string(json);
    return *this;
  }
  std::string Done() const { return out_ + "}"; }

 private:
  std::string out_ = "{";
};

// An array of values already in JSON form.
inline std::string JsonArray(const std::vector<std::string>& items) {
  std::string out = "[";
  for (size_t i = 0; i < items.size(); ++i) out += (i == 0 ? "" : ",") + items[i];
  return out + "]";
}

}  // namespace qnmuro::cli

#endif  // QNMURO_CLI_JSON_H_
