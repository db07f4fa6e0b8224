#include "hostkit/transcript.h"

#include <charconv>

#include "base/text.h"

namespace qnmuro::hostkit {
namespace {

std::string Bracketed(std::u16string_view title) {
  return "[" + TranscriptText(title.empty() ? std::u16string_view(kApplicationTitle) : title) + "]";
}

}  // namespace

std::string TranscriptText(std::u16string_view text) {
  std::string out;
  size_t from = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'\r' && text[i] != u'\n') continue;
    out += U8(text.substr(from, i - from));
    out += text[i] == u'\r' ? "\\r" : "\\n";
    from = i + 1;
  }
  out += U8(text.substr(from));
  return out;
}

std::string TranscriptQuoted(std::u16string_view text) {
  return "\"" + TranscriptText(text) + "\"";
}

std::string FormatUiRecord(const UiRecord& r) {
  std::string line;
  switch (r.kind) {
    case UiRecord::Kind::kCursor:
      return "";
    case UiRecord::Kind::kMessage:
      line = "MSGBOX " + Bracketed(r.title) + " " + ToString(r.icon) + " " + ToString(r.buttons) +
             ": " + TranscriptText(r.text) + " => " + ToString(r.answer);
      break;
    case UiRecord::Kind::kInput:
      line = "INPUTBOX " + Bracketed(r.title) + " " + TranscriptText(r.text) + " => " +
             (r.input ? TranscriptQuoted(*r.input) : "(cancel)");
      break;
    case UiRecord::Kind::kDialog:
      line = "DIALOG " + Bracketed(r.text) + " => " +
             (r.input ? TranscriptQuoted(*r.input) : "(cancel)");
      break;
    case UiRecord::Kind::kForm:
      line = "DIALOG " + Bracketed(r.text) + " =>";
      if (!r.input) line += " (cancel)";
      if (r.input && r.picked.empty()) line += " (ok)";
      for (const std::u16string& choice : r.picked) line += " " + TranscriptQuoted(choice);
      break;
  }
  if (r.defaulted) line += " (default)";
  return line;
}

std::string FormatHostError(const Error& error) {
  return "HOST-ERROR " + std::to_string(error.number()) + " " + TranscriptText(error.description());
}

std::string FormatLength(float value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

}  // namespace qnmuro::hostkit
