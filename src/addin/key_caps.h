// The add-in's six button faces: 16x16 key caps labelled "F1" to "F6", generated at run time
// as bottom-up 24-bit BMP files. Resource 100 is "F6" and resources 101 to 105 are "F1" to
// "F5", so that the button at bar position i shows resource 100 + (i mod 6).
#ifndef QNMURO_ADDIN_KEY_CAPS_H_
#define QNMURO_ADDIN_KEY_CAPS_H_

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "host/host.h"

namespace qnmuro {

inline constexpr long kFirstFaceResource = 100;
inline constexpr long kLastFaceResource = 105;
inline constexpr int kKeyCapSize = 16;

// The face resource for a button at 1-based bar position `position`.
long FaceResourceForPosition(long position);

// The face with resource id `id` ("F1".."F6" as its label), or nullopt for an id outside
// 100..105, which has no face.
std::optional<host::Picture> KeyCapFace(long id);

// A 16x16 24-bit BMP key cap with `label` drawn in the built-in 3x5 font. Characters the font
// lacks are left blank; labels longer than three characters are cut.
std::vector<uint8_t> KeyCapBitmap(std::u16string_view label);

}  // namespace qnmuro

#endif  // QNMURO_ADDIN_KEY_CAPS_H_
