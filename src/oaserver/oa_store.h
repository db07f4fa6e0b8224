// The development OA server's files below its root directory DIR:
//   DIR/files/<unid>/<name>        attachments, served for /<db>/0/<unid>/$file/<name> while
//                                  no version of the document is stored
//   DIR/<path>                     anything else that is served as it lies
//   DIR/incoming/<name>            a complete body uploaded for that name, not yet confirmed
//   DIR/incoming/.upload-<random>.body   another one of the same name, while the first is
//                                  outstanding too (which body a confirmation takes:
//                                  upload_ledger.h; a server's own, forgotten when it stops)
//   DIR/incoming/.upload-<random>.part   an upload being received (kept open and locked
//                                  while it is; an unlocked one is a leftover)
//   DIR/documents/<unid>/<name>    the current confirmed version of a document, served for
//                                  /<db>/0/<unid>/$file/<name> (so the next clerk gets it);
//   DIR/documents/<unid>/<name>.v<N>  the earlier versions, 1 the oldest
// A document's versions have entity tags: the SHA-256 of their bytes (lower-case hex, quoted).
// Names in requests are bytes in the ANSI code page (as the add-in sends them) and are stored
// under their UTF-8 form. No name or path from a request ever leads outside DIR: each folder is
// checked before anything is created in it, a link planted in the tree is never written
// through, and temporary files are created exclusively under unpredictable names.
// Thread-safe.
#ifndef QNMURO_OASERVER_OA_STORE_H_
#define QNMURO_OASERVER_OA_STORE_H_

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "oaserver/upload_ledger.h"

namespace qnmuro {

class OaStore {
 public:
  explicit OaStore(std::filesystem::path root);

  const std::filesystem::path& root() const { return root_; }

  // The regular file that a decoded request path names, or nullopt (missing, a directory, or
  // a path that would leave DIR).
  std::optional<std::filesystem::path> MapRequestPath(const std::string& path) const;

  // Stores an upload body for `name` from `origin`, fed by `read` (which calls its argument
  // with each piece and returns false when the body broke off). Only a body that arrived whole
  // is kept, to be confirmed. Returns the empty text on success, else the reason.
  using BodyReader = std::function<bool(const std::function<bool(const char*, size_t)>&)>;
  std::string StoreUpload(const std::string& name, const UploadOrigin& origin,
                          const BodyReader& read);

  // What a confirmation asks beyond its name: the versions it may replace (an If-Match header:
  // "*" or a list of tags; unset: any), and the SHA-256 of the body it confirms (lower-case hex;
  // empty: the ledger's rules pick the body).
  struct Condition {
    std::optional<std::string> if_match;
    std::string digest;
  };
  struct Confirmed {
    std::string reason;     // empty on success
    bool conflict = false;  // the current version is none of those the condition names
    std::string tag;        // the current version's tag afterwards (empty: there is none)
  };
  // Moves the body a confirmation of `name` from `origin` takes into documents/<unid>/,
  // keeping the version there before it; on a conflict nothing is stored and the body goes.
  Confirmed Confirm(const std::string& unid, const std::string& name, const UploadOrigin& origin,
                    const Condition& condition = {});

  // Whether a decoded request path is a document's attachment address.
  static bool IsAttachmentPath(const std::string& path);
  // The entity tag of the file's bytes (kept while the file is unchanged; `known` when the
  // caller has it already); empty when the file cannot be read.
  std::string TagOf(const std::filesystem::path& file, const std::string& known = "");

  // Removes the temporary files of uploads that no running server is receiving any more
  // (left by a server or client killed mid-upload), and those of earlier versions of the
  // server (".<name>.part<N>"). Returns how many were removed.
  int RemoveStaleUploads();

  // A name usable as one file name: not empty, no separator, not "." or "..", no NUL or
  // control byte. Returns the UTF-8 form, or nullopt.
  static std::optional<std::string> FileNameOf(const std::string& ansi_name);

 private:
  bool Inside(const std::filesystem::path& p) const;
  // Creates root_/`relative` (a folder path inside DIR) unless a link would put any part of
  // it outside DIR; nullopt when it would or when creating fails.
  std::optional<std::filesystem::path> FolderInside(const std::filesystem::path& relative) const;

  // Removes files of bodies nobody will confirm any more.
  void Drop(const std::vector<std::filesystem::path>& files);

  // Where the document's version lies now: documents/, else the attachment in files/.
  std::optional<std::filesystem::path> CurrentVersion(const std::filesystem::path& stored,
                                                      const std::string& unid,
                                                      const std::string& name) const;

  std::filesystem::path root_;
  struct KnownTag {
    uint64_t device = 0, inode = 0, size = 0;
    int64_t mtime_ns = 0;
    std::string tag;
  };
  std::mutex tags_mu_;  // guards tags_
  std::map<std::string, KnownTag> tags_;
  std::mutex mu_;  // guards ledger_; confirmations of one document must not interleave
  UploadLedger ledger_;
};

}  // namespace qnmuro

#endif  // QNMURO_OASERVER_OA_STORE_H_
