#include "com/button_face.h"

#include <cstring>

#include "base/error.h"
#include "host/host.h"

namespace qnmuro::com {
namespace {

// Button faces are small; the limit keeps a damaged header from asking for a huge bitmap, and
// a host's picture from asking for a buffer whose size does not fit the file's 32-bit fields.
constexpr LONG kLargestSide = 256;

[[noreturn]] void NotAFace() {
  throw Error(host::kBadPicture, u"The button face is not an uncompressed 24-bit BMP picture.");
}

// The loader trusts the header's sizes, so they are checked against the bytes first.
void CheckBmp(const std::vector<uint8_t>& bmp) {
  BITMAPFILEHEADER file;
  BITMAPINFOHEADER info;
  if (bmp.size() < sizeof file + sizeof info) NotAFace();
  std::memcpy(&file, bmp.data(), sizeof file);
  std::memcpy(&info, bmp.data() + sizeof file, sizeof info);
  if (file.bfType != 0x4D42 || info.biSize < sizeof info || info.biPlanes != 1 ||
      info.biBitCount != 24 || info.biCompression != BI_RGB) {
    NotAFace();
  }
  if (info.biWidth < 1 || info.biWidth > kLargestSide || info.biHeight == 0 ||
      info.biHeight > kLargestSide || info.biHeight < -kLargestSide) {
    NotAFace();
  }
  const size_t row = (static_cast<size_t>(info.biWidth) * 3 + 3) & ~size_t{3};
  const size_t rows = static_cast<size_t>(info.biHeight < 0 ? -info.biHeight : info.biHeight);
  // In 64 bits: a header size near 4 GiB would wrap a 32-bit sum past the check.
  if (file.bfOffBits < uint64_t{sizeof file} + info.biSize || file.bfOffBits > bmp.size() ||
      bmp.size() - file.bfOffBits < row * rows) {
    NotAFace();
  }
}

}  // namespace

Ptr<IPictureDisp> PictureOfBmp(const std::vector<uint8_t>& bmp) {
  CheckBmp(bmp);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bmp.size());
  if (memory == nullptr) throw MakeError(kErrOutOfMemory);
  std::memcpy(GlobalLock(memory), bmp.data(), bmp.size());
  GlobalUnlock(memory);
  Ptr<IStream> stream;
  if (FAILED(CreateStreamOnHGlobal(memory, TRUE, stream.Out()))) {
    GlobalFree(memory);
    throw MakeError(kErrOutOfMemory);
  }
  Ptr<IPictureDisp> picture;
  if (FAILED(OleLoadPicture(stream.get(), static_cast<LONG>(bmp.size()), FALSE, IID_IPictureDisp,
                            reinterpret_cast<void**>(picture.Out())))) {
    NotAFace();
  }
  return picture;
}

std::vector<uint8_t> BmpOfPicture(IDispatch* picture) {
  Ptr<IPicture> held;
  SHORT type = PICTYPE_NONE;
  OLE_HANDLE handle = 0;
  if (FAILED(picture->QueryInterface(IID_IPicture, reinterpret_cast<void**>(held.Out()))) ||
      FAILED(held->get_Type(&type)) || type != PICTYPE_BITMAP ||
      FAILED(held->get_Handle(&handle))) {
    throw Error(host::kBadPicture, u"The button's picture holds no bitmap.");
  }
  // A picture hands out its bitmap handle as 32 bits, sign-extended back on 64-bit Windows.
  const auto bitmap = static_cast<HBITMAP>(LongToHandle(static_cast<LONG>(handle)));
  BITMAP size{};
  if (GetObjectW(bitmap, sizeof size, &size) == 0 || size.bmWidth < 1 || size.bmHeight < 1) {
    throw Error(host::kBadPicture, u"The button's picture holds no bitmap.");
  }
  if (size.bmWidth > kLargestSide || size.bmHeight > kLargestSide) {
    throw Error(host::kBadPicture, u"The button's picture is larger than 256 by 256 pixels.");
  }

  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = size.bmWidth;
  info.bmiHeader.biHeight = size.bmHeight;  // positive: bottom-up rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  // Within the bound these sizes fit in 32 bits; they are worked out in 64 all the same.
  const uint64_t row = (static_cast<uint64_t>(size.bmWidth) * 3 + 3) & ~uint64_t{3};
  info.bmiHeader.biSizeImage = static_cast<DWORD>(row * static_cast<uint64_t>(size.bmHeight));
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info.bmiHeader;
  file.bfSize = file.bfOffBits + info.bmiHeader.biSizeImage;

  std::vector<uint8_t> out(file.bfSize);
  std::memcpy(out.data(), &file, sizeof file);
  std::memcpy(out.data() + sizeof file, &info.bmiHeader, sizeof info.bmiHeader);
  HDC screen = CreateCompatibleDC(nullptr);
  const int lines = GetDIBits(screen, bitmap, 0, static_cast<UINT>(size.bmHeight),
                              out.data() + file.bfOffBits, &info, DIB_RGB_COLORS);
  DeleteDC(screen);
  if (lines != size.bmHeight) throw MakeError(kErrCantPerform);
  return out;
}

}  // namespace qnmuro::com
