#include "simhost/sim_document.h"

#include <algorithm>

#include "base/error.h"
#include "base/text.h"
#include "platform/digest.h"
#include "simhost/fodt_format.h"
#include "simhost/sim_bookmarks.h"
#include "simhost/sim_layout.h"
#include "simhost/sim_shapes.h"

namespace qnmuro::simhost {

std::string ProtectionKey(std::u16string_view password) {
  std::string bytes = U8(password);
  Sha256Value digest;
  if (!Sha256(bytes, &digest))
    ThrowHost(host::kNotAvailable, u"The password digest is not available.");
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char byte : digest) {
    hex += kHex[byte >> 4];
    hex += kHex[byte & 15];
  }
  return hex;
}

SimDocument::SimDocument(DocumentHost* host, std::u16string full_name, bool has_file)
    : host_(host),
      full_name_(std::move(full_name)),
      has_file_(has_file),
      bookmarks_(std::make_unique<SimBookmarks>(this)),
      shapes_(std::make_unique<SimShapes>(this)) {}

SimDocument::~SimDocument() = default;

void SimDocument::CheckAlive() const {
  if (closed_ || host_ == nullptr)
    ThrowHost(host::kObjectDeleted, u"The document has been closed.");
}

void SimDocument::CheckEditable() const {
  CheckAlive();
  if (protection_ > host::kAllowOnlyRevisions)
    ThrowHost(host::kProtected,
              u"This method or property is not available because the document is protected.");
}

DocumentHost& SimDocument::Host() const {
  CheckAlive();
  return *host_;
}

void SimDocument::Detach() {
  closed_ = true;
  host_ = nullptr;
  subscribers_.clear();
}

TrackInfo SimDocument::Track() {
  TrackInfo t;
  t.on = track_ || protection_ == host::kAllowOnlyRevisions;
  if (t.on) {
    t.author = host_->UserName();
    t.time = host_->Now();
  }
  return t;
}

void SimDocument::Edit(long start, long end, std::u16string_view text, TextStore::Mode mode,
                       uint64_t origin) {
  CheckEditable();
  store_.Replace(start, end, text, mode, origin, Track());
}

long SimDocument::Paste(long start, long end, const Fragment& fragment) {
  CheckEditable();
  return store_.InsertFragment(start, end, fragment, Track());
}

std::u16string SimDocument::Name() {
  CheckAlive();
  return has_file_ ? FromPath(ToPath(full_name_).filename()) : full_name_;
}

std::u16string SimDocument::FullName() {
  CheckAlive();
  return full_name_;
}

void SimDocument::Activate() {
  Host().ActivateDocument(*this);
}

bool SimDocument::Saved() {
  CheckAlive();
  return saved_ && !store_.Changed();
}

void SimDocument::SetSaved(bool saved) {
  CheckAlive();
  saved_ = saved;
  if (saved) store_.ClearChanged();
}

void SimDocument::Save() {
  CheckAlive();
  SaveTo(has_file_ ? full_name_ : host_->ResolvePath(full_name_ + u".fodt"));
}

void SimDocument::SaveAs(std::u16string_view path) {
  CheckAlive();
  if (path.empty()) ThrowHost(host::kFileError, u"The file name is empty.");
  SaveTo(host_->ResolvePath(path));
}

void SimDocument::SaveTo(const std::u16string& path) {
  auto keep = shared_from_this();
  if (!in_before_save_) {
    // A save made by a before-save handler does not raise the event again.
    bool save_as_ui = false, cancel = false;
    in_before_save_ = true;
    try {
      host_->BeforeSave(*this, save_as_ui, cancel);
    } catch (...) {
      in_before_save_ = false;
      throw;
    }
    in_before_save_ = false;
    if (cancel || closed_) return;
  }
  WriteTo(path);
  full_name_ = path;
  has_file_ = true;
  SetSaved(true);
}

void SimDocument::WriteTo(const std::u16string& path) {
  DocumentFile f;
  f.text = store_.Text();
  for (long i = 0; i < store_.BookmarkCount(); ++i) f.bookmarks.push_back(store_.BookmarkAt(i));
  for (const auto& s : store_.Shapes()) f.shapes.push_back({s, PageOf(f.text, s.anchor)});
  f.revisions = store_.Revisions();
  f.protection = protection_;
  f.protection_key = protection_key_;
  f.track_revisions = track_;
  f.show_revisions = show_revisions_;
  f.print_revisions = print_revisions_;
  SaveDocumentFile(path, f);
}

void SimDocument::LoadFile(const std::u16string& path) {
  DocumentFile f = LoadDocumentFile(path);
  std::vector<ShapeRec> shapes;
  for (auto& s : f.shapes) {
    if (s.page > 0) s.shape.anchor = PageStart(f.text, s.page);
    shapes.push_back(std::move(s.shape));
  }
  store_.Load(f.text, std::move(f.bookmarks), std::move(shapes), std::move(f.revisions));
  protection_ = f.protection;
  protection_key_ = f.protection_key;
  track_ = f.track_revisions;
  show_revisions_ = f.show_revisions;
  print_revisions_ = f.print_revisions;
  saved_ = true;
}

