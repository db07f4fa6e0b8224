// Documents in Writer: loading, saving in the file's own format, closing, undo, change
// tracking and its protection.
#include <rtl/digest.h>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/document/XUndoManagerSupplier.hpp>
#include <com/sun/star/frame/DispatchHelper.hpp>
#include <com/sun/star/frame/XDispatchProvider.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/text/XBookmarksSupplier.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XModifiable.hpp>
#include <com/sun/star/util/XModifyBroadcaster.hpp>

#include <algorithm>

#include "base/text.h"
#include "common/utils.h"
#include "lohost/lo_model.h"

namespace qnmuro::lohost {

using css::uno::Any;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

namespace {

// Writer's change-protection key: SHA-1 of the password's UTF-8, as its own dialog keeps it.
Sequence<sal_Int8> ProtectionKey(std::u16string_view password) {
  const std::string utf8 = U8(password);
  Sequence<sal_Int8> key(RTL_DIGEST_LENGTH_SHA1);
  rtl_digest_SHA1(utf8.data(), static_cast<sal_uInt32>(utf8.size()),
                  reinterpret_cast<sal_uInt8*>(key.getArray()), RTL_DIGEST_LENGTH_SHA1);
  return key;
}

// The export filter for a file name's extension; empty when the extension says nothing.
OUString FilterForName(std::u16string_view path) {
  std::u16string lower(path);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](char16_t c) { return c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c; });
  auto ends = [&](std::u16string_view ext) {
    return lower.size() >= ext.size() &&
           lower.compare(lower.size() - ext.size(), ext.size(), ext) == 0;
  };
  if (ends(u".doc") || ends(u".wps") || ends(u".dot")) return Ascii("MS Word 97");
  if (ends(u".docx")) return Ascii("MS Word 2007 XML");
  if (ends(u".odt")) return Ascii("writer8");
  if (ends(u".fodt")) return Ascii("OpenDocument Text Flat XML");
  if (ends(u".rtf")) return Ascii("Rich Text Format");
  return {};
}

// Formats Writer writes as well as reads; a file opened through another (an import-only
// filter) is saved as Word 97.
OUString ExportFilter(const OUString& loaded) {
  static const char* const kWritable[] = {
      "MS Word 97",       "MS Word 2007 XML",     "writer8",         "OpenDocument Text Flat XML",
      "Rich Text Format", "Office Open XML Text", "MS Word 2003 XML"};
  for (const char* f : kWritable) {
    if (loaded.equalsAscii(f)) return loaded;
  }
  return Ascii("MS Word 97");
}

Reference<css::beans::XPropertySet> Properties(const Reference<css::text::XTextDocument>& model) {
  return Reference<css::beans::XPropertySet>(model, UNO_QUERY_THROW);
}

}  // namespace

LoDocument::LoDocument(LoApplication* app, Reference<css::text::XTextDocument> model,
                       std::u16string name, bool has_file)
    : app_(app),
      model_(std::move(model)),
      full_name_(std::move(name)),
      has_file_(has_file),
      bookmarks_(this),
      shapes_(this) {
  WatchChanges();
  ReadFilter();
  Uno([&] { Properties(model_)->getPropertyValue(Ascii("ShowChanges")) >>= show_revisions_; });
  IgnoreFailure([&] { RestorePictureNames(); });
}

void LoDocument::ReadFilter() {
  Uno([&] {
    for (const css::beans::PropertyValue& arg :
         Reference<css::frame::XModel>(model_, UNO_QUERY_THROW)->getArgs()) {
      if (arg.Name == "FilterName") arg.Value >>= filter_;
    }
  });
}

LoDocument::~LoDocument() = default;

void LoDocument::WatchChanges() {
  try {
    change_counter_ = NewChangeCounter(changes_);
    Reference<css::util::XModifyBroadcaster>(model_, UNO_QUERY_THROW)
        ->addModifyListener(change_counter_);
    counting_ = true;
  } catch (const css::uno::Exception&) {
    // Without Writer's word on changes nothing measured of the document is kept.
    counting_ = false;
  }
}

void LoDocument::CheckAlive() const {
  if (closed_) ThrowHost(host::kObjectDeleted, u"The object has been deleted.");
}

void LoDocument::CheckEditable() const {
  CheckAlive();
  if (protection_ > host::kAllowOnlyRevisions) {
    ThrowHost(host::kProtected,
              u"This method or property is not available because the document is protected.");
  }
}

