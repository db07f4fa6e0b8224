// Reading `qnmuro run` scripts: lines into words, words into checked commands. The language
// itself is described in docs/scripts.md.
#ifndef QNMURO_HOSTKIT_SCRIPT_PARSER_H_
#define QNMURO_HOSTKIT_SCRIPT_PARSER_H_

#include <chrono>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/ui.h"

namespace qnmuro::hostkit {

// A fault of the script itself (not of the host): the 1-based line and the reason. what() is
// "line N: reason".
class ScriptError final : public std::runtime_error {
 public:
  ScriptError(int line, const std::string& reason);
  int line() const { return line_; }
  const std::string& reason() const { return reason_; }

 private:
  int line_;
  std::string reason_;
};

// One command as written: its line, its name and its arguments (UTF-16, escapes resolved).
struct ScriptCommand {
  int line = 0;
  std::string name;
  std::vector<std::u16string> args;
};

// Splits one line (UTF-8) into words: blanks (spaces, tabs) separate; `#` outside double quotes
// ends the line; double quotes group (an empty pair is an empty word); a backslash escapes
// \" \\ \r \n \t inside and outside quotes. Throws ScriptError for an unknown escape, a
// backslash at the end of the line, or an unclosed quote.
std::vector<std::u16string> SplitScriptLine(std::string_view line, int line_number);

// Parses a whole script (UTF-8; a leading byte-order mark and CR before LF are ignored) into
// commands, checking that every line is valid UTF-8 and every command name and its arguments. Blank
// and comment-only lines yield nothing. Throws ScriptError at the first fault.
std::vector<ScriptCommand> ParseScript(std::string_view text);

// Argument readers shared by the checks and the runner; nullopt when the text is malformed.
// A character position: decimal digits, 0 to 2^31-1.
std::optional<long> ParsePosition(std::u16string_view text);
// An occurrence's number: a position from 1.
std::optional<long> ParseOccurrence(std::u16string_view text);
// A length in points: a decimal number (digits, optional fraction), greater than 0, at most
// 10000.
std::optional<float> ParseLength(std::u16string_view text);
// "ok", "yes", "no" or "cancel".
std::optional<MsgAnswer> ParseAnswer(std::u16string_view text);
// YYYY-MM-DDTHH:MM:SS, a valid local date and time within the clock's years
// (kFirstClockYear to kLastClockYear, platform/clock.h: 1970 to 2261).
std::optional<LocalTime> ParseClockTime(std::u16string_view text);
// The same layout and calendar checks, any year from 0000 to 9999.
std::optional<LocalTime> ParseCalendarTime(std::u16string_view text);
// Digits followed by s, m or h ("90s", "59m", "2h"), at most 10 years.
std::optional<std::chrono::milliseconds> ParseDuration(std::u16string_view text);

// What `show` can show, in the order listed in its error message.
inline constexpr const char* kShowWhats[] = {"text",      "bookmarks", "shapes",
                                             "revisions", "state",     "toolbar",
                                             "documents", "settings",  "menu"};

}  // namespace qnmuro::hostkit

#endif  // QNMURO_HOSTKIT_SCRIPT_PARSER_H_
