#include "transfer/pending_uploads.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <system_error>

#include "base/error.h"
#include "base/text.h"
#include "common/utils.h"
#include "common/velto_log.h"
#include "config/control_rules.h"
#include "platform/clock.h"
#include "platform/digest.h"
#include "platform/file_io.h"
#include "transfer/http_operation.h"
#include "transfer/version_tags.h"
#include "transfer/work_path.h"

namespace qnmuro {
namespace {

namespace fs = std::filesystem;

constexpr char16_t kFolder[] = u"pending";
constexpr char16_t kLockFile[] = u"pending.lock";
constexpr char16_t kNewPrefix[] = u".new-";
constexpr char kGonePrefix[] = ".gone-";
constexpr char kEntryFile[] = "entry";
constexpr char kErrorFile[] = "error";
constexpr char kBodyFolder[] = "document";
constexpr int kFormat = 2;  // what Keep writes; entries of format 1 are still read
// A document the host opens is at most this large (DownloadLimits::file); so is its copy.
constexpr size_t kMaxKept = size_t{1} << 30;
// How long a save waits while another process sends a pending upload; then its version is
// kept and goes at a later retry.
constexpr std::chrono::milliseconds kSaveLockWait{90000};
// How long other work waits for the lock.
constexpr std::chrono::milliseconds kLockWait{10000};
// How long a retry waits for it: a process that is sending holds it far longer, while a child
// that a process starts holds a copy of its descriptor only until that child runs its program.
constexpr std::chrono::milliseconds kRetryLockWait{2000};

bool IsDigest(std::u16string_view text) {
  return text.size() == 64 && std::all_of(text.begin(), text.end(), [](char16_t c) {
           return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f');
         });
}

// A value on one line: "%", CR and LF as %25, %0D, %0A.
std::string Escape(std::u16string_view value) {
  std::string out;
  for (char c : Utf16ToUtf8(value)) {
    if (c == '%') {
      out += "%25";
    } else if (c == '\n') {
      out += "%0A";
    } else if (c == '\r') {
      out += "%0D";
    } else {
      out += c;
    }
  }
  return out;
}

std::u16string Unescape(std::string_view value) {
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    const std::string_view three = value.substr(i, 3);
    if (three == "%25" || three == "%0A" || three == "%0D") {
      out += three == "%25" ? '%' : three == "%0A" ? '\n' : '\r';
      i += 2;
    } else {
      out += value[i];
    }
  }
  return Utf8ToUtf16(out);
}

std::u16string Join(const std::vector<std::u16string>& parts) {
  std::u16string out;
  for (const std::u16string& part : parts) out += (out.empty() ? u"" : u",") + part;
  return out;
}

const char16_t* StateText(const PendingEntry& e) {
  return e.conflict ? u"conflict" : e.refused ? u"refused" : u"pending";
}

std::string EntryText(const PendingEntry& e) {
  const std::pair<const char*, std::u16string> fields[] = {
      {"url", e.job.url},
      {"unid", e.job.unid},
      {"name", e.name},
      {"user", e.job.user},
      {"password", e.job.password},
      {"sha256", e.sha256},
      {"size", ToText(static_cast<long long>(e.size))},
      {"time", e.time},
      {"own", Join(e.own)},
      {"based", e.based.value_or(u"")},
      {"state", StateText(e)},
      {"named", e.namedTag},
      {"server", e.serverTag},
  };
  std::string text = "format=" + std::to_string(e.format) + "\n";
  for (const auto& [key, value] : fields) {
    if (e.format < 2 && std::string_view(key) == "based") continue;
    text += std::string(key) + "=" + Escape(value) + "\n";
  }
  return text;
}

// The entry's fields from its text; false when it is not a whole entry of a known format.
bool ParseEntry(const std::string& text, PendingEntry* e) {
  std::map<std::string, std::u16string> values;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) return false;  // the last line always ends
    const std::string line = text.substr(start, end - start);
    const size_t eq = line.find('=');
    if (eq == std::string::npos) return false;
    values[line.substr(0, eq)] = Unescape(std::string_view(line).substr(eq + 1));
    start = end + 1;
  }
  const std::u16string& format = values["format"];
  if ((format != u"1" && format != u"2") || values.count("server") == 0) return false;
  e->format = format == u"1" ? 1 : 2;
  if (e->format >= 2) {
    if (values.count("based") == 0) return false;
    e->based = values["based"];
  }
  e->job.url = values["url"];
  e->job.unid = values["unid"];
  e->name = values["name"];
  e->job.user = values["user"];
  e->job.password = values["password"];
  e->sha256 = values["sha256"];
  e->time = values["time"];
  const std::u16string& state = values["state"];
  if (state != u"pending" && state != u"conflict" && state != u"refused") return false;
  e->conflict = state == u"conflict";
  e->refused = state == u"refused";
  e->namedTag = values["named"];
  e->serverTag = values["server"];
  e->own.clear();
  const std::u16string& own = values["own"];
  for (size_t i = 0; i < own.size(); i += 65) e->own.push_back(own.substr(i, 64));
  const std::string size = Utf16ToUtf8(values["size"]);
  if (size.empty() || size.size() > 19 ||
      !std::all_of(size.begin(), size.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  e->size = std::stoull(size);
  return !e->job.url.empty() && IsDigest(e->sha256) && IsFileNamePart(e->name) &&
         std::all_of(e->own.begin(), e->own.end(), IsDigest);
}

DocumentFile FileOf(const PendingEntry& e) {
  return DocumentFile{e.job.unid, e.name};
}

bool SameDocument(const PendingEntry& a, const PendingEntry& b) {
  return a.name == b.name && (a.job.unid.empty() && b.job.unid.empty() ? a.job.url == b.job.url
                                                                       : a.job.unid == b.job.unid);
}

// Whether `newer` was made from `older`'s version or a later one of this user's: both replace
// the same server version (entries of the first format tell none). Only then may it replace it.
bool Follows(const PendingEntry& newer, const PendingEntry& older) {
  return SameDocument(newer, older) &&
         (!newer.based || !older.based || *newer.based == *older.based);
}

// Whole and no conflict: the entry goes when the server takes it.
bool Sendable(const PendingEntry& e) {
  return e.problem.empty() && !e.conflict;
}

}  // namespace