Fragment SimDocument::ReadFragment(const std::u16string& path) {
  DocumentFile f = LoadDocumentFile(path);
  Fragment fragment;
  fragment.bookmarks = std::move(f.bookmarks);
  for (auto& s : f.shapes) {
    if (s.page > 0) s.shape.anchor = PageStart(f.text, s.page);
    fragment.shapes.push_back(std::move(s.shape));
  }
  fragment.text = std::move(f.text);
  return fragment;
}

void SimDocument::Close() {
  CheckAlive();
  auto keep = shared_from_this();
  auto subscribers = subscribers_;
  for (auto* s : subscribers) s->Close();
  if (closed_) return;
  if (!Saved()) {
    std::u16string name = Name();
    MsgAnswer answer = host_->Ui().ShowMessage(
        u"是否保存对“" + name + u"”的更改？", MsgButtons::kYesNoCancel, MsgIcon::kExclamation, u"");
    if (answer == MsgAnswer::kCancel)
      ThrowHost(host::kNotAvailable, u"The document was not closed: the user cancelled.");
    if (answer == MsgAnswer::kYes) {
      Save();
      if (!Saved()) ThrowHost(host::kNotAvailable, u"The document was not closed: not saved.");
    }
    if (closed_) return;
  }
  closed_ = true;
  subscribers_.clear();
  host_->DocumentClosed(*this);
}

bool SimDocument::Undo(long times) {
  CheckEditable();
  bool any = false;
  for (long i = 0; i < times && store_.Undo(); ++i) any = true;
  return any;
}

host::Bookmarks& SimDocument::GetBookmarks() {
  CheckAlive();
  return *bookmarks_;
}

host::Shapes& SimDocument::GetShapes() {
  CheckAlive();
  return *shapes_;
}

std::shared_ptr<host::Range> SimDocument::GetRange(long start, long end) {
  CheckAlive();
  if (start < 0 || end < start) ThrowHost(host::kBadParameter, u"The range is not valid.");
  long n = store_.Length();
  return std::make_shared<SimRange>(shared_from_this(), std::min(start, n), std::min(end, n));
}

std::shared_ptr<host::Range> SimDocument::Content() {
  CheckAlive();
  return std::make_shared<SimRange>(shared_from_this(), 0, store_.Length());
}

long SimDocument::GetProtectionType() {
  CheckAlive();
  return protection_;
}

void SimDocument::Protect(long type, std::u16string_view password) {
  CheckAlive();
  if (protection_ != host::kNoProtection)
    ThrowHost(host::kProtected, u"The document is already protected.");
  if (type < host::kAllowOnlyRevisions || type > host::kAllowOnlyReading)
    ThrowHost(host::kBadParameter, u"The protection type is not valid.");
  protection_key_ = ProtectionKey(password);
  protection_ = type;
  if (type == host::kAllowOnlyRevisions) track_ = true;
}

void SimDocument::Unprotect(std::u16string_view password) {
  CheckAlive();
  if (protection_ == host::kNoProtection) return;
  if (ProtectionKey(password) != protection_key_)
    ThrowHost(host::kWrongPassword, u"The password is incorrect.");
  protection_ = host::kNoProtection;
  protection_key_.clear();
}

bool SimDocument::TrackRevisions() {
  CheckAlive();
  return track_;
}

void SimDocument::SetTrackRevisions(bool on) {
  CheckAlive();
  if (protection_ > host::kAllowOnlyRevisions || (protection_ == host::kAllowOnlyRevisions && !on))
    ThrowHost(host::kProtected,
              u"This method or property is not available because the document is protected.");
  track_ = on;
}

bool SimDocument::ShowRevisions() {
  CheckAlive();
  return show_revisions_;
}

void SimDocument::SetShowRevisions(bool on) {
  CheckAlive();
  show_revisions_ = on;
}

bool SimDocument::PrintRevisions() {
  CheckAlive();
  return print_revisions_;
}

void SimDocument::SetPrintRevisions(bool on) {
  CheckAlive();
  print_revisions_ = on;
}

void SimDocument::AcceptAllRevisions() {
  CheckAlive();
  if (protection_ != host::kNoProtection)
    ThrowHost(host::kProtected,
              u"This method or property is not available because the document is protected.");
  store_.AcceptAllRevisions();
}

void SimDocument::Subscribe(host::DocumentEvents* events) {
  CheckAlive();
  if (events != nullptr &&
      std::find(subscribers_.begin(), subscribers_.end(), events) == subscribers_.end())
    subscribers_.push_back(events);
}

void SimDocument::Unsubscribe(host::DocumentEvents* events) {
  std::erase(subscribers_, events);
}

}  // namespace qnmuro::simhost
