#include "platform/xml_text.h"

namespace qnmuro {
namespace {

bool IsXmlChar(char16_t c) {
  if (c < 0x20) return c == 0x09 || c == 0x0A || c == 0x0D;
  return c != 0xFFFE && c != 0xFFFF;
}

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

}  // namespace

bool IsGbkAlias(std::string_view label) {
  for (std::string_view alias : kGbkAliases) {
    if (alias.size() != label.size()) continue;
    bool same = true;
    for (size_t i = 0; i < alias.size() && same; ++i) same = Upper(label[i]) == alias[i];
    if (same) return true;
  }
  return false;
}

bool CanCarry(std::u16string_view text) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
      ++i;
    } else if ((c >= 0xDC00 && c <= 0xDFFF) || !IsXmlChar(c)) {
      return false;
    }
  }
  return true;
}

std::pair<size_t, size_t> FindDeclaredLabel(std::string_view bytes) {
  constexpr std::pair<size_t, size_t> kNone{std::string_view::npos, 0};
  if (bytes.substr(0, 5) != "<?xml") return kNone;
  const std::string_view declaration = bytes.substr(0, bytes.find("?>"));
  const size_t at = declaration.find("encoding");
  if (at == std::string_view::npos) return kNone;
  size_t i = at + 8;
  while (i < declaration.size() &&
         (declaration[i] == ' ' || declaration[i] == '\t' || declaration[i] == '\r' ||
          declaration[i] == '\n' || declaration[i] == '=')) {
    ++i;
  }
  if (i >= declaration.size() || (declaration[i] != '"' && declaration[i] != '\'')) return kNone;
  const size_t close = declaration.find(declaration[i], i + 1);
  if (close == std::string_view::npos) return kNone;
  return {i + 1, close - i - 1};
}

GbkRelabelled RelabelGbk(std::string_view bytes) {
  GbkRelabelled out;
  const auto [at, length] = FindDeclaredLabel(bytes);
  if (at == std::string_view::npos) return out;
  const std::string_view label = bytes.substr(at, length);
  if (IsGbkAlias(label)) {
    out.alias = std::string(label);
    out.bytes = std::string(bytes.substr(0, at)) + "GBK" + std::string(bytes.substr(at + length));
    out.gbk = true;
  } else {
    out.gbk = label.size() == 3 && Upper(label[0]) == 'G' && Upper(label[1]) == 'B' &&
              Upper(label[2]) == 'K';
  }
  return out;
}

}  // namespace qnmuro
