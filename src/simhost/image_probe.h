// Recognises the picture formats the simulated word processor can show, by their first bytes.
#ifndef QNMURO_SIMHOST_IMAGE_PROBE_H_
#define QNMURO_SIMHOST_IMAGE_PROBE_H_

#include <cstdint>
#include <string>
#include <vector>

namespace qnmuro::simhost {

struct ImageKind {
  std::string mime;   // "image/png", ...; empty when not a known picture
  long width_px = 0;  // 0 when the header does not say
  long height_px = 0;
};

// PNG, BMP, JPEG and GIF are recognised; anything else gives an empty mime type.
ImageKind ProbeImage(const std::vector<uint8_t>& bytes);

}  // namespace qnmuro::simhost

#endif  // QNMURO_SIMHOST_IMAGE_PROBE_H_
