#include "simhost/sim_bookmarks.h"

#include <algorithm>

namespace qnmuro::simhost {
namespace {

class SimBookmark final : public host::Bookmark {
 public:
  SimBookmark(std::shared_ptr<SimDocument> document, uint64_t id, long hint)
      : document_(std::move(document)), id_(id), hint_(hint) {}

  std::u16string Name() override { return document_->Store().BookmarkName(Index()); }
  std::shared_ptr<host::Range> GetRange() override {
    long i = Index();
    TextStore& s = document_->Store();
    return std::make_shared<SimRange>(document_, s.BookmarkStart(i), s.BookmarkEnd(i), id_);
  }
  long Start() override { return document_->Store().BookmarkStart(Index()); }
  long End() override { return document_->Store().BookmarkEnd(Index()); }
  void SetStart(long position) override {
    long i = Index();
    TextStore& s = document_->Store();
    CheckPosition(position);
    s.MoveBookmark(i, position, std::max(position, s.BookmarkEnd(i)));
  }
  void SetEnd(long position) override {
    long i = Index();
    TextStore& s = document_->Store();
    CheckPosition(position);
    s.MoveBookmark(i, std::min(position, s.BookmarkStart(i)), position);
  }
  void Select() override {
    long i = Index();
    TextStore& s = document_->Store();
    s.SetSelection(s.BookmarkStart(i), s.BookmarkEnd(i));
  }
  void Delete() override {
    long i = Index();
    document_->Store().DeleteBookmark(i);
  }

 private:
  long Index() {
    document_->CheckAlive();
    hint_ = document_->Store().IndexOfId(id_, hint_);
    if (hint_ < 0) ThrowHost(host::kObjectDeleted, u"The bookmark has been deleted.");
    return hint_;
  }
  void CheckPosition(long position) {
    if (position < 0 || position > document_->Store().Length())
      ThrowHost(host::kBadParameter, u"The position is out of range.");
  }

  std::shared_ptr<SimDocument> document_;
  uint64_t id_;
  long hint_;
};

}  // namespace

bool ValidBookmarkName(std::u16string_view name) {
  if (name.empty() || name.size() > 40) return false;
  auto letter = [](char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c >= 0x80;
  };
  if (!letter(name[0])) return false;
  return std::all_of(name.begin(), name.end(), [&](char16_t c) {
    return letter(c) || (c >= u'0' && c <= u'9') || c == u'_';
  });
}

SimRange::SimRange(std::shared_ptr<SimDocument> document, long start, long end, uint64_t origin)
    : document_(std::move(document)), start_(start), end_(end), origin_(origin) {}

long SimRange::Start() {
  document_->CheckAlive();
  return std::min(start_, document_->Store().Length());
}

long SimRange::End() {
  document_->CheckAlive();
  return std::min(end_, document_->Store().Length());
}

std::u16string SimRange::Text() {
  document_->CheckAlive();
  return document_->Store().Slice(start_, end_);
}

void SimRange::SetText(std::u16string_view text) {
  document_->Edit(start_, end_, text, TextStore::Mode::kReplaceRange, origin_);
  long s = std::min(start_, document_->Store().Length());
  end_ = s + static_cast<long>(text.size());
}

void SimRange::Copy() {
  document_->CheckAlive();
  document_->Host().Clipboard() = document_->Store().Copy(start_, end_);
}

long SimBookmarks::Count() {
  document_->CheckAlive();
  return document_->Store().BookmarkCount();
}

std::shared_ptr<host::Bookmark> SimBookmarks::Item(long index) {
  document_->CheckAlive();
  TextStore& s = document_->Store();
  if (index < 1 || index > s.BookmarkCount())
    ThrowHost(host::kNoSuchMember, u"The requested member of the collection does not exist.");
  return std::make_shared<SimBookmark>(document_->shared_from_this(), s.BookmarkId(index - 1),
                                       index - 1);
}

std::shared_ptr<host::Bookmark> SimBookmarks::Item(std::u16string_view name) {
  document_->CheckAlive();
  long i = document_->Store().FindBookmark(name);
  if (i < 0)
    ThrowHost(host::kNoSuchMember, u"The requested member of the collection does not exist.");
  return std::make_shared<SimBookmark>(document_->shared_from_this(),
                                       document_->Store().BookmarkId(i), i);
}

bool SimBookmarks::Exists(std::u16string_view name) {
  if (document_->closed()) return false;
  return document_->Store().FindBookmark(name) >= 0;
}

std::shared_ptr<host::Bookmark> SimBookmarks::Add(std::u16string_view name, long start, long end) {
  document_->CheckAlive();
  TextStore& s = document_->Store();
  if (!ValidBookmarkName(name)) ThrowHost(host::kBadParameter, u"The bookmark name is not valid.");
  if (start < 0 || end < start || end > s.Length())
    ThrowHost(host::kBadParameter, u"The position is out of range.");
  uint64_t id = s.AddBookmark(name, start, end);
  return std::make_shared<SimBookmark>(document_->shared_from_this(), id, -1);
}

}  // namespace qnmuro::simhost