std::u16string PendingEntry::BodyPath() const {
  if (format < 2) return folder + kPathSeparator + name;
  return folder + kPathSeparator + Utf8ToUtf16(kBodyFolder) + kPathSeparator + name;
}

// The store's lock for one piece of work, taken unless this object holds it already.
class PendingUploads::Hold {
 public:
  Hold(PendingUploads& store, std::chrono::milliseconds wait) : lock_(store.lock_) {
    if (lock_.held()) return;
    taken_ = lock_.Acquire(ToPath(store.ctx_.work_dir) / ToPath(kLockFile), wait) == 0;
  }
  ~Hold() {
    if (taken_) lock_.Release();
  }
  Hold(const Hold&) = delete;
  Hold& operator=(const Hold&) = delete;
  bool ok() const { return lock_.held(); }

 private:
  FileLock& lock_;
  bool taken_ = false;
};

PendingUploads::PendingUploads(Context& ctx) : ctx_(ctx) {}

std::u16string PendingUploads::Folder() const {
  return ctx_.work_dir + kPathSeparator + kFolder;
}

std::u16string PendingUploads::NowText() const {
  const TimePoint now = ctx_.clock ? ctx_.clock->Now() : std::chrono::system_clock::now();
  return FormatTimestamp(ToLocalTime(now));
}

