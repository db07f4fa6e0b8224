// Which version of a document this computer last had from the OA server: the server's entity
// tag (its ETag header) of the version last downloaded from the document's attachment address
// or last stored by an upload, per document id (unid) and file name. An upload's confirmation
// names that version (If-Match), so that a server that takes part refuses to store over a
// version that another user stored meanwhile. Kept in the registry under HKCU, key
// Software/QNSoft/QNMuroWPS/VersionTags (backslashes on Windows), one value "<unid>/<name>" per
// document file, so that every process of the user shares them. A server that sends no tag
// leaves nothing here, and its requests stay as they always were.
#ifndef QNMURO_TRANSFER_VERSION_TAGS_H_
#define QNMURO_TRANSFER_VERSION_TAGS_H_

#include <string>
#include <string_view>

#include "common/context.h"

namespace qnmuro {

// Which file of which document.
struct DocumentFile {
  std::u16string unid;
  std::u16string name;
  bool empty() const { return unid.empty() || name.empty(); }
};

// The tag held for the file, or empty. Never throws; a registry that cannot be read holds none.
std::u16string HeldVersionTag(const Context& ctx, const DocumentFile& file);
// Records (or, with an empty tag, forgets) the file's tag. Failures are ignored: without a tag
// the next upload is simply unconditional.
void RecordVersionTag(const Context& ctx, const DocumentFile& file, std::u16string_view tag);

// The file that a document's attachment address ".../<db>/0/<unid>/$file/<name>" names (the
// name unescaped as the add-in escapes it), or an empty one when `url` is no such address.
DocumentFile AttachmentFile(std::u16string_view url);

// The first value of query parameter `name` in `url` (the text after "?"), as it stands.
std::u16string QueryParameter(std::u16string_view url, std::u16string_view name);

// The strong tag a server whose tags are the SHA-256 of each version's bytes gives them:
// the lower-case hex digest in double quotes.
std::u16string DigestTag(std::u16string_view sha256_hex);

}  // namespace qnmuro

#endif  // QNMURO_TRANSFER_VERSION_TAGS_H_
