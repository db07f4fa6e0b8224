// Documents of the simulated word processor on disk: Flat ODF text (one XML file), whatever
// the file's extension. Written: paragraphs (text:p), bookmarks (text:bookmark-start/-end, or
// text:bookmark when collapsed), page-anchored picture frames with the picture inline
// (office:binary-data), tracked changes (text:tracked-changes with its text:track-changes flag,
// insertions and deletions with dc:creator and dc:date) and the protection and revision-view
// settings as items of office:settings. Read: the same, plus what other writers commonly put
// around paragraphs (spans, links, lists, sections, tables: their paragraphs are read in order).
#ifndef QNMURO_SIMHOST_FODT_FORMAT_H_
#define QNMURO_SIMHOST_FODT_FORMAT_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "hostkit/script_host.h"
#include "simhost/sim_text.h"

namespace qnmuro::simhost {

// Bounds of a document, so that no file can make the host exhaust its memory or stack. The
// reader and the writer both hold to them, so every document the host saves it opens again.
//   Characters of text (the main text with its paragraph marks, plus the text of tracked
//   deletions), in UTF-16 units; this also keeps every text node of the file under the XML
//   reader's 10 MB limit for one text node.
inline constexpr size_t kMaxDocumentChars = 3'000'000;
//   Bytes of one picture: hostkit::kMaxPictureBytes (its Base64 form stays under that same
//   limit).
using hostkit::kMaxPictureBytes;
//   Bytes of the whole file.
inline constexpr size_t kMaxDocumentFileBytes = 256 << 20;
//   Elements nested in one another (the XML reader's own bound is the same).
inline constexpr int kMaxDocumentNesting = 256;

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
// Parses a file's bytes; raises kFileError when they are not a text document or exceed the
// bounds above. Entities are never expanded: a reference to one the file declares is read as
// nothing.
DocumentFile ParseFodt(std::string_view bytes);

// Writes through ReplaceFileContents (platform/file_io.h), so that a failed save leaves
// the old file whole and nothing planted beside it can catch the write; raises kFileError on
// failure and when the document exceeds the bounds above.
void SaveDocumentFile(const std::u16string& path, const DocumentFile& document);
// Raises kFileError when the file is missing, not a regular file, unreadable, too large or
// not a text document.
DocumentFile LoadDocumentFile(const std::u16string& path);

}  // namespace qnmuro::simhost

#endif  // QNMURO_SIMHOST_FODT_FORMAT_H_