std::optional<PendingEntry> PendingUploads::Keep(const std::u16string& file, const UploadJob& job) {
  PendingEntry entry;
  entry.format = kFormat;
  entry.job = job;
  entry.name = GetFileName(file);
  std::u16string failure;
  std::string bytes;
  int err = 0;
  Sha256Value digest{};
  std::error_code ec;
  const fs::path folder = ToPath(Folder());
  if (!IsFileNamePart(entry.name)) {
    failure = u"文件名不能用作文件";
  } else if (ReadRegularFile(ToPath(file), kMaxKept, &bytes, &err) != FileReadStatus::kOk) {
    failure = u"无法读取文件（" + ToText(err) + u"）";
  } else if (!Sha256(bytes, &digest)) {
    failure = u"无法计算文件摘要";
  } else if (fs::create_directories(folder, ec), ec) {
    failure = u"无法建立文件夹" + Folder();
  }
  if (failure.empty()) {
    entry.sha256 = Sha256Text(digest);
    entry.size = bytes.size();
    entry.time = NowText();
    // The version this one replaces: the one held now.
    entry.based = HeldVersionTag(ctx_, FileOf(entry));
    for (const PendingEntry& old : List()) {
      if (!Follows(entry, old) || !Sendable(old)) continue;
      entry.own.push_back(old.sha256);
      for (const std::u16string& d : old.own) entry.own.push_back(d);
    }
    // "<stamp>-<n>": the first n that neither a whole nor a new entry has taken.
    std::u16string stamp = entry.time;
    std::erase_if(stamp, [](char16_t c) { return c < u'0' || c > u'9'; });
    fs::path temp;
    for (int n = 1; n < 10000 && entry.id.empty(); ++n) {
      const std::u16string id = stamp + u"-" + ToText(n);
      temp = folder / ToPath(kNewPrefix + id);
      if (!fs::exists(folder / ToPath(id), ec) && fs::create_directory(temp, ec)) entry.id = id;
    }
    entry.folder = FromPath(folder / ToPath(entry.id));
    entry.dir = folder / ToPath(entry.id);
    if (entry.id.empty()) {
      failure = u"无法建立待上传文件夹";
    } else if ((fs::create_directory(temp / kBodyFolder, ec), ec)) {
      err = ec.value();
      failure = u"无法写入待上传文件（" + ToText(err) + u"）";
    } else if ((err = ReplaceFileContents(temp / kBodyFolder / ToPath(entry.name), bytes)) != 0 ||
               (err = ReplaceFileContents(temp / kEntryFile, EntryText(entry))) != 0) {
      failure = u"无法写入待上传文件（" + ToText(err) + u"）";
    } else if (fs::rename(temp, entry.dir, ec), ec) {
      failure = u"无法完成待上传文件（" + ToText(ec.value()) + u"）";
    }
    if (!failure.empty() && !entry.id.empty()) fs::remove_all(temp, ec);
  }
  if (!failure.empty()) {
    WriteErrorLog(ctx_.state, u"无法在本机保存待上传的文件“" + file + u"”：" + failure);
    return std::nullopt;
  }
  SyncFolder(folder);
  // Only now that the newer version is kept may the older ones it follows go; a conflict stays
  // until a person drops it, and one based on another server version goes as what it is.
  // Without the lock they stay too: a retry skips them.
  // A save that could not have the lock in its own wait does not wait again here.
  const Hold hold(*this, std::chrono::milliseconds(0));
  if (hold.ok()) {
    for (const PendingEntry& old : List()) {
      if (old.id != entry.id && Sendable(old) && Follows(entry, old)) Remove(old);
    }
  }
  return entry;
}

std::optional<PendingEntry> PendingUploads::Read(const fs::path& dir) const {
  PendingEntry entry;
  entry.id = FromPath(dir.filename());
  entry.folder = FromPath(dir);
  entry.dir = dir;
  std::string text;
  int err = 0;
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) return std::nullopt;
  if (entry.id.rfind(kNewPrefix, 0) == 0) {
    entry.problem = u"未写完（保存时中断）";
  } else if (ReadRegularFile(dir / kEntryFile, 1 << 20, &text, &err) != FileReadStatus::kOk) {
    entry.problem = u"缺少描述文件";
  } else if (!ParseEntry(text, &entry)) {
    entry.problem = u"描述文件已损坏";
  }
  std::string error;
  if (ReadRegularFile(dir / kErrorFile, 1 << 20, &error, &err) == FileReadStatus::kOk) {
    entry.lastError = Utf8ToUtf16(error);
  }
  return entry;
}

