// Uploads that the OA server has not confirmed yet. Before each upload of a workflow document
// the add-in keeps a copy of the bytes it sends, with what it takes to send them again; the
// copy goes only once the server confirmed that version. So a save whose upload failed (server
// down, an error reply, a cut connection) loses nothing: the entry is sent again, oldest first,
// when the add-in connects, when a workflow document opens, at each save and on
// `qnmuro pending retry`, until the server takes it. A later upload of the same document
// replaces the entry (an older version never goes over a newer one), and an upload that the
// server refuses because another user stored a version meanwhile (version_tags.h) is kept as a
// conflict, never sent again by itself and never replaced by a later save: it stays until a
// person drops it. An entry whose credentials the server refused is marked so and can be given
// the password again; it is still tried, and holds no other entry up.
//
// An entry remembers the version (tag) it was based on when it was kept, and its confirmation
// names that one, whatever this computer holds by the time it goes. Entries are sent, and
// replaced by newer ones, under the work directory's lock file pending.lock, which every
// process honours; a send finds its entry first, so an entry that another process sent,
// replaced or dropped meanwhile stores nothing.
//
// In the work directory:
//   pending/<id>/entry     what the entry is (UTF-8 "key=value" lines): the upload address,
//                          unid, file name, user, the enciphered password (never a clear one),
//                          the SHA-256 and size of the bytes, the time, the version it was
//                          based on, the state
//   pending/<id>/document/<name>  the bytes, under the document's own file name (entries of
//                          the first format have them at pending/<id>/<name>)
//   pending/<id>/error     the last failed attempt's error line (UTF-8)
//   pending/.new-<id>/     an entry being written; one that a crash left is reported, never sent
// <id> is "<yyyymmddhhnnss>-<n>" of the local time it was kept: the names sort oldest first.
// Each file is written exclusively, flushed to the disk and renamed into place, and the entry's
// folder is renamed into pending/ only when whole. Before an entry is sent its bytes are checked
// against its SHA-256: a corrupt or half-written entry is reported and never uploaded.
#ifndef QNMURO_TRANSFER_PENDING_UPLOADS_H_
#define QNMURO_TRANSFER_PENDING_UPLOADS_H_

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/context.h"
#include "platform/file_io.h"

namespace qnmuro {

// One upload of a document, as the save hands it to the transfer.
struct UploadJob {
  std::u16string url;  // the document's upload address with its query (HttpUrl)
  std::u16string unid;
  std::u16string user;
  std::u16string password;  // enciphered
};

struct PendingEntry {
  std::u16string id;
  std::u16string folder;      // the entry's folder, a full path
  std::filesystem::path dir;  // the same, as the system names it
  int format = 2;
  UploadJob job;
  std::u16string name;    // the document's file name, as the upload sends it
  std::u16string sha256;  // lower-case hex
  uint64_t size = 0;
  std::u16string time;  // "yyyy-mm-dd hh:nn:ss", local
  // The digests of this user's earlier versions of the document that went unconfirmed: the
  // server may hold one of them without having said so (its reply was lost).
  std::vector<std::u16string> own;
  // The version tag held when the entry was kept (empty: none); nullopt in entries of the first
  // format, which take the one held when they go.
  std::optional<std::u16string> based;
  bool conflict = false;
  bool refused = false;      // the server refused the user's credentials
  std::u16string namedTag;   // at a conflict: the version the upload was based on
  std::u16string serverTag;  // and the server's current one
  std::u16string lastError;  // the last failed attempt's error line
  std::u16string problem;    // not empty: the entry is corrupt or incomplete and never sent

