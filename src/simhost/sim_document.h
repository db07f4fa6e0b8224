// A document of the simulated word processor: the host::Document over a TextStore, with
// protection, revision switches, saving and closing. Its bookmarks, ranges and pictures are
// handles (sim_bookmarks.h, sim_shapes.h) that keep the document object alive and raise
// kObjectDeleted once it is closed.
#ifndef QNMURO_SIMHOST_SIM_DOCUMENT_H_
#define QNMURO_SIMHOST_SIM_DOCUMENT_H_

#include <memory>
#include <string>
#include <vector>

#include "host/host.h"
#include "hostkit/host_error.h"
#include "simhost/sim_text.h"

namespace qnmuro::simhost {

class SimDocument;

// What a document needs from its application.
class DocumentHost {
 public:
  virtual ~DocumentHost() = default;
  virtual UiService& Ui() = 0;
  virtual std::u16string UserName() = 0;
  virtual TimePoint Now() = 0;
  // A path as given (absolute, or relative to the work folder) made absolute.
  virtual std::u16string ResolvePath(std::u16string_view path) = 0;
  virtual Fragment& Clipboard() = 0;
  virtual void ActivateDocument(SimDocument& document) = 0;
  // Raises the application's before-save event.
  virtual void BeforeSave(SimDocument& document, bool& save_as_ui, bool& cancel) = 0;
  // The document has closed: the application drops it.
  virtual void DocumentClosed(SimDocument& document) = 0;
};

using hostkit::ThrowHost;

class SimDocument final : public host::Document, public std::enable_shared_from_this<SimDocument> {
 public:
  // `full_name` is the file path, or just the name for a new document never saved.
  SimDocument(DocumentHost* host, std::u16string full_name, bool has_file);
  ~SimDocument() override;

  // host::Document
  std::u16string Name() override;
  std::u16string FullName() override;
  void Activate() override;
  bool Saved() override;
  void SetSaved(bool saved) override;
  void Save() override;
  void SaveAs(std::u16string_view path) override;
  void Close() override;
  bool Undo(long times) override;
  host::Bookmarks& GetBookmarks() override;
  host::Shapes& GetShapes() override;
  std::shared_ptr<host::Range> GetRange(long start, long end) override;
  std::shared_ptr<host::Range> Content() override;
  long GetProtectionType() override;
  void Protect(long type, std::u16string_view password) override;
  void Unprotect(std::u16string_view password) override;
  bool TrackRevisions() override;
  void SetTrackRevisions(bool on) override;
  bool ShowRevisions() override;
  void SetShowRevisions(bool on) override;
  bool PrintRevisions() override;
  void SetPrintRevisions(bool on) override;
  void AcceptAllRevisions() override;
  void Subscribe(host::DocumentEvents* events) override;
  void Unsubscribe(host::DocumentEvents* events) override;

  // For the application, the handles and the file reader.
  void CheckAlive() const;     // kObjectDeleted once closed
  void CheckEditable() const;  // kProtected under protection types 1 to 3
  TextStore& Store() { return store_; }
  DocumentHost& Host() const;
  // An edit of the main text; tracked when tracking is on or forced by protection.
  void Edit(long start, long end, std::u16string_view text, TextStore::Mode mode, uint64_t origin);
  long Paste(long start, long end, const Fragment& fragment);
  // Loads the content of a document file (kFileError when it is not one).
  void LoadFile(const std::u16string& path);
  // The content as a fragment of a file (for InsertFile).
  static Fragment ReadFragment(const std::u16string& path);
  bool closed() const { return closed_; }
  // Called when the application goes away: the document becomes unusable.
  void Detach();

 private:
  TrackInfo Track();
  void WriteTo(const std::u16string& path);
  void SaveTo(const std::u16string& path);

  DocumentHost* host_;
  std::u16string full_name_;
  bool has_file_;
  TextStore store_;
  bool saved_ = true;
  bool closed_ = false;
  bool in_before_save_ = false;
  long protection_ = host::kNoProtection;
  std::string protection_key_;
  bool track_ = false;
  bool show_revisions_ = true;
  bool print_revisions_ = true;
  std::vector<host::DocumentEvents*> subscribers_;
  std::unique_ptr<host::Bookmarks> bookmarks_;
  std::unique_ptr<host::Shapes> shapes_;
};

// The protection key kept for a password (a digest; the password itself is never stored).
std::string ProtectionKey(std::u16string_view password);

}  // namespace qnmuro::simhost

#endif  // QNMURO_SIMHOST_SIM_DOCUMENT_H_