// Whether the kept bytes are those the entry describes; else the entry gets its problem.
bool PendingUploads::Check(PendingEntry& entry) const {
  if (!entry.problem.empty()) return false;
  std::string bytes;
  int err = 0;
  Sha256Value digest{};
  if (ReadRegularFile(ToPath(entry.BodyPath()), kMaxKept, &bytes, &err) != FileReadStatus::kOk) {
    entry.problem = u"缺少文件内容";
  } else if (bytes.size() != entry.size || !Sha256(bytes, &digest) ||
             Sha256Text(digest) != entry.sha256) {
    entry.problem = u"文件内容与摘要不符";
  }
  return entry.problem.empty();
}

std::vector<PendingEntry> PendingUploads::List() const {
  std::vector<fs::path> dirs;
  std::error_code ec;
  for (fs::directory_iterator it(ToPath(Folder()), ec), end; !ec && it != end; it.increment(ec)) {
    // A folder on its way out (Remove) is no entry any more.
    if (it->is_directory(ec) && it->path().filename().string().rfind(kGonePrefix, 0) != 0) {
      dirs.push_back(it->path());
    }
  }
  // Oldest first; half-written ones (".new-") by the time in their names too.
  auto key = [](const fs::path& dir) {
    const std::u16string id = FromPath(dir.filename());
    return id.rfind(kNewPrefix, 0) == 0 ? id.substr(std::char_traits<char16_t>::length(kNewPrefix))
                                        : id;
  };
  std::sort(dirs.begin(), dirs.end(), [&](const fs::path& a, const fs::path& b) {
    const std::u16string ka = key(a);
    const std::u16string kb = key(b);
    // "-10" after "-9": the sequence number compares by its length first.
    return std::make_pair(ka.size(), ka) < std::make_pair(kb.size(), kb);
  });
  std::vector<PendingEntry> entries;
  for (const fs::path& dir : dirs) {
    if (std::optional<PendingEntry> entry = Read(dir)) {
      Check(*entry);
      entries.push_back(std::move(*entry));
    }
  }
  return entries;
}

// Renamed out of the way first, so that no reader meets half an entry.
bool PendingUploads::Remove(const PendingEntry& entry) {
  std::error_code ec;
  const fs::path folder = ToPath(Folder());
  fs::path gone = entry.dir.parent_path() / (kGonePrefix + entry.dir.filename().string());
  fs::remove_all(gone, ec);
  fs::rename(entry.dir, gone, ec);
  fs::remove_all(ec ? entry.dir : gone, ec);
  const bool removed = !fs::exists(entry.dir, ec) && !ec;
  if (fs::is_empty(folder, ec) && !ec) fs::remove(folder, ec);
  SyncFolder(folder);
  return removed;
}

void PendingUploads::Rewrite(const PendingEntry& entry) {
  ReplaceFileContents(entry.dir / kEntryFile, EntryText(entry));
}

void PendingUploads::NoteError(PendingEntry& entry, const std::u16string& line) {
  entry.lastError = line.empty() ? u"服务器没有确认上传" : line;
  ReplaceFileContents(entry.dir / kErrorFile, Utf16ToUtf8(entry.lastError));
}

