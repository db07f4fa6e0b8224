// The development OA server's files below its root directory DIR:
//   DIR/files/<unid>/<name>        attachments, served for /<db>/0/<unid>/$file/<name>
//   DIR/<path>                     anything else that is served as it lies
//   DIR/incoming/<name>            the body of the last upload of that name, not yet confirmed
//   DIR/documents/<unid>/<name>    the current confirmed version of a document;
//   DIR/documents/<unid>/<name>.v<N>  the earlier versions, 1 the oldest
// Names in requests are bytes in the ANSI code page (as the add-in sends them) and are stored
// under their UTF-8 form. No name or path from a request ever leads outside DIR. Thread-safe.
#ifndef QNMURO_OASERVER_OA_STORE_H_
#define QNMURO_OASERVER_OA_STORE_H_

#include <cstdio>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace qnmuro {

class OaStore {
 public:
  explicit OaStore(std::filesystem::path root);

  const std::filesystem::path& root() const { return root_; }

  // The regular file that a decoded request path names, or nullopt (missing, a directory, or
  // a path that would leave DIR).
  std::optional<std::filesystem::path> MapRequestPath(const std::string& path) const;

  // Stores an upload body for `name`, fed by `read` (which calls its argument with each piece
  // and returns false when the body broke off). The body replaces an earlier unconfirmed one
  // only when it arrived whole. Returns the empty text on success, else the reason.
  using BodyReader = std::function<bool(const std::function<bool(const char*, size_t)>&)>;
  std::string StoreUpload(const std::string& name, const BodyReader& read);

  // Moves the unconfirmed upload of `name` into documents/<unid>/, keeping the version there
  // before it. Returns the empty text on success, else the reason.
  std::string Confirm(const std::string& unid, const std::string& name);

  // A name usable as one file name: not empty, no separator, not "." or "..", no NUL or
  // control byte. Returns the UTF-8 form, or nullopt.
  static std::optional<std::string> FileNameOf(const std::string& ansi_name);

 private:
  bool Inside(const std::filesystem::path& p) const;

  std::filesystem::path root_;
  std::mutex mu_;  // confirmations of one document must not interleave
  unsigned long counter_ = 0;
};

}  // namespace qnmuro

#endif  // QNMURO_OASERVER_OA_STORE_H_