Reference<css::text::XText> LoDocument::Text() const {
  CheckAlive();
  if (!text_.is()) text_ = Uno([&] { return model_->getText(); });
  return text_;
}

Reference<css::text::XTextRangeCompare> LoDocument::Compare() const {
  if (!compare_.is()) {
    compare_ =
        Uno([&] { return Reference<css::text::XTextRangeCompare>(Text(), UNO_QUERY_THROW); });
  }
  return compare_;
}

Reference<css::container::XNameAccess> LoDocument::BookmarkAccess() const {
  CheckAlive();
  if (!bookmark_access_.is()) {
    bookmark_access_ = Uno([&] {
      return Reference<css::text::XBookmarksSupplier>(model_, UNO_QUERY_THROW)->getBookmarks();
    });
  }
  return bookmark_access_;
}

Reference<css::frame::XController> LoDocument::Controller() const {
  CheckAlive();
  return Uno([&] {
    Reference<css::frame::XController> controller = model_->getCurrentController();
    if (!controller.is()) ThrowHost(host::kNotAvailable, u"The document has no window.");
    return controller;
  });
}

Reference<css::frame::XFrame> LoDocument::Frame() const {
  return Uno([&] { return Controller()->getFrame(); });
}

std::u16string LoDocument::Name() {
  CheckAlive();
  const size_t slash = full_name_.find_last_of(u"/\\");
  return slash == std::u16string::npos ? full_name_ : full_name_.substr(slash + 1);
}

std::u16string LoDocument::FullName() {
  CheckAlive();
  return full_name_;
}

void LoDocument::Activate() {
  CheckAlive();
  app_->MakeActive(*this);
  Uno([&] { Frame()->activate(); });
}

bool LoDocument::Saved() {
  CheckAlive();
  if (writer_stored_) return false;  // as before Writer's own save, for its before-save event
  return Uno(
      [&] { return !Reference<css::util::XModifiable>(model_, UNO_QUERY_THROW)->isModified(); });
}

void LoDocument::SetSaved(bool saved) {
  CheckAlive();
  writer_stored_ = false;
  Uno([&] { Reference<css::util::XModifiable>(model_, UNO_QUERY_THROW)->setModified(!saved); });
}

void LoDocument::Save() {
  CheckAlive();
  StoreTo(has_file_ ? full_name_ : app_->ResolvePath(full_name_ + u".odt"), has_file_);
}

void LoDocument::SaveAs(std::u16string_view path) {
  CheckAlive();
  StoreTo(app_->ResolvePath(path), false);
}

void LoDocument::StoreTo(const std::u16string& path, bool keep_format) {
  auto keep = shared_from_this();
  if (!in_before_save_) {
    // A save made by a before-save handler does not raise the event again.
    bool save_as_ui = false, cancel = false;
    in_before_save_ = true;
    try {
      app_->BeforeSave(*this, save_as_ui, cancel);
    } catch (...) {
      in_before_save_ = false;
      throw;
    }
    in_before_save_ = false;
    if (cancel || closed_) return;
  }
  if (writer_stored_ && !writer_copy_) {
    // Writer has just written this file in its own format: the add-in's save is that one.
    SetSaved(true);
    return;
  }
  OUString filter = keep_format ? ExportFilter(filter_) : FilterForName(path);
  if (filter.isEmpty()) filter = ExportFilter(filter_.isEmpty() ? Ascii("writer8") : filter_);
  storing_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{storing_};
  IgnoreFailure([&] { KeepPictureNames(); });
  Uno([&] {
    Reference<css::frame::XStorable> storable(model_, UNO_QUERY_THROW);
    storable->storeAsURL(FileUrl(path),
                         Props({{"FilterName", Any(filter)}, {"Overwrite", Any(true)}}));
  });
  filter_ = filter;
  full_name_ = path;
  has_file_ = true;
  SetSaved(true);
  // Writer's store puts its own pointer back when done: the add-in's wait goes on (the upload).
  if (app_->Ui().CursorShape() == kWaitCursor) app_->Ui().SetCursorShape(kWaitCursor);
}

