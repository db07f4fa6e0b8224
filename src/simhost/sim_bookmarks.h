// Ranges and bookmarks of a simulated document. A range is a fixed span (clamped to the text
// when it is used); a bookmark handle follows its bookmark by identity, so it stays right while
// edits move the bookmark and raises kObjectDeleted once the bookmark is gone.
#ifndef QNMURO_SIMHOST_SIM_BOOKMARKS_H_
#define QNMURO_SIMHOST_SIM_BOOKMARKS_H_

#include <memory>

#include "simhost/sim_document.h"

namespace qnmuro::simhost {

class SimRange final : public host::Range {
 public:
  // `origin`: the bookmark the range was taken from (0: none); SetText keeps it around the new
  // text even when it was collapsed.
  SimRange(std::shared_ptr<SimDocument> document, long start, long end, uint64_t origin = 0);

  long Start() override;
  long End() override;
  std::u16string Text() override;
  void SetText(std::u16string_view text) override;
  void Copy() override;

  SimDocument& Document() { return *document_; }

 private:
  std::shared_ptr<SimDocument> document_;
  long start_, end_;
  uint64_t origin_;
};

class SimBookmarks final : public host::Bookmarks {
 public:
  explicit SimBookmarks(SimDocument* document) : document_(document) {}

  long Count() override;
  std::shared_ptr<host::Bookmark> Item(long index) override;
  std::shared_ptr<host::Bookmark> Item(std::u16string_view name) override;
  bool Exists(std::u16string_view name) override;
  std::shared_ptr<host::Bookmark> Add(std::u16string_view name, long start, long end) override;

 private:
  SimDocument* document_;  // owns this collection
};

// A bookmark name a host accepts: 1 to 40 characters, a letter first, then letters, digits
// and underscores.
bool ValidBookmarkName(std::u16string_view name);

}  // namespace qnmuro::simhost

#endif  // QNMURO_SIMHOST_SIM_BOOKMARKS_H_
