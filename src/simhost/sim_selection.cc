// The selection and the window of the simulated application.
#include <algorithm>

#include "hostkit/screen_map.h"
#include "simhost/sim_application.h"
#include "simhost/sim_bookmarks.h"
#include "simhost/sim_layout.h"

namespace qnmuro::simhost {

SimDocument& SimSelection::Doc() {
  if (link_->app == nullptr) ThrowHost(host::kObjectDeleted, u"The application has closed.");
  return *link_->app->Active();
}

std::shared_ptr<host::Range> SimSelection::GetRange() {
  SimDocument& doc = Doc();
  TextStore& s = doc.Store();
  return std::make_shared<SimRange>(doc.shared_from_this(), s.SelectionStart(), s.SelectionEnd());
}

void SimSelection::SetRange(long start, long end) {
  TextStore& s = Doc().Store();
  if (start < 0 || end < start) ThrowHost(host::kBadParameter, u"The range is not valid.");
  s.SetSelection(start, end);
}

long SimSelection::EndPageNumber() {
  TextStore& s = Doc().Store();
  return PageOf(s.Text(), s.SelectionEnd());
}

void SimSelection::MoveCharacters(long count) {
  TextStore& s = Doc().Store();
  long start = s.SelectionStart(), end = s.SelectionEnd(), caret;
  if (start != end && count != 0) {
    caret = count > 0 ? end + (count - 1) : start + (count + 1);
  } else {
    caret = start + count;
  }
  caret = std::clamp(caret, 0L, s.Length());
  s.SetSelection(caret, caret);
}

void SimSelection::TypeText(std::u16string_view text) {
  SimDocument& doc = Doc();
  TextStore& s = doc.Store();
  long start = s.SelectionStart();
  doc.Edit(start, s.SelectionEnd(), text, TextStore::Mode::kTyping, 0);
  long caret = start + static_cast<long>(text.size());
  s.SetSelection(caret, caret);
}

void SimSelection::Paste() {
  SimDocument& doc = Doc();
  doc.CheckEditable();
  TextStore& s = doc.Store();
  Fragment fragment = doc.Host().Clipboard();  // a copy: the paste may be into its source
  long start = s.SelectionStart();
  long caret = start + doc.Paste(start, s.SelectionEnd(), fragment);
  s.SetSelection(caret, caret);
}

void SimSelection::WholeStory() {
  TextStore& s = Doc().Store();
  s.SetSelection(0, s.Length());
}

void SimSelection::Delete() {
  SimDocument& doc = Doc();
  doc.CheckEditable();
  TextStore& s = doc.Store();
  long start = s.SelectionStart(), end = s.SelectionEnd();
  if (start == end) {
    if (start >= s.Length()) return;
    end = start + 1;
  }
  doc.Edit(start, end, u"", TextStore::Mode::kTyping, 0);
  s.SetSelection(start, start);
}

void SimSelection::InsertFile(std::u16string_view path) {
  SimDocument& doc = Doc();
  doc.CheckEditable();
  Fragment fragment = SimDocument::ReadFragment(doc.Host().ResolvePath(path));
  TextStore& s = doc.Store();
  long start = s.SelectionStart();
  long caret = start + doc.Paste(start, s.SelectionEnd(), fragment);
  s.SetSelection(caret, caret);
}

void SimWindow::CheckAlive() const {
  if (link_->app == nullptr) ThrowHost(host::kObjectDeleted, u"The application has closed.");
  document_->CheckAlive();
}

host::View& SimWindow::GetView() {
  CheckAlive();
  return *link_->app->view_;
}

host::ScreenRect SimWindow::GetPoint(host::Range& range) {
  CheckAlive();
  auto* r = dynamic_cast<SimRange*>(&range);
  if (r == nullptr) ThrowHost(host::kBadParameter, u"The range is not of this application.");
  std::u16string text = r->Document().Store().Text();
  return hostkit::ToScreen(SpanRect(text, r->Start(), r->End()));
}

host::DocumentRect SimWindow::ScreenToDocument(const host::ScreenRect& rect) {
  CheckAlive();
  return hostkit::FromScreen(rect);
}

host::PagePoint SimWindow::PageOrigin(long page) {
  CheckAlive();
  if (page < 1) ThrowHost(host::kBadParameter, u"The page number is out of range.");
  return PageOriginOf(page);
}

}  // namespace qnmuro::simhost
