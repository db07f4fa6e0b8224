// A button face between its BMP file bytes and the picture object (IPictureDisp) that a
// command-bar button takes. Windows-only.
#ifndef QNMURO_COM_BUTTON_FACE_H_
#define QNMURO_COM_BUTTON_FACE_H_

#include <windows.h>

#include <ocidl.h>
#include <olectl.h>

#include <cstdint>
#include <vector>

#include "platform/com_win.h"

namespace qnmuro::com {

// A picture object holding the bitmap of a BMP file's bytes. Bytes that are not a whole
// uncompressed BMP file (a header that promises more pixels than there are, a picture larger
// than 256 by 256) raise host::kBadPicture before anything reads them.
Ptr<IPictureDisp> PictureOfBmp(const std::vector<uint8_t>& bmp);

// The bitmap of a picture object as a bottom-up 24-bit BMP file's bytes, whatever form the
// picture keeps it in. A picture that holds no bitmap (an icon, a metafile, none) raises
// host::kBadPicture.
std::vector<uint8_t> BmpOfPicture(IDispatch* picture);

}  // namespace qnmuro::com

#endif  // QNMURO_COM_BUTTON_FACE_H_
