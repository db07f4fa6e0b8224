#include "platform/reg_document.h"

#include <algorithm>
#include <unordered_map>

#include "base/text.h"

namespace qnmuro {
namespace {

constexpr char kVersionLine[] = "Windows Registry Editor Version 5.00";

bool IsSpace(char16_t c) {
  return c == u' ' || c == u'\t';
}

std::u16string_view TrimView(std::u16string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && (IsSpace(s.back()) || s.back() == u'\r')) s.remove_suffix(1);
  return s;
}

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

bool StartsWith(std::u16string_view s, std::u16string_view prefix) {
  return s.size() >= prefix.size() && s.substr(0, prefix.size()) == prefix;
}

// A quoted .reg string starting at s[*pos] == '"'; only \\ and \" are escapes, any other
// backslash is kept as it is. False when the closing quote is missing.
bool ParseQuoted(std::u16string_view s, size_t* pos, std::u16string* out) {
  size_t i = *pos + 1;
  out->clear();
  while (i < s.size()) {
    const char16_t c = s[i];
    if (c == u'"') {
      *pos = i + 1;
      return true;
    }
    if (c == u'\\' && i + 1 < s.size() && (s[i + 1] == u'\\' || s[i + 1] == u'"')) {
      out->push_back(s[i + 1]);
      i += 2;
      continue;
    }
    out->push_back(c);
    ++i;
  }
  return false;
}

// "01,02, ff" (an empty list and a trailing comma are allowed).
bool ParseHexList(std::u16string_view s, std::vector<uint8_t>* out) {
  out->clear();
  s = TrimView(s);
  if (s.empty()) return true;
  size_t start = 0;
  while (start <= s.size()) {
    const size_t comma = s.find(u',', start);
    const std::u16string_view token =
        TrimView(s.substr(start, comma == std::u16string_view::npos ? s.npos : comma - start));
    const bool last = comma == std::u16string_view::npos;
    if (token.empty()) return last && !out->empty();  // only a trailing comma may be empty
    if (token.size() > 2) return false;
    int v = 0;
    for (char16_t c : token) {
      const int d = HexValue(c);
      if (d < 0) return false;
      v = v * 16 + d;
    }
    out->push_back(static_cast<uint8_t>(v));
    if (last) return true;
    start = comma + 1;
  }
  return true;
}

bool ParseHexNumber(std::u16string_view s, size_t max_digits, uint32_t* out) {
  if (s.empty() || s.size() > max_digits) return false;
  uint32_t v = 0;
  for (char16_t c : s) {
    const int d = HexValue(c);
    if (d < 0) return false;
    v = v * 16 + static_cast<uint32_t>(d);
  }
  *out = v;
  return true;
}

// The data part after "=".
bool ParseData(std::u16string_view s, RegistryValue* value) {
  s = TrimView(s);
  if (StartsWith(s, u"\"")) {
    size_t pos = 0;
    std::u16string text;
    if (!ParseQuoted(s, &pos, &text) || !TrimView(s.substr(pos)).empty()) return false;
    *value = RegistryValue::String(std::move(text));
    return true;
  }
  const std::u16string lower = AsciiLower(s);
  if (StartsWith(lower, u"dword:")) {
    uint32_t v = 0;
    if (!ParseHexNumber(TrimView(s.substr(6)), 8, &v)) return false;
    *value = RegistryValue::Dword(v);
    return true;
  }
  uint32_t type = kRegBinary;
  size_t list_start = 0;
  if (StartsWith(lower, u"hex:")) {
    list_start = 4;
  } else if (StartsWith(lower, u"hex(")) {
    const size_t close = s.find(u"):");
    if (close == s.npos || !ParseHexNumber(s.substr(4, close - 4), 8, &type)) return false;
    list_start = close + 2;
  } else {
    return false;
  }
  std::vector<uint8_t> bytes;
  if (!ParseHexList(s.substr(list_start), &bytes)) return false;
  if (type == kRegString) {
    // A string written as UTF-16LE bytes with its terminating NUL.
    if (bytes.size() % 2 != 0) return false;
    std::u16string text;
    for (size_t i = 0; i < bytes.size(); i += 2) {
      text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    }
    if (!text.empty() && text.back() == 0) text.pop_back();
    *value = RegistryValue::String(std::move(text));
    return true;
  }
  value->type = type;
  value->text.clear();
  value->bytes = std::move(bytes);
  return true;
}

// A value line: "name"=data or @=data.
bool ParseValueLine(std::u16string_view line, std::u16string* name, RegistryValue* value) {
  line = TrimView(line);
  size_t pos = 0;
  if (StartsWith(line, u"@")) {
    name->clear();
    pos = 1;
  } else if (StartsWith(line, u"\"")) {
    if (!ParseQuoted(line, &pos, name)) return false;
  } else {
    return false;
  }
  while (pos < line.size() && IsSpace(line[pos])) ++pos;
  if (pos >= line.size() || line[pos] != u'=') return false;
  return ParseData(line.substr(pos + 1), value);
}

// A section header "[ROOT\path]"; false for anything else, `valid` false for a header that
// names no key the store knows ("[-...]" deletions, unknown roots).
bool ParseHeader(std::u16string_view line, bool* valid, uint32_t* root, std::u16string* path) {
  line = TrimView(line);
  if (!StartsWith(line, u"[")) return false;
  *valid = false;
  const size_t close = line.rfind(u']');
  if (close == line.npos || close == 0) return true;
  const std::u16string_view inner = line.substr(1, close - 1);
  if (StartsWith(inner, u"-")) return true;
  const size_t slash = inner.find(u'\\');
  const std::optional<uint32_t> code = RegistryRootFromName(TrimView(inner.substr(0, slash)));
  if (!code) return true;
  *valid = true;
  *root = *code;
  *path = slash == inner.npos ? std::u16string() : NormalizeRegistryPath(inner.substr(slash + 1));
  return true;
}

bool IsBlank(const std::vector<std::string>& raw) {
  for (const std::string& line : raw) {
    for (char c : line) {
      if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
    }
  }
  return true;
}

// A physical line as Parse splits the file: its content and its line end.
struct RawLine {
  std::string_view content;
  std::string_view end;
};

bool EndsWithContinuation(std::u16string_view s) {
  s = TrimView(s);
  return !s.empty() && s.back() == u'\\';
}

}  // namespace