UploadOutcome PendingUploads::Send(PendingEntry& entry, const std::u16string& source) {
  answered_ = false;
  const Hold hold(*this, kLockWait);
  if (!hold.ok()) {
    NoteError(entry, u"另一个程序正在上传待上传的文件，稍后再试");
    return UploadOutcome::kFailed;
  }
  // Another process may have sent, replaced, dropped or marked it before the lock was had.
  std::optional<PendingEntry> now = Read(entry.dir);
  std::error_code ec;
  if (!now || !fs::exists(entry.dir / kEntryFile, ec)) return UploadOutcome::kGone;
  entry = std::move(*now);
  if (entry.conflict) return UploadOutcome::kConflict;
  if ((source.empty() || !entry.problem.empty()) && !Check(entry)) {
    WriteErrorLog(ctx_.state, u"待上传的文件" + entry.folder + u"不能上传：" + entry.problem);
    return UploadOutcome::kUnusable;
  }
  const DocumentFile file = FileOf(entry);
  std::u16string replaced = entry.based ? *entry.based : HeldVersionTag(ctx_, file);
  for (int attempt = 0;; ++attempt) {
    HttpOperation transfer(ctx_);
    transfer.SetHttpUser(entry.job.user);
    transfer.SetHttpPassword(entry.job.password);
    transfer.SetHttpUrl(entry.job.url);
    transfer.SetDestFile(source.empty() ? entry.BodyPath() : source);
    transfer.SetBodyDigest(entry.sha256);
    transfer.SetReplacedTag(replaced);
    if (quick_) transfer.SetDeadlines(kQuickConnect, kQuickAnswer);
    if (transfer.UploadFileByStream()) {
      answered_ = true;
      Remove(entry);
      return UploadOutcome::kUploaded;
    }
    answered_ = transfer.replyStatus() != 0;
    if (transfer.credentialsRefused()) {
      // It goes on being tried (the password may be mended on the server), but it waits for
      // the clerk's password more than for the server, and holds no other entry up.
      entry.refused = true;
      Rewrite(entry);
      NoteError(entry, transfer.lastErrorLine());
      WriteErrorLog(ctx_.state, u"服务器拒绝了用户" + entry.job.user + u"上传文件“" + entry.name +
                                    u"”：需要重新输入密码；本机的版本保存在" + entry.folder);
      return UploadOutcome::kRefused;
    }
    if (!transfer.conflict()) {
      NoteError(entry, transfer.lastErrorLine());
      return UploadOutcome::kFailed;
    }
    const std::u16string& current = transfer.serverTag();
    if (current == DigestTag(entry.sha256)) {
      // The server stored this very version before; only its reply was lost.
      RecordVersionTag(ctx_, file, current, entry.sha256);
      WriteLog(ctx_.state, u"服务器上已是本机的版本" + current + u"：" + entry.name);
      Remove(entry);
      return UploadOutcome::kUploaded;
    }
    const bool earlier_own =
        std::find_if(entry.own.begin(), entry.own.end(), [&](const std::u16string& d) {
          return DigestTag(d) == current;
        }) != entry.own.end();
    if (earlier_own && attempt == 0) {
      // The server holds an earlier version of this user's: the newer one goes over it.
      replaced = current;
      continue;
    }
    entry.conflict = true;
    entry.namedTag = transfer.namedTag();
    entry.serverTag = current;
    Rewrite(entry);
    NoteError(entry, transfer.lastErrorLine());
    WriteErrorLog(ctx_.state, u"上传文件“" + entry.name + u"”时发生冲突：本机的版本基于服务器版本" +
                                  entry.namedTag + u"，服务器当前版本为" +
                                  (current.empty() ? u"（未知）" : current) +
                                  u"，没有覆盖服务器上的版本；本机的版本保存在" + entry.folder);
    return UploadOutcome::kConflict;
  }
}

