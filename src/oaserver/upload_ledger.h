// Which uploaded body a confirmation takes. An upload request carries only the file name and a
// confirmation only the name and the document, so bodies of one name are told apart by what
// else the requests carry: the connection (when one carries both requests), the session cookie
// and the user's credentials (when present). When two outstanding bodies of a name cannot be
// told apart, the confirmation is refused rather than guessed, and so is every confirmation
// of that name still to be expected for them: those bodies are never confirmed.
// Not thread-safe: the store calls it under its lock.
#ifndef QNMURO_OASERVER_UPLOAD_LEDGER_H_
#define QNMURO_OASERVER_UPLOAD_LEDGER_H_

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qnmuro {

// What a request carries besides its target. Empty fields (and connection 0) are unknown.
struct UploadOrigin {
  uint64_t connection = 0;
  std::string session;  // the Cookie header
  std::string user;     // the user its credentials prove
};

class UploadLedger {
 public:
  using Clock = std::chrono::steady_clock;

  // An outstanding body is forgotten after `keep`; refused ones, and the confirmations still
  // expected for them, after `refuse`.
  UploadLedger(Clock::duration keep, Clock::duration refuse) : keep_(keep), refuse_(refuse) {}

  struct Body {
    uint64_t id = 0;
    std::filesystem::path file;
    UploadOrigin origin;
    Clock::time_point stored;
    std::string digest;  // SHA-256 of the body, lower-case hex; empty when unknown
  };

  // A complete body of `name` now lies in `file`. It replaces an outstanding one of that name
  // from the same connection. Returns the files nobody will confirm any more.
  std::vector<std::filesystem::path> Add(const std::string& name, const std::filesystem::path& file,
                                         const UploadOrigin& origin,
                                         const std::string& digest = "");

  // The outstanding body of `name` with that digest, the newest of them (a client sending the
  // same bytes again): certain, whatever else is outstanding. False when there is none.
  // *dropped receives the files nobody will confirm any more.
  bool MatchDigest(const std::string& name, const std::string& digest, Body* body,
                   std::vector<std::filesystem::path>* dropped);

  enum class Verdict { kNone, kRefused, kFound };
  // The body a confirmation of `name` from `origin` takes (*body set for kFound; take it with
  // Taken once it is stored). *dropped receives the files nobody will confirm any more.
  Verdict Match(const std::string& name, const UploadOrigin& origin, Body* body,
                std::vector<std::filesystem::path>* dropped);
  void Taken(const std::string& name, uint64_t id);

  // Whether a body of some name lies in `file` (outstanding or refused).
  bool Holds(const std::filesystem::path& file) const;

 private:
  struct Name {
    std::vector<Body> open;     // outstanding, oldest first
    std::vector<Body> refused;  // never to be confirmed
    size_t awaited = 0;         // confirmations still expected for the refused bodies
    Clock::time_point refused_at;
  };

  void Expire(Name& entry, std::vector<std::filesystem::path>* dropped);
  Verdict Refuse(Name& entry, std::vector<Body>& taken);

  const Clock::duration keep_;
  const Clock::duration refuse_;
  std::map<std::string, Name> names_;
  uint64_t next_id_ = 0;
};

}  // namespace qnmuro

#endif  // QNMURO_OASERVER_UPLOAD_LEDGER_H_