std::u16string NormalizeRegistryPath(std::u16string_view path) {
  std::u16string out;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(u'\\', start);
    if (end == path.npos) end = path.size();
    if (end > start) {
      if (!out.empty()) out += u'\\';
      out.append(path.substr(start, end - start));
    }
    start = end + 1;
  }
  return out;
}

RegDocument RegDocument::Parse(std::string_view bytes) {
  RegDocument doc;
  std::vector<RawLine> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    const size_t next = end == bytes.npos ? bytes.size() : end + 1;
    if (end == bytes.npos) end = bytes.size();
    size_t content_end = end;
    if (end < bytes.size() && content_end > start && bytes[content_end - 1] == '\r') {
      --content_end;
      if (lines.empty()) doc.eol_ = "\r\n";
    }
    lines.push_back(
        {bytes.substr(start, content_end - start), bytes.substr(content_end, next - content_end)});
    start = next;
  }
  auto whole = [&](size_t i) { return std::string(lines[i].content) + std::string(lines[i].end); };
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string_view first = lines[i].content;
    if (i == 0 && first.substr(0, 3) == "\xEF\xBB\xBF") first.remove_prefix(3);
    std::u16string text = Utf8ToUtf16(first);
    Section section;
    std::u16string path;
    if (ParseHeader(text, &section.valid, &section.root, &path)) {
      section.header.push_back(whole(i));
      section.folded_path = AsciiLower(path);
      doc.sections_.push_back(std::move(section));
      continue;
    }
    Entry entry;
    entry.raw.push_back(whole(i));
    const std::u16string_view trimmed = TrimView(text);
    if ((StartsWith(trimmed, u"\"") || StartsWith(trimmed, u"@")) &&
        AsciiLower(text).find(u"=hex") != std::u16string::npos) {
      // A hex list continued over several lines with trailing backslashes. Each line says
      // for itself whether it goes on: a blank line always ends the list.
      bool more = EndsWithContinuation(text);
      while (more && i + 1 < lines.size()) {
        const std::u16string next = Utf8ToUtf16(lines[++i].content);
        more = EndsWithContinuation(next);
        text = std::u16string(TrimView(text));
        text.pop_back();
        text += TrimView(next);
        entry.raw.push_back(whole(i));
      }
      entry.awaits_continuation = more;
    }
    entry.is_value = doc.sections_.back().valid && ParseValueLine(text, &entry.name, &entry.value);
    if (entry.is_value) entry.folded_name = AsciiLower(entry.name);
    doc.sections_.back().entries.push_back(std::move(entry));
  }
  return doc;
}

std::string RegDocument::Serialize() const {
  std::string out;
  // A last line without its line end gets one when more follows (or the file ends), so that
  // no line runs into the next.
  auto add = [&](const std::string& line) {
    out += line;
    if (line.empty() || line.back() != '\n') out += eol_;
  };
  for (const Section& section : sections_) {
    for (const std::string& line : section.header) add(line);
    for (const Entry& entry : section.entries) {
      for (const std::string& line : entry.raw) add(line);
    }
  }
  return out;
}

std::vector<size_t> RegDocument::SectionsOf(uint32_t root, std::u16string_view path) const {
  const std::u16string folded = AsciiLower(NormalizeRegistryPath(path));
  std::vector<size_t> out;
  for (size_t i = 0; i < sections_.size(); ++i) {
    const Section& section = sections_[i];
    if (section.valid && section.root == root && section.folded_path == folded) out.push_back(i);
  }
  return out;
}