void LoDocument::Close() {
  CheckAlive();
  auto keep = shared_from_this();
  auto subscribers = subscribers_;
  for (auto* s : subscribers) s->Close();
  if (closed_) return;
  if (!Saved()) {
    const MsgAnswer answer =
        app_->Ui().ShowMessage(u"是否保存对“" + Name() + u"”的更改？", MsgButtons::kYesNoCancel,
                               MsgIcon::kExclamation, u"");
    if (answer == MsgAnswer::kCancel) {
      ThrowHost(host::kNotAvailable, u"The document was not closed: the user cancelled.");
    }
    if (answer == MsgAnswer::kYes) {
      Save();
      if (!Saved()) ThrowHost(host::kNotAvailable, u"The document was not closed: not saved.");
    }
    if (closed_) return;
  }
  Dispose();
}

void LoDocument::Dispose() {
  if (closed_) return;
  closed_ = true;
  subscribers_.clear();
  try {
    if (counting_) {
      Reference<css::util::XModifyBroadcaster>(model_, UNO_QUERY_THROW)
          ->removeModifyListener(change_counter_);
    }
  } catch (...) {
    // The document goes either way.
  }
  try {
    Reference<css::util::XCloseable>(model_, UNO_QUERY_THROW)->close(true);
  } catch (...) {
    // Writer closes it when it can: the document is gone for the add-in either way.
  }
  app_->DocumentClosed(*this);
}

Reference<css::document::XUndoManager> LoDocument::UndoManager() const {
  CheckAlive();
  if (!undo_manager_.is()) {
    undo_manager_ = Uno([&] {
      return Reference<css::document::XUndoManagerSupplier>(model_, UNO_QUERY_THROW)
          ->getUndoManager();
    });
  }
  return undo_manager_;
}

namespace {

long UndoDepth(const Reference<css::document::XUndoManager>& undo) {
  return undo->getAllUndoActionTitles().getLength();
}

}  // namespace

void LoDocument::AsOneAction(const std::function<void()>& edit, const BookmarksBefore* before) {
  // Within an action its parts need no context of their own.
  if (action_depth_ > 0) {
    edit();
    return;
  }
  const Reference<css::document::XUndoManager> undo = UndoManager();
  BookmarksBefore marks;
  if (before != nullptr) {
    marks = *before;
  } else {
    marks.spans = BookmarkSpans();
  }
  Uno([&] { undo->enterUndoContext(OUString()); });
  ++action_depth_;
  // An empty context leaves no action behind.
  auto leave = [&] {
    --action_depth_;
    undo->leaveUndoContext();
    const long depth = UndoDepth(undo);
    if (undo_marks_.empty() || undo_marks_.back().depth < depth) {
      undo_marks_.push_back({depth, std::move(marks)});
    }
  };
  try {
    edit();
  } catch (...) {
    try {
      leave();
    } catch (...) {
      // The edit's own failure is the one to report.
    }
    throw;
  }
  Uno(leave);
}

void LoDocument::OutsideUndo(const std::function<void()>& edit) {
  const Reference<css::document::XUndoManager> undo = UndoManager();
  Uno([&] { undo->lock(); });
  try {
    edit();
  } catch (...) {
    undo->unlock();
    throw;
  }
  Uno([&] { undo->unlock(); });
}

bool LoDocument::Undo(long times) {
  const Reference<css::document::XUndoManager> undo = UndoManager();
  if (times <= 0 || !Uno([&] { return undo->isUndoPossible(); })) return false;
  for (long i = 0; i < times && Uno([&] { return undo->isUndoPossible(); }); ++i) {
    const long depth = Uno([&] {
      undo->undo();
      return UndoDepth(undo);
    });
    // The bookmarks of an action of ours come back as they were; actions the user made in
    // Writer meanwhile have no record and are left to Writer.
    while (!undo_marks_.empty() && undo_marks_.back().depth > depth + 1) undo_marks_.pop_back();
    if (!undo_marks_.empty() && undo_marks_.back().depth == depth + 1) {
      const BookmarksBefore before = std::move(undo_marks_.back().before);
      undo_marks_.pop_back();
      OutsideUndo([&] { RestoreBookmarks(before); });
    }
  }
  return true;
}

std::shared_ptr<host::Range> LoDocument::GetRange(long start, long end) {
  return std::make_shared<LoRange>(shared_from_this(), CursorAt(start, end));
}

std::shared_ptr<host::Range> LoDocument::Content() {
  CheckAlive();
  return Uno([&] {
    const Reference<css::text::XTextCursor> cursor = Text()->createTextCursor();
    cursor->gotoStart(false);
    cursor->gotoEnd(true);
    return std::make_shared<LoRange>(shared_from_this(), cursor);
  });
}

