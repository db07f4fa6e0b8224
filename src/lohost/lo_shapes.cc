// Pictures, the window and the view in Writer.
#include "lohost/lo_model.h"

namespace qnmuro::lohost {

namespace {
[[noreturn]] void NotYet() {
  ThrowHost(host::kNotAvailable, u"The command is not available in Writer yet.");
}
}  // namespace

long LoShapes::Count() {
  NotYet();
}
std::shared_ptr<host::Shape> LoShapes::Item(long) {
  NotYet();
}
std::shared_ptr<host::Shape> LoShapes::AddPicture(std::u16string_view, bool, bool, float, float,
                                                  float, float) {
  NotYet();
}
bool LoView::ShowDrawings() {
  return true;
}
void LoView::SetShowDrawings(bool) {}
bool LoView::ShowBackground() {
  return app_->show_background();
}
void LoView::SetShowBackground(bool on) {
  app_->set_show_background(on);
}
host::ScreenRect LoWindow::GetPoint(host::Range&) {
  NotYet();
}
host::DocumentRect LoWindow::ScreenToDocument(const host::ScreenRect&) {
  NotYet();
}
host::PagePoint LoWindow::PageOrigin(long) {
  NotYet();
}
std::vector<simhost::ShapeInfo> LoApplication::ShapeInfos(host::Document&) {
  return {};
}
std::shared_ptr<host::Shape> LoApplication::AddPictureAtSelection(std::u16string_view,
                                                                  std::u16string_view, float,
                                                                  float) {
  NotYet();
}

}  // namespace qnmuro::lohost
