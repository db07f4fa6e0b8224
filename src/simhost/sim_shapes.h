// The floating pictures of a simulated document. A picture belongs to the character at which
// it was added (the selection's start): it moves with that character, goes along when the
// character is copied and disappears when the character is deleted; its left and top are
// points from the origin of the page that character is on.
#ifndef QNMURO_SIMHOST_SIM_SHAPES_H_
#define QNMURO_SIMHOST_SIM_SHAPES_H_

#include "simhost/sim_document.h"

namespace qnmuro::simhost {

class SimShapes final : public host::Shapes {
 public:
  explicit SimShapes(SimDocument* document) : document_(document) {}

  long Count() override;
  std::shared_ptr<host::Shape> Item(long index) override;
  // Pictures are always embedded: `link_to_file` and `save_with_document` are accepted and
  // ignored. A width or height of 0 or less takes the picture's own size (96 pixels per inch),
  // or 100 points when the file does not say.
  std::shared_ptr<host::Shape> AddPicture(std::u16string_view file, bool link_to_file,
                                          bool save_with_document, float left, float top,
                                          float width, float height) override;

 private:
  SimDocument* document_;  // owns this collection
};

// Reads a picture file for a document: kFileError when it is missing, not a regular file or
// cannot be read, kBadPicture when it is not a picture the host shows or is larger than
// kMaxPictureBytes (fodt_format.h).
std::vector<uint8_t> ReadPictureFile(const std::u16string& path);

}  // namespace qnmuro::simhost

#endif  // QNMURO_SIMHOST_SIM_SHAPES_H_