long LoDocument::GetProtectionType() {
  CheckAlive();
  if (protection_ > host::kAllowOnlyRevisions) return protection_;
  return Uno([&] {
    Sequence<sal_Int8> key;
    Properties(model_)->getPropertyValue(Ascii("RedlineProtectionKey")) >>= key;
    return key.hasElements() ? static_cast<long>(host::kAllowOnlyRevisions)
                             : static_cast<long>(host::kNoProtection);
  });
}

void LoDocument::Protect(long type, std::u16string_view password) {
  if (GetProtectionType() != host::kNoProtection) {
    ThrowHost(host::kProtected, u"The document is already protected.");
  }
  if (type < host::kAllowOnlyRevisions || type > host::kAllowOnlyReading) {
    ThrowHost(host::kBadParameter, u"The value is out of range.");
  }
  Uno([&] {
    const Reference<css::beans::XPropertySet> props = Properties(model_);
    if (type == host::kAllowOnlyRevisions)
      props->setPropertyValue(Ascii("RecordChanges"), Any(true));
    props->setPropertyValue(Ascii("RedlineProtectionKey"), Any(ProtectionKey(password)));
  });
  // Writer's change protection keeps only the revisions-only kind: the others are the host's own.
  if (type != host::kAllowOnlyRevisions) protection_ = type;
}

void LoDocument::Unprotect(std::u16string_view password) {
  CheckAlive();
  Uno([&] {
    const Reference<css::beans::XPropertySet> props = Properties(model_);
    Sequence<sal_Int8> key;
    props->getPropertyValue(Ascii("RedlineProtectionKey")) >>= key;
    if (!key.hasElements()) return;
    if (key != ProtectionKey(password))
      ThrowHost(host::kWrongPassword, u"The password is incorrect.");
    props->setPropertyValue(Ascii("RedlineProtectionKey"), Any(Sequence<sal_Int8>()));
  });
  protection_ = host::kNoProtection;
}

bool LoDocument::TrackRevisions() {
  CheckAlive();
  return Uno([&] {
    bool on = false;
    Properties(model_)->getPropertyValue(Ascii("RecordChanges")) >>= on;
    return on;
  });
}

void LoDocument::SetTrackRevisions(bool on) {
  if (!on && GetProtectionType() == host::kAllowOnlyRevisions) {
    ThrowHost(host::kProtected,
              u"This method or property is not available because the document is protected.");
  }
  Uno([&] { Properties(model_)->setPropertyValue(Ascii("RecordChanges"), Any(on)); });
}

bool LoDocument::Recording(bool on) {
  try {
    Uno([&] { Properties(model_)->setPropertyValue(Ascii("RecordChanges"), Any(on)); });
    return true;
  } catch (...) {
    return false;
  }
}

bool LoDocument::ShowRevisions() {
  CheckAlive();
  return show_revisions_;
}

void LoDocument::SetShowRevisions(bool on) {
  CheckAlive();
  // Writer 7.4 takes the value but keeps showing the changes in its view: the document keeps
  // the add-in's setting, and Writer's property is set for the versions that honour it.
  Uno([&] { Properties(model_)->setPropertyValue(Ascii("ShowChanges"), Any(on)); });
  show_revisions_ = on;
}

bool LoDocument::PrintRevisions() {
  CheckAlive();
  return print_revisions_;
}

void LoDocument::AcceptAllRevisions() {
  if (GetProtectionType() == host::kAllowOnlyRevisions) {
    ThrowHost(host::kProtected,
              u"This method or property is not available because the document is protected.");
  }
  Uno([&] {
    Reference<css::frame::XDispatchProvider> provider(Frame(), UNO_QUERY_THROW);
    css::frame::DispatchHelper::create(app_->context())
        ->executeDispatch(provider, Ascii(".uno:AcceptAllTrackedChanges"), Ascii(""), 0, {});
  });
}

void LoDocument::Subscribe(host::DocumentEvents* events) {
  CheckAlive();
  if (events != nullptr &&
      std::find(subscribers_.begin(), subscribers_.end(), events) == subscribers_.end()) {
    subscribers_.push_back(events);
  }
}

void LoDocument::Unsubscribe(host::DocumentEvents* events) {
  subscribers_.erase(std::remove(subscribers_.begin(), subscribers_.end(), events),
                     subscribers_.end());
}

}  // namespace qnmuro::lohost
