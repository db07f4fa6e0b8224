// Documents of the simulated word processor on disk: Flat ODF text (one XML file), whatever
// the file's extension. Written: paragraphs (text:p), bookmarks (text:bookmark-start/-end, or
// text:bookmark when collapsed), page-anchored picture frames with the picture inline
// (office:binary-data), tracked changes (text:tracked-changes with its text:track-changes flag,
// insertions and deletions with dc:creator and dc:date) and the protection and revision-view
// settings as items of office:settings. Read: the same, plus what other writers commonly put
// around paragraphs (spans, links, lists, sections, tables: their paragraphs are read in order).
#ifndef QNMURO_SIMHOST_FODT_FORMAT_H_
#define QNMURO_SIMHOST_FODT_FORMAT_H_

#include <string>
#include <string_view>
#include <vector>

#include "simhost/sim_text.h"

namespace qnmuro::simhost {

struct FileShape {
  ShapeRec shape;
  // The page the picture is anchored to; 0 for a picture anchored in the text at
  // shape.anchor (read from other writers' files; this writer anchors to pages).
  long page = 1;
};

struct DocumentFile {
  std::u16string text;  // paragraphs joined by CR
  std::vector<BookmarkRec> bookmarks;
  std::vector<FileShape> shapes;
  std::vector<RevisionRec> revisions;  // positions in `text`
  long protection = -1;
  std::string protection_key;
  bool track_revisions = false;
  bool show_revisions = true;
  bool print_revisions = true;
};

// The file's bytes (UTF-8 XML).
std::string SerializeFodt(const DocumentFile& document);
// Parses a file's bytes; raises kFileError when they are not a text document.
DocumentFile ParseFodt(std::string_view bytes);

// Writes through a temporary file beside `path` renamed over it, so that a failed save leaves
// the old file whole; raises kFileError on failure.
void SaveDocumentFile(const std::u16string& path, const DocumentFile& document);
// Raises kFileError when the file is missing, unreadable or not a text document.
DocumentFile LoadDocumentFile(const std::u16string& path);

}  // namespace qnmuro::simhost

#endif  // QNMURO_SIMHOST_FODT_FORMAT_H_