  std::u16string BodyPath() const;
  // Whether the upload address can work at all (an absolute http or https URL with a host).
  bool AddressUsable() const;
};

enum class UploadOutcome {
  kUploaded,   // the server confirmed the version
  kFailed,     // not confirmed; the entry stays for the next retry
  kConflict,   // another user's version is on the server; kept as a conflict
  kUnusable,   // the entry is corrupt or incomplete; nothing sent
  kRefused,    // the server refused the credentials; kept, marked, for the password
  kNotKept,    // not confirmed, and no copy could be kept either
  kGone,       // the entry went meanwhile (sent, replaced or dropped elsewhere); nothing sent
  kNoAddress,  // kept, but its upload address is no absolute http(s) URL: it can never go
};

struct RetryReport {
  int uploaded = 0;
  int failed = 0;
  int conflicts = 0;  // left alone: a person decides
  int refused = 0;    // the server refused the credentials; kept
  int unusable = 0;
  int untried = 0;     // left for later: the server is not reachable, or another process sends
  int no_address = 0;  // never tried: the upload address can never work
};

// The deadlines of a quick retry.
inline constexpr std::chrono::milliseconds kQuickConnect{3000};
inline constexpr std::chrono::seconds kQuickAnswer{5};

class PendingUploads {
 public:
  // Uses ctx.work_dir, ctx.clock (the system time when null), ctx.state for the log and the
  // transfer's services; all must outlive the object.
  explicit PendingUploads(Context& ctx);

  // Keeps the bytes of `file` as the pending upload of `job`; older pending entries of the same
  // document (never conflicts) go once it is written, when the lock can be had. Nullopt, with
  // an error line in the log, when it cannot be kept (the upload may still be tried).
  std::optional<PendingEntry> Keep(const std::u16string& file, const UploadJob& job);

  // What a save does with its document: keeps it (Keep) and sends it (Send), under the lock,
  // which it waits for a while (then the version is kept and goes at a later retry).
  UploadOutcome Upload(const std::u16string& file, const UploadJob& job);

  // Every entry, oldest first, unusable ones included (with their problem).
  std::vector<PendingEntry> List() const;

  // Uploads the entry, under the lock: its kept copy (checked against its digest first), or
  // `source` when the caller has just copied it from there. Confirmed: the entry goes. Failed:
  // it stays, with the error. Refused as a conflict: it stays, marked; refused credentials:
  // it stays, waiting for the password. Writes the log lines.
  UploadOutcome Send(PendingEntry& entry, const std::u16string& source = {});

  // Sends every usable entry that is no conflict, oldest first; an
  // entry that a newer one of its document replaces goes unsent. Stops when the server cannot
  // be reached, or another process is sending (the others would only wait for it too); an
  // entry the server answered with a refusal does not stop the others.
  // `quick`: every request with short deadlines (kQuickConnect, kQuickAnswer), for the retries
  // on the clerk's way (the add-in's start, a document's open): a server that does not answer
  // at once is tried at the next occasion.
  RetryReport RetryAll(bool quick = false);

  // Gives the entry named `id` the user's password (enciphered) and sends it. Nullopt when
  // there is no such entry.
  std::optional<UploadOutcome> SendWithPassword(const std::u16string& id,
                                                const std::u16string& password);

  // Removes the entry named `id` (as List gives it). False when there is none, when another
  // process holds the lock too long, or when it could not be removed.
  bool Drop(const std::u16string& id);

  // At the hand-over of the document file `path` of document `unid`: forgets the version tag
  // held for it when the file is neither that version nor one of this user's kept versions
  // (ForgetStaleVersionTag). True when it did.
  bool ForgetStaleTag(const std::u16string& unid, const std::u16string& path) const;

  // Whether the last Send reached the server and had its answer (a refusal included).
  bool answered() const { return answered_; }

  std::u16string Folder() const;

 private:
  class Hold;

  std::optional<PendingEntry> Read(const std::filesystem::path& dir) const;
  bool Check(PendingEntry& entry) const;
  bool Remove(const PendingEntry& entry);
  void Rewrite(const PendingEntry& entry);
  void NoteError(PendingEntry& entry, const std::u16string& line);
  std::u16string NowText() const;

  Context& ctx_;
  FileLock lock_;
  bool answered_ = false;
  bool quick_ = false;
};

// PendingUploads(ctx).Upload(file, job).
UploadOutcome UploadDocument(Context& ctx, const std::u16string& file, const UploadJob& job);

}  // namespace qnmuro

#endif  // QNMURO_TRANSFER_PENDING_UPLOADS_H_