bool RegDocument::KeyExists(uint32_t root, std::u16string_view path) const {
  const std::u16string folded = AsciiLower(NormalizeRegistryPath(path));
  if (folded.empty()) return !RegistryRootName(root).empty();
  for (const Section& section : sections_) {
    if (!section.valid || section.root != root) continue;
    if (section.folded_path == folded || StartsWith(section.folded_path, folded + u"\\")) {
      return true;
    }
  }
  return false;
}

void RegDocument::CreateKey(uint32_t root, std::u16string_view path) {
  if (!SectionsOf(root, path).empty()) return;
  const std::u16string normalized = NormalizeRegistryPath(path);
  Section& last = sections_.back();
  if (sections_.size() == 1 && last.entries.empty()) {
    // A new file opens with the version line, as regedit writes it.
    last.entries.push_back(Entry{{kVersionLine + eol_}, false, {}, {}, {}, false});
    last.entries.push_back(Entry{{eol_}, false, {}, {}, {}, false});
  } else if (last.entries.empty() ? !last.header.empty() : !IsBlank(last.entries.back().raw)) {
    last.entries.push_back(Entry{{eol_}, false, {}, {}, {}, false});
  }
  Section section;
  std::u16string header = u"[" + RegistryRootName(root);
  if (!normalized.empty()) header += u"\\" + normalized;
  header += u"]";
  section.header.push_back(Utf16ToUtf8(header) + eol_);
  section.valid = true;
  section.root = root;
  section.folded_path = AsciiLower(normalized);
  sections_.push_back(std::move(section));
}

const RegistryValue* RegDocument::Find(uint32_t root, std::u16string_view path,
                                       std::u16string_view name) const {
  const std::u16string folded = AsciiLower(name);
  const RegistryValue* found = nullptr;
  for (size_t i : SectionsOf(root, path)) {
    for (const Entry& entry : sections_[i].entries) {
      if (entry.is_value && entry.folded_name == folded) found = &entry.value;
    }
  }
  return found;
}

bool RegDocument::Set(uint32_t root, std::u16string_view path, std::u16string_view name,
                      const RegistryValue& value) {
  if (!KeyExists(root, path)) return false;
  const std::u16string folded = AsciiLower(name);
  Entry* target = nullptr;
  for (size_t i : SectionsOf(root, path)) {
    for (Entry& entry : sections_[i].entries) {
      if (entry.is_value && entry.folded_name == folded) target = &entry;
    }
  }
  if (target != nullptr) {
    target->raw = {FormatRegistryValueLine(target->name, value) + eol_};
    target->value = value;
    target->awaits_continuation = false;
    return true;
  }
  CreateKey(root, path);  // a key that exists only as a parent gets its own section
  Section* section = &sections_[SectionsOf(root, path).back()];
  Entry entry;
  entry.raw = {FormatRegistryValueLine(name, value) + eol_};
  entry.is_value = true;
  entry.name = std::u16string(name);
  entry.folded_name = folded;
  entry.value = value;
  // After the section's last non-blank line, so the blank line before the next key stays.
  auto at = section->entries.end();
  while (at != section->entries.begin() && IsBlank(std::prev(at)->raw)) --at;
  // A hex list cut off at the end of the file would take a line written after it as its
  // continuation: the new value goes before it, and the cut line stays last, as it was.
  if (at != section->entries.begin() && std::prev(at)->awaits_continuation) --at;
  section->entries.insert(at, std::move(entry));
  return true;
}

bool RegDocument::Remove(uint32_t root, std::u16string_view path, std::u16string_view name) {
  const std::u16string folded = AsciiLower(name);
  bool removed = false;
  for (size_t i : SectionsOf(root, path)) {
    std::vector<Entry>& entries = sections_[i].entries;
    const auto it = std::remove_if(entries.begin(), entries.end(), [&](const Entry& e) {
      return e.is_value && e.folded_name == folded;
    });
    removed = removed || it != entries.end();
    entries.erase(it, entries.end());
  }
  return removed;
}

RegistryValueList RegDocument::List(uint32_t root, std::u16string_view path) const {
  RegistryValueList out;
  std::unordered_map<std::u16string_view, size_t> index;  // folded name -> position in `out`
  for (size_t i : SectionsOf(root, path)) {
    for (const Entry& entry : sections_[i].entries) {
      if (!entry.is_value) continue;
      const auto [it, added] = index.try_emplace(entry.folded_name, out.size());
      if (added) {
        out.emplace_back(entry.name, entry.value);
      } else {
        out[it->second] = {entry.name, entry.value};
      }
    }
  }
  return out;
}

}  // namespace qnmuro
