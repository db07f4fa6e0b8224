#include "hostkit/script_parser.h"

#include <cmath>
#include <cstdlib>

#include "base/text.h"

namespace qnmuro::hostkit {
namespace {

// Every command with its arguments; a placeholder's name gives the argument's kind.
constexpr std::string_view kUsages[] = {
    "set-registry NAME VALUE",
    "open PATH",
    "new",
    "activate NAME",
    "type TEXT",
    "select START END",
    "select-bookmark NAME",
    "select-text TEXT [N]",
    "bookmark NAME",
    "bookmark-text NAME TEXT",
    "picture FILE NAME WIDTH HEIGHT",
    "define-macro NAME",
    "save",
    "save-as PATH",
    "close",
    "click CAPTION",
    "menu BAR POPUP ITEM",
    "answer ok|yes|no|cancel",
    "input TEXT",
    "input-cancel",
    "pick-file PATH",
    "pick-file-cancel",
    "pick-template BODYTYPE TEMPLATE",
    "pick-template-cancel",
    "pick-seal NAME",
    "pick-seal-cancel",
    "clock YYYY-MM-DDTHH:MM:SS",
    "wait DURATION",
    "show WHAT",
    "disconnect",
};

std::vector<std::string_view> Words(std::string_view usage) {
  std::vector<std::string_view> words;
  size_t pos = 0;
  while (pos < usage.size()) {
    size_t end = usage.find(' ', pos);
    if (end == std::string_view::npos) end = usage.size();
    words.push_back(usage.substr(pos, end - pos));
    pos = end + 1;
  }
  return words;
}

std::string Quoted(std::u16string_view text) {
  return "\"" + U8(text) + "\"";
}

// Checks one argument of `command` against its placeholder; empty when it is fine, else the
// reason.
std::string CheckArgument(std::string_view command, std::string_view placeholder,
                          std::u16string_view value) {
  if (placeholder == "START" || placeholder == "END") {
    if (!ParsePosition(value)) {
      return std::string(placeholder) + " must be a character position, not " + Quoted(value);
    }
  } else if (placeholder == "WIDTH" || placeholder == "HEIGHT") {
    if (!ParseLength(value)) {
      return std::string(placeholder) + " must be a length in points (over 0, at most 10000), " +
             "not " + Quoted(value);
    }
  } else if (placeholder == "ok|yes|no|cancel") {
    if (!ParseAnswer(value))
      return "the answer must be ok, yes, no or cancel, not " + Quoted(value);
  } else if (placeholder == "YYYY-MM-DDTHH:MM:SS") {
    if (!ParseClockTime(value)) {
      if (ParseCalendarTime(value)) {
        return "the time must lie between " + std::to_string(kFirstClockYear) +
               "-01-01T00:00:00 and " + std::to_string(kLastClockYear) + "-12-31T23:59:59, not " +
               Quoted(value);
      }
      return "the time must be a valid YYYY-MM-DDTHH:MM:SS, not " + Quoted(value);
    }
  } else if (placeholder == "DURATION") {
    if (!ParseDuration(value)) {
      return "the duration must be a number followed by s, m or h (90s, 59m, 2h), not " +
             Quoted(value);
    }
  } else if (placeholder == "WHAT") {
    for (const char* what : kShowWhats) {
      if (U16(what) == value) return "";
    }
    std::string list;
    for (const char* what : kShowWhats) list += std::string(list.empty() ? "" : ", ") + what;
    return "WHAT must be one of " + list + ", not " + Quoted(value);
  } else if (placeholder == "[N]") {
    if (!ParseOccurrence(value)) {
      return "N must be an occurrence from 1, not " + Quoted(value);
    }
  } else if (placeholder == "TEXT" && value.empty() &&
             (command == "select-text" || command == "bookmark-text")) {
    return "the text to find must not be empty";
  } else if ((placeholder == "PATH" || placeholder == "FILE") && value.empty()) {
    return std::string(placeholder) + " must not be empty";
  }
  return "";
}

// Whole-number digits of at most `max_digits`; nullopt otherwise.
std::optional<long long> Digits(std::u16string_view text, size_t max_digits) {
  if (text.empty() || text.size() > max_digits) return std::nullopt;
  long long n = 0;
  for (char16_t ch : text) {
    if (ch < u'0' || ch > u'9') return std::nullopt;
    n = n * 10 + (ch - u'0');
  }
  return n;
}

bool IsLeapYear(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

}  // namespace

ScriptError::ScriptError(int line, const std::string& reason)
    : std::runtime_error("line " + std::to_string(line) + ": " + reason),
      line_(line),
      reason_(reason) {}

std::vector<std::u16string> SplitScriptLine(std::string_view line, int line_number) {
  std::vector<std::u16string> words;
  std::string word;
  bool in_word = false;
  bool in_quotes = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char ch = line[i];
    if (ch == '\\') {
      if (i + 1 == line.size()) throw ScriptError(line_number, "backslash at the end of the line");
      const char next = line[++i];
      switch (next) {
        case '"':
        case '\\':
          word += next;
          break;
        case 'r':
          word += '\r';
          break;
        case 'n':
          word += '\n';
          break;
        case 't':
          word += '\t';
          break;
        default:
          throw ScriptError(line_number, std::string("unknown escape \\") + next +
                                             " (use \\\" \\\\ \\r \\n or \\t)");
      }
      in_word = true;
    } else if (ch == '"') {
      in_quotes = !in_quotes;
      in_word = true;
    } else if (in_quotes) {
      word += ch;
    } else if (ch == '#') {
      break;
    } else if (ch == ' ' || ch == '\t') {
      if (in_word) words.push_back(U16(word));
      word.clear();
      in_word = false;
    } else {
      word += ch;
      in_word = true;
    }
  }
  if (in_quotes) throw ScriptError(line_number, "unclosed double quote");
  if (in_word) words.push_back(U16(word));
  return words;
}

std::vector<ScriptCommand> ParseScript(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<ScriptCommand> commands;
  int line_number = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    pos = end + 1;
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    // A conversion that does not give the same bytes back met a malformed sequence.
    if (U8(U16(line)) != line) throw ScriptError(line_number, "the line is not valid UTF-8");

    std::vector<std::u16string> words = SplitScriptLine(line, line_number);
    if (words.empty()) continue;
    ScriptCommand command;
    command.line = line_number;
    command.name = U8(words.front());
    command.args.assign(words.begin() + 1, words.end());

    std::string_view usage;
    for (std::string_view u : kUsages) {
      if (Words(u).front() == command.name) usage = u;
    }
    if (usage.empty()) {
      throw ScriptError(line_number, "unknown command " + Quoted(words.front()));
    }
    const std::vector<std::string_view> placeholders = Words(usage);
    // Placeholders in brackets may be left out, from the end.
    size_t required = placeholders.size();
    while (required > 1 && placeholders[required - 1].front() == '[') --required;
    if (words.size() < required || words.size() > placeholders.size()) {
      throw ScriptError(line_number, "usage: " + std::string(usage));
    }
    for (size_t i = 0; i < command.args.size(); ++i) {
      const std::string reason = CheckArgument(command.name, placeholders[i + 1], command.args[i]);
      if (!reason.empty()) throw ScriptError(line_number, command.name + ": " + reason);
    }
    commands.push_back(std::move(command));
  }
  return commands;
}

