#include "common/base64.h"

#include "base/error.h"
#include "base/text.h"

namespace qnmuro {
namespace {

constexpr uint8_t kPad = 64;       // decoding-table mark of "="
constexpr uint8_t kInvalid = 255;  // decoding-table mark of a character outside the alphabet

// Checked element access: an index outside the array is run-time error 9.
template <class Array>
auto& At(Array& array, long long index) {
  if (index < 0 || static_cast<unsigned long long>(index) >= array.size()) {
    throw MakeError(kErrSubscript);
  }
  return array[static_cast<size_t>(index)];
}

// The conversion each output byte goes through: above 255 is run-time error 6.
uint8_t ToByte(int value) {
  if (value < 0 || value > 255) throw MakeError(kErrOverflow);
  return static_cast<uint8_t>(value);
}

// numerator / 4 rounded to the nearest integer, halves to even (the host's rounding).
long long QuarterRoundedHalfEven(long long numerator) {
  long long q = numerator / 4;
  long long rem = numerator % 4;
  if (rem < 0) {
    rem += 4;
    --q;
  }
  if (rem > 2 || (rem == 2 && q % 2 != 0)) ++q;
  return q;
}

}  // namespace

Base64::Base64() {
  // Three counted loops and two single stores, in the order the tables were always filled.
  for (int k = 0; k < 26; ++k) enc_[k] = static_cast<uint8_t>(65 + k);
  for (int k = 0; k < 26; ++k) enc_[26 + k] = static_cast<uint8_t>(97 + k);
  for (int k = 0; k < 10; ++k) enc_[52 + k] = static_cast<uint8_t>(48 + k);
  enc_[62] = 43;
  enc_[63] = 47;
  dec_.fill(kInvalid);
  for (int k = 0; k < 64; ++k) dec_[enc_[k]] = static_cast<uint8_t>(k);
  dec_[61] = kPad;
}

std::u16string Base64::Encode(std::u16string_view text) const {
  const std::string ansi = ToAnsi(text);
  const std::vector<uint8_t> out = EncodeBytes(std::vector<uint8_t>(ansi.begin(), ansi.end()));
  std::u16string joined;
  joined.reserve(out.size());
  for (uint8_t b : out) joined.push_back(b);
  return Trim(joined);
}

std::vector<uint8_t> Base64::Decode(const std::vector<uint8_t>& codes) const {
  return DecodeBytes(codes);
}

std::vector<uint8_t> Base64::EncodeBytes(const std::vector<uint8_t>& in) const {
  const long long n = static_cast<long long>(in.size());
  // An empty text has no bytes and so no output (the array would have no elements).
  if (n == 0) return {};
  const long long r = n % 3;
  const long long out_len = r != 0 ? (n - r + 3) / 3 * 4 : n / 3 * 4;
  std::vector<uint8_t> out(static_cast<size_t>(out_len));
  long long j = 0;
  for (long long i = 0; i <= n - 1 - r; i += 3, j += 4) {
    const int b0 = At(in, i), b1 = At(in, i + 1), b2 = At(in, i + 2);
    At(out, j) = At(enc_, b0 >> 2);
    At(out, j + 1) = At(enc_, ((b0 << 4) & 0x3F) | (b1 >> 4));
    At(out, j + 2) = At(enc_, ((b1 << 2) & 0x3F) | (b2 >> 6));
    At(out, j + 3) = At(enc_, b2 & 0x3F);
  }
  const long long last = out_len - 1;
  if (r == 1) {
    const int b0 = At(in, n - 1), b1 = 0;
    At(out, last - 3) = At(enc_, b0 >> 2);
    At(out, last - 2) = At(enc_, ((b0 << 4) & 0x3F) | (b1 >> 4));
    At(out, last - 1) = '=';
    At(out, last) = '=';
  } else if (r == 2) {
    const int b0 = At(in, n - 2), b1 = At(in, n - 1), b2 = 0;
    At(out, last - 3) = At(enc_, b0 >> 2);
    At(out, last - 2) = At(enc_, ((b0 << 4) & 0x3F) | (b1 >> 4));
    At(out, last - 1) = At(enc_, ((b1 << 2) & 0x3F) | (b2 >> 6));
    At(out, last) = '=';
  }
  return out;
}

std::vector<uint8_t> Base64::DecodeBytes(const std::vector<uint8_t>& in) const {
  const long long n = static_cast<long long>(in.size());
  if (n == 0) return {};
  int pad = 0;
  if (At(in, n - 1) == '=') {
    pad = 1;
    if (n >= 2 && At(in, n - 2) == '=') pad = 2;
  }
  const long long out_len = QuarterRoundedHalfEven(3 * n - 4 * pad);
  std::vector<uint8_t> out(static_cast<size_t>(out_len > 0 ? out_len : 0));
  long long j = 0;
  for (long long i = 0; i <= n - 1; i += 4, j += 3) {
    const int d0 = At(dec_, At(in, i));
    const int d1 = At(dec_, At(in, i + 1));
    const int d2 = At(dec_, At(in, i + 2));
    const int d3 = At(dec_, At(in, i + 3));
    if (d3 == kPad || d2 == kPad) {
      At(out, j) = ToByte((d0 << 2) | ((d1 >> 4) & 3));
      if (d2 != kPad) At(out, j + 1) = ToByte(((d1 << 4) & 0xFF) | ((d2 >> 2) & 0x0F));
      break;  // anything after the first padded quartet is ignored
    }
    At(out, j) = ToByte((d0 << 2) | ((d1 >> 4) & 3));
    At(out, j + 1) = ToByte(((d1 << 4) & 0xFF) | ((d2 >> 2) & 0x0F));
    At(out, j + 2) = ToByte(((d2 << 6) & 0xFF) | d3);
  }
  return out;
}

}  // namespace qnmuro
