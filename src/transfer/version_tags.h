// Which version of a document this computer last had from the OA server: the server's entity
// tag (its ETag header) of the version last downloaded from the document's attachment address
// or last stored by an upload, per document id (unid) and file name. An upload's confirmation
// names that version (If-Match), so that a server that takes part refuses to store over a
// version that another user stored meanwhile. Kept in the registry under HKCU, key
// Software/QNSoft/QNMuroWPS/VersionTags (backslashes on Windows), one value "<unid>/<name>" per
// document file, so that every process of the user shares them; beside it, under
// .../VersionDigests, the SHA-256 of the bytes that version has, so that a hand-over made
// another way (the OA client's own download) shows whether the tag still describes the file. A
// server that sends no tag leaves nothing here, and its requests stay as they always were.
#ifndef QNMURO_TRANSFER_VERSION_TAGS_H_
#define QNMURO_TRANSFER_VERSION_TAGS_H_

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "common/context.h"
#include "platform/digest.h"

namespace qnmuro {

// Which file of which document.
struct DocumentFile {
  std::u16string unid;
  std::u16string name;
  bool empty() const { return unid.empty() || name.empty(); }
};

// The tag held for the file, or empty. Never throws; a registry that cannot be read holds none.
std::u16string HeldVersionTag(const Context& ctx, const DocumentFile& file);
// The SHA-256 (lower-case hex) of the bytes the held tag describes; empty when not known.
std::u16string HeldVersionDigest(const Context& ctx, const DocumentFile& file);
// Records (or, with an empty tag, forgets) the file's tag, with the digest of the bytes it
// describes when known. Failures are ignored: without a tag the next upload is simply
// unconditional.
void RecordVersionTag(const Context& ctx, const DocumentFile& file, std::u16string_view tag,
                      std::u16string_view sha256_hex = {});

// At a hand-over of `path`: forgets the held tag when the bytes it describes are known and the
// file has others, and none of `own` (digests of this user's versions still waiting to be
// sent) either: the document came another way, and its version is not known. Logs what it
// forgot; true when it did.
bool ForgetStaleVersionTag(const Context& ctx, const DocumentFile& file,
                           const std::filesystem::path& path,
                           const std::vector<std::u16string>& own = {});

// The SHA-256 of the regular file's bytes (at most 1 GiB), lower-case hex; empty when it cannot
// be read.
std::u16string FileSha256(const std::filesystem::path& path);
// A digest as lower-case hex.
std::u16string Sha256Text(const Sha256Value& digest);

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