std::optional<long> ParsePosition(std::u16string_view text) {
  const std::optional<long long> n = Digits(text, 10);
  if (!n || *n > 2147483647LL) return std::nullopt;
  return static_cast<long>(*n);
}

std::optional<long> ParseOccurrence(std::u16string_view text) {
  const std::optional<long> n = ParsePosition(text);
  if (!n || *n == 0) return std::nullopt;
  return n;
}

std::optional<float> ParseLength(std::u16string_view text) {
  const size_t dot = text.find(u'.');
  const std::u16string_view whole = text.substr(0, dot);
  const std::optional<long long> w = Digits(whole, 5);
  if (!w) return std::nullopt;
  double value = static_cast<double>(*w);
  if (dot != std::u16string_view::npos) {
    const std::u16string_view fraction = text.substr(dot + 1);
    const std::optional<long long> f = Digits(fraction, 6);
    if (!f) return std::nullopt;
    value += static_cast<double>(*f) / std::pow(10.0, static_cast<double>(fraction.size()));
  }
  if (value <= 0 || value > 10000) return std::nullopt;
  return static_cast<float>(value);
}

std::optional<MsgAnswer> ParseAnswer(std::u16string_view text) {
  for (MsgAnswer a : {MsgAnswer::kOk, MsgAnswer::kYes, MsgAnswer::kNo, MsgAnswer::kCancel}) {
    if (U16(ToString(a)) == text) return a;
  }
  return std::nullopt;
}

std::optional<LocalTime> ParseClockTime(std::u16string_view text) {
  std::optional<LocalTime> t = ParseCalendarTime(text);
  if (t && (t->year < kFirstClockYear || t->year > kLastClockYear)) return std::nullopt;
  return t;
}

std::optional<LocalTime> ParseCalendarTime(std::u16string_view text) {
  // Fixed layout: digits everywhere but the separators.
  constexpr std::u16string_view kLayout = u"0000-00-00T00:00:00";
  if (text.size() != kLayout.size()) return std::nullopt;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= u'0' && text[i] <= u'9';
    if (kLayout[i] == u'0' ? !digit : text[i] != kLayout[i]) return std::nullopt;
  }
  auto field = [&](size_t at, size_t len) {
    return static_cast<int>(*Digits(text.substr(at, len), len));
  };
  LocalTime t{field(0, 4), field(5, 2), field(8, 2), field(11, 2), field(14, 2), field(17, 2)};
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (t.month < 1 || t.month > 12 || t.day < 1 || t.hour > 23 || t.minute > 59 || t.second > 59) {
    return std::nullopt;
  }
  const int days = kDays[t.month - 1] + (t.month == 2 && IsLeapYear(t.year) ? 1 : 0);
  if (t.day > days) return std::nullopt;
  return t;
}

std::optional<std::chrono::milliseconds> ParseDuration(std::u16string_view text) {
  if (text.size() < 2) return std::nullopt;
  const std::optional<long long> n = Digits(text.substr(0, text.size() - 1), 9);
  if (!n) return std::nullopt;
  long long seconds = 0;
  switch (text.back()) {
    case u's':
      seconds = *n;
      break;
    case u'm':
      seconds = *n * 60;
      break;
    case u'h':
      seconds = *n * 3600;
      break;
    default:
      return std::nullopt;
  }
  if (seconds > 10LL * 366 * 24 * 3600) return std::nullopt;
  return std::chrono::milliseconds(seconds * 1000);
}

}  // namespace qnmuro::hostkit
