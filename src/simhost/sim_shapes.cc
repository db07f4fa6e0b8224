#include "simhost/sim_shapes.h"

#include <algorithm>
#include <string>

#include "base/error.h"
#include "base/text.h"
#include "platform/file_io.h"
#include "simhost/fodt_format.h"
#include "simhost/image_probe.h"

namespace qnmuro::simhost {
namespace {

class SimShape final : public host::Shape {
 public:
  SimShape(std::shared_ptr<SimDocument> document, uint64_t id)
      : document_(std::move(document)), id_(id) {}

  std::u16string Name() override { return Rec().name; }
  void SetName(std::u16string_view name) override {
    if (name.empty()) ThrowHost(host::kBadParameter, u"The name is not valid.");
    Rec().name = name;
  }
  void Delete() override {
    Rec();
    document_->CheckEditable();
    document_->Store().DeleteShape(document_->Store().IndexOfShape(id_));
  }
  void ZOrder(long command) override {
    ShapeRec& me = Rec();
    auto& all = document_->Store().Shapes();
    long lowest = me.z, highest = me.z;
    for (const auto& s : all) {
      lowest = std::min(lowest, s.z);
      highest = std::max(highest, s.z);
    }
    switch (command) {
      case host::kBringToFront:
        me.z = highest + 1;
        break;
      case host::kSendToBack:
        me.z = lowest - 1;
        break;
      case host::kBringForward:
        Swap(me, +1);
        break;
      case host::kSendBackward:
        Swap(me, -1);
        break;
      case host::kBringInFrontOfText:
        me.behind_text = false;
        break;
      case host::kSendBehindText:
        me.behind_text = true;
        break;
      default:
        ThrowHost(host::kBadParameter, u"The z-order command is not valid.");
    }
  }
  bool Visible() override { return Rec().visible; }
  void SetVisible(bool visible) override { Rec().visible = visible; }
  float Left() override { return Rec().left; }
  float Top() override { return Rec().top; }
  float Width() override { return Rec().width; }
  float Height() override { return Rec().height; }

 private:
  ShapeRec& Rec() {
    document_->CheckAlive();
    long i = document_->Store().IndexOfShape(id_);
    if (i < 0) ThrowHost(host::kObjectDeleted, u"The shape has been deleted.");
    return document_->Store().MutableShape(i);
  }
  // Exchanges stacking places with the nearest picture above (+1) or below (-1).
  void Swap(ShapeRec& me, int direction) {
    TextStore& store = document_->Store();
    ShapeRec* other = nullptr;
    for (long i = 0; i < static_cast<long>(store.Shapes().size()); ++i) {
      ShapeRec& s = store.MutableShape(i);
      if (s.id == me.id) continue;
      bool beyond = direction > 0 ? s.z > me.z : s.z < me.z;
      if (beyond && (other == nullptr || (direction > 0 ? s.z < other->z : s.z > other->z)))
        other = &s;
    }
    if (other != nullptr) std::swap(me.z, other->z);
  }

  std::shared_ptr<SimDocument> document_;
  uint64_t id_;
};

}  // namespace

std::vector<uint8_t> ReadPictureFile(const std::u16string& path) {
  // Only a regular file: a device or a pipe could be read for ever.
  std::string data;
  int err = 0;
  switch (ReadRegularFile(ToPath(path), kMaxPictureBytes, &data, &err)) {
    case FileReadStatus::kOk:
      break;
    case FileReadStatus::kTooLarge:
      ThrowHost(host::kBadPicture, u"The picture is too large (more than " +
                                       ToText(static_cast<long long>(kMaxPictureBytes)) +
                                       u" bytes): " + path);
    case FileReadStatus::kFailed:
      SetLastSystemError(err);
      ThrowHost(host::kFileError, u"The file could not be read: " + path);
    case FileReadStatus::kMissing:
    case FileReadStatus::kNotRegular:
      ThrowHost(host::kFileError, u"The file could not be found: " + path);
  }
  std::vector<uint8_t> bytes(data.begin(), data.end());
  if (ProbeImage(bytes).mime.empty())
    ThrowHost(host::kBadPicture, u"The file is not a picture the host can read: " + path);
  return bytes;
}

long SimShapes::Count() {
  document_->CheckAlive();
  return static_cast<long>(document_->Store().Shapes().size());
}

std::shared_ptr<host::Shape> SimShapes::Item(long index) {
  document_->CheckAlive();
  const auto& all = document_->Store().Shapes();
  if (index < 1 || index > static_cast<long>(all.size()))
    ThrowHost(host::kNoSuchMember, u"The requested member of the collection does not exist.");
  return std::make_shared<SimShape>(document_->shared_from_this(), all[index - 1].id);
}

std::shared_ptr<host::Shape> SimShapes::AddPicture(std::u16string_view file, bool, bool, float left,
                                                   float top, float width, float height) {
  document_->CheckAlive();
  document_->CheckEditable();
  std::u16string path = document_->Host().ResolvePath(file);
  auto bytes = std::make_shared<std::vector<uint8_t>>(ReadPictureFile(path));
  ImageKind kind = ProbeImage(*bytes);
  TextStore& store = document_->Store();
  ShapeRec rec;
  rec.name = u"Picture " + ToText(static_cast<long long>(store.Shapes().size()) + 1);
  rec.anchor = store.SelectionStart();
  rec.left = left;
  rec.top = top;
  rec.width = width > 0 ? width : (kind.width_px > 0 ? kind.width_px * 0.75f : 100.0f);
  rec.height = height > 0 ? height : (kind.height_px > 0 ? kind.height_px * 0.75f : 100.0f);
  rec.image = std::move(bytes);
  uint64_t id = store.AddShape(std::move(rec));
  return std::make_shared<SimShape>(document_->shared_from_this(), id);
}

}  // namespace qnmuro::simhost
