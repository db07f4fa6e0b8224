// The script parser of `qnmuro run`: any bytes as a script. A script either parses into
// commands or is refused with "line N: reason" naming a line it has; the argument readers
// take any text.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/text.h"
#include "hostkit/script_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qnmuro;
  using namespace qnmuro::hostkit;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const long lines = 1 + static_cast<long>(std::count(bytes.begin(), bytes.end(), '\n'));
  try {
    for (const ScriptCommand& command : ParseScript(bytes)) {
      if (command.line < 1 || command.line > lines) __builtin_trap();
    }
  } catch (const ScriptError& e) {
    if (e.line() < 1 || e.line() > lines) __builtin_trap();
  }

  const std::u16string text = Utf8ToUtf16(bytes);
  ParsePosition(text);
  if (const auto length = ParseLength(text); length && !(*length > 0 && *length <= 10000)) {
    __builtin_trap();
  }
  ParseAnswer(text);
  ParseClockTime(text);
  ParseCalendarTime(text);
  ParseDuration(text);
  return 0;
}
