#include "oaserver/upload_ledger.h"

#include <algorithm>

namespace qnmuro {
namespace {

bool Shared(const std::string& a, const std::string& b) {
  return !a.empty() && a == b;
}

bool Conflicts(const std::string& a, const std::string& b) {
  return !a.empty() && !b.empty() && a != b;
}

}  // namespace

std::vector<std::filesystem::path> UploadLedger::Add(const std::string& name,
                                                     const std::filesystem::path& file,
                                                     const UploadOrigin& origin,
                                                     const std::string& digest) {
  std::vector<std::filesystem::path> dropped;
  Name& entry = names_[name];
  Expire(entry, &dropped);
  auto& open = entry.open;
  if (origin.connection != 0) {
    for (auto it = open.begin(); it != open.end();) {
      if (it->origin.connection == origin.connection) {
        if (it->file != file) dropped.push_back(it->file);
        it = open.erase(it);
      } else {
        ++it;
      }
    }
  }
  open.push_back(Body{++next_id_, file, origin, Clock::now(), digest});
  return dropped;
}

bool UploadLedger::MatchDigest(const std::string& name, const std::string& digest, Body* body,
                               std::vector<std::filesystem::path>* dropped) {
  const auto found = names_.find(name);
  if (found == names_.end() || digest.empty()) return false;
  Expire(found->second, dropped);
  const std::vector<Body>& open = found->second.open;
  for (auto it = open.rbegin(); it != open.rend(); ++it) {
    if (it->digest == digest) {
      *body = *it;
      return true;
    }
  }
  return false;
}

UploadLedger::Verdict UploadLedger::Match(const std::string& name, const UploadOrigin& origin,
                                          Body* body, std::vector<std::filesystem::path>* dropped) {
  const auto found = names_.find(name);
  if (found == names_.end()) return Verdict::kNone;
  Name& entry = found->second;
  Expire(entry, dropped);
  std::vector<Body>& open = entry.open;
  // The connection that carried the body carries its confirmation: certain.
  for (auto it = open.rbegin(); origin.connection != 0 && it != open.rend(); ++it) {
    if (it->origin.connection == origin.connection) {
      *body = *it;
      return Verdict::kFound;
    }
  }
  // Then the bodies that share the session or the user with the confirmation.
  std::vector<Body> same;
  for (const Body& b : open) {
    if (Shared(b.origin.session, origin.session) || Shared(b.origin.user, origin.user)) {
      same.push_back(b);
    }
  }
  // Bodies of the same bytes (a version sent again after its confirmation was refused) are
  // one: whichever is taken, the same version is stored.
  auto one_version = [](const std::vector<Body>& bodies) {
    return bodies.size() == 1 || (!bodies.empty() && !bodies.front().digest.empty() &&
                                  std::all_of(bodies.begin(), bodies.end(), [&](const Body& b) {
                                    return b.digest == bodies.front().digest;
                                  }));
  };
  // The newer copy is taken; the others of its bytes go, since nothing else will take them.
  auto take_newest = [&](const std::vector<Body>& bodies) {
    *body = bodies.back();
    for (size_t i = 0; i + 1 < bodies.size(); ++i) {
      dropped->push_back(bodies[i].file);
      open.erase(std::remove_if(open.begin(), open.end(),
                                [&](const Body& b) { return b.id == bodies[i].id; }),
                 open.end());
    }
    return Verdict::kFound;
  };
  if (one_version(same)) return take_newest(same);
  if (same.size() > 1) return Refuse(entry, same);
  // Then any that nothing tells apart from it, unless refused bodies still await theirs.
  std::vector<Body> possible;
  for (const Body& b : open) {
    if (!Conflicts(b.origin.session, origin.session) && !Conflicts(b.origin.user, origin.user)) {
      possible.push_back(b);
    }
  }
  if (entry.awaited == 0 && one_version(possible)) return take_newest(possible);
  if (entry.awaited == 0 && possible.empty()) return Verdict::kNone;
  return Refuse(entry, possible);
}

// Moves `taken` from the outstanding bodies to the refused ones; this confirmation is one of
// those they await.
UploadLedger::Verdict UploadLedger::Refuse(Name& entry, std::vector<Body>& taken) {
  for (const Body& b : taken) {
    entry.open.erase(std::remove_if(entry.open.begin(), entry.open.end(),
                                    [&](const Body& o) { return o.id == b.id; }),
                     entry.open.end());
    entry.refused.push_back(b);
  }
  if (!taken.empty()) entry.refused_at = Clock::now();
  entry.awaited += taken.size();
  if (entry.awaited > 0) --entry.awaited;
  return Verdict::kRefused;
}

void UploadLedger::Taken(const std::string& name, uint64_t id) {
  const auto found = names_.find(name);
  if (found == names_.end()) return;
  auto& open = found->second.open;
  open.erase(std::remove_if(open.begin(), open.end(), [&](const Body& b) { return b.id == id; }),
             open.end());
  if (open.empty() && found->second.refused.empty() && found->second.awaited == 0) {
    names_.erase(found);
  }
}

void UploadLedger::Expire(Name& entry, std::vector<std::filesystem::path>* dropped) {
  const Clock::time_point now = Clock::now();
  if (!entry.refused.empty() || entry.awaited > 0) {
    if (entry.awaited == 0 || now - entry.refused_at >= refuse_) {
      for (const Body& b : entry.refused) dropped->push_back(b.file);
      entry.refused.clear();
      entry.awaited = 0;
    }
  }
  auto& open = entry.open;
  for (auto it = open.begin(); it != open.end();) {
    if (now - it->stored >= keep_) {
      dropped->push_back(it->file);
      it = open.erase(it);
    } else {
      ++it;
    }
  }
}

bool UploadLedger::Holds(const std::filesystem::path& file) const {
  for (const auto& [name, entry] : names_) {
    for (const auto* list : {&entry.open, &entry.refused}) {
      for (const Body& b : *list) {
        if (b.file == file) return true;
      }
    }
  }
  return false;
}

}  // namespace qnmuro