RetryReport PendingUploads::RetryAll(bool quick) {
  quick_ = quick;
  struct Patient {
    bool& quick;
    ~Patient() { quick = false; }
  } patient{quick_};
  RetryReport report;
  bool stopped = false;
  const std::vector<PendingEntry> entries = List();
  for (size_t i = 0; i < entries.size(); ++i) {
    PendingEntry entry = entries[i];
    if (!entry.problem.empty()) {
      ++report.unusable;
      continue;
    }
    if (entry.conflict) {
      ++report.conflicts;
      continue;
    }
    if (!entry.AddressUsable()) {
      // Tried, it would fail without an answer and stop the others that can go.
      ++report.no_address;
      continue;
    }
    // Another process holds the lock: it is sending, and the others would only wait for it.
    const Hold hold(*this, stopped ? std::chrono::milliseconds(0) : kRetryLockWait);
    if (stopped || !hold.ok()) {
      stopped = true;
      ++report.untried;
      continue;
    }
    const bool replaced = std::any_of(
        entries.begin() + static_cast<long>(i) + 1, entries.end(),
        [&](const PendingEntry& newer) { return Sendable(newer) && Follows(newer, entry); });
    if (replaced) {
      // A save that could not have the lock left it: its newer version goes instead.
      Remove(entry);
      continue;
    }
    switch (Send(entry)) {
      case UploadOutcome::kUploaded:
        ++report.uploaded;
        WriteLog(ctx_.state,
                 u"待上传的文件“" + entry.name + u"”（" + entry.id + u"）已上传到服务器");
        break;
      case UploadOutcome::kConflict:
        ++report.conflicts;
        break;
      case UploadOutcome::kRefused:
        ++report.refused;
        break;
      case UploadOutcome::kUnusable:
        ++report.unusable;
        break;
      case UploadOutcome::kGone:
      case UploadOutcome::kNotKept:
      case UploadOutcome::kNoAddress:
        break;
      case UploadOutcome::kFailed:
        ++report.failed;
        // A server that answered with a refusal is there: the others may still go.
        stopped = !answered_;
        break;
    }
  }
  return report;
}

std::optional<UploadOutcome> PendingUploads::SendWithPassword(const std::u16string& id,
                                                              const std::u16string& password) {
  const Hold hold(*this, kLockWait);
  for (PendingEntry& entry : List()) {
    if (entry.id != id) continue;
    if (!hold.ok()) return UploadOutcome::kFailed;
    if (!entry.problem.empty()) return UploadOutcome::kUnusable;
    entry.job.password = password;
    entry.refused = false;
    Rewrite(entry);
    return Send(entry);
  }
  return std::nullopt;
}

bool PendingUploads::Drop(const std::u16string& id) {
  const Hold hold(*this, kLockWait);
  if (!hold.ok()) return false;
  for (const PendingEntry& entry : List()) {
    if (entry.id == id) return Remove(entry);
  }
  return false;
}

bool PendingUploads::ForgetStaleTag(const std::u16string& unid, const std::u16string& path) const {
  PendingEntry document;
  document.job.unid = unid;
  document.name = GetFileName(path);
  std::vector<std::u16string> own;
  for (const PendingEntry& e : List()) {
    if (e.problem.empty() && SameDocument(e, document)) own.push_back(e.sha256);
  }
  return ForgetStaleVersionTag(ctx_, FileOf(document), ToPath(path), own);
}

UploadOutcome PendingUploads::Upload(const std::u16string& file, const UploadJob& job) {
  // Waits while another process sends: what it sends may be the version this one replaces.
  const Hold hold(*this, kSaveLockWait);
  if (std::optional<PendingEntry> entry = Keep(file, job)) {
    // Not had in time: the version waits, kept, for a later retry.
    if (!hold.ok()) return UploadOutcome::kFailed;
    const UploadOutcome outcome = Send(*entry, file);
    // Tried all the same, so that the log says what the address made of the upload.
    if (outcome == UploadOutcome::kFailed && !entry->AddressUsable()) {
      return UploadOutcome::kNoAddress;
    }
    return outcome;
  }
  // No copy could be kept: the upload is still worth trying, as it always was; a version that
  // does not get there is then kept nowhere but in the document itself.
  HttpOperation transfer(ctx_);
  transfer.SetHttpUser(job.user);
  transfer.SetHttpPassword(job.password);
  transfer.SetHttpUrl(job.url);
  transfer.SetDestFile(file);
  if (transfer.UploadFileByStream()) return UploadOutcome::kUploaded;
  return UploadOutcome::kNotKept;
}

bool PendingEntry::AddressUsable() const {
  return UsableUploadAddress(job.url);
}

UploadOutcome UploadDocument(Context& ctx, const std::u16string& file, const UploadJob& job) {
  return PendingUploads(ctx).Upload(file, job);
}

}  // namespace qnmuro
