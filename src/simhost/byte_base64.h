// Base64 of raw bytes (standard alphabet, "=" padding), for pictures embedded in document
// files. The add-in's own Base64 (common/base64.h) carries texts in the ANSI code page with its
// own failure rules; pictures need a plain byte codec.
#ifndef QNMURO_SIMHOST_BYTE_BASE64_H_
#define QNMURO_SIMHOST_BYTE_BASE64_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qnmuro::simhost {

std::string EncodeBytesBase64(const std::vector<uint8_t>& bytes);
// White space is skipped; nullopt for any other character outside the alphabet, a misplaced
// "=" or a length that is not a whole number of quartets.
std::optional<std::vector<uint8_t>> DecodeBytesBase64(std::string_view text);

}  // namespace qnmuro::simhost

#endif  // QNMURO_SIMHOST_BYTE_BASE64_H_
