#include "simhost/byte_base64.h"

namespace qnmuro::simhost {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int ValueOf(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string EncodeBytesBase64(const std::vector<uint8_t>& bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    uint32_t v = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  size_t rest = bytes.size() - i;
  if (rest > 0) {
    uint32_t v = bytes[i] << 16;
    if (rest == 2) v |= bytes[i + 1] << 8;
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::optional<std::vector<uint8_t>> DecodeBytesBase64(std::string_view text) {
  std::vector<uint8_t> out;
  out.reserve(text.size() / 4 * 3);
  uint32_t quartet = 0;
  int count = 0, padding = 0;
  for (char c : text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    if (c == '=') {
      if (count < 2) return std::nullopt;
      ++padding;
      quartet <<= 6;
      ++count;
    } else {
      int v = ValueOf(c);
      if (v < 0 || padding > 0) return std::nullopt;
      quartet = (quartet << 6) | static_cast<uint32_t>(v);
      ++count;
    }
    if (count == 4) {
      out.push_back(static_cast<uint8_t>(quartet >> 16));
      if (padding < 2) out.push_back(static_cast<uint8_t>(quartet >> 8));
      if (padding < 1) out.push_back(static_cast<uint8_t>(quartet));
      if (padding > 0) {
        count = -1000;  // nothing may follow the padded quartet
        continue;
      }
      quartet = 0;
      count = 0;
    }
  }
  if (count != 0 && count != -1000) return std::nullopt;
  return out;
}

}  // namespace qnmuro::simhost
