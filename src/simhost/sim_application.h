// The simulated application: its documents, selection, window, options, command bars, events
// and macros. Internal to simhost; users go through sim_host.h.
#ifndef QNMURO_SIMHOST_SIM_APPLICATION_H_
#define QNMURO_SIMHOST_SIM_APPLICATION_H_

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "hostkit/mem_command_bars.h"
#include "simhost/sim_document.h"
#include "simhost/sim_host.h"

namespace qnmuro::simhost {

class SimApplicationImpl;

// The application's state that outlives it in the handles it gave out: handles check `app`
// and raise kObjectDeleted once the application is gone.
struct AppLink {
  SimApplicationImpl* app = nullptr;
};

class SimSelection final : public host::Selection {
 public:
  explicit SimSelection(std::shared_ptr<AppLink> link) : link_(std::move(link)) {}

  std::shared_ptr<host::Range> GetRange() override;
  void SetRange(long start, long end) override;
  long EndPageNumber() override;
  // A non-empty selection collapses to its end (right) or start (left), which counts as the
  // first character of the move, as the host's character moves do.
  void MoveCharacters(long count) override;
  void TypeText(std::u16string_view text) override;
  void Paste() override;
  void WholeStory() override;
  void Delete() override;
  void InsertFile(std::u16string_view path) override;

 private:
  SimDocument& Doc();
  std::shared_ptr<AppLink> link_;
};

class SimWindow final : public host::Window {
 public:
  SimWindow(std::shared_ptr<AppLink> link, std::shared_ptr<SimDocument> document)
      : link_(std::move(link)), document_(std::move(document)) {}

  host::View& GetView() override;
  // The range must be of a document of this application (kBadParameter otherwise).
  host::ScreenRect GetPoint(host::Range& range) override;
  host::DocumentRect ScreenToDocument(const host::ScreenRect& rect) override;
  host::PagePoint PageOrigin(long page) override;

 private:
  void CheckAlive() const;
  std::shared_ptr<AppLink> link_;
  std::shared_ptr<SimDocument> document_;
};

class SimApplicationImpl final : public SimApplication, public DocumentHost {
 public:
  explicit SimApplicationImpl(const hostkit::HostOptions& options);
  ~SimApplicationImpl() override;

  // host::Application
  std::shared_ptr<host::Document> ActiveDocument() override;
  std::shared_ptr<host::Window> ActiveWindow() override;
  std::shared_ptr<host::Selection> GetSelection() override;
  host::Documents& GetDocuments() override;
  host::Options& GetOptions() override;
  host::CommandBars& GetCommandBars() override;
  std::u16string UserName() override { return user_name_; }
  void SetUserName(std::u16string_view name) override { user_name_ = name; }
  std::u16string UserInitials() override { return user_initials_; }
  void SetUserInitials(std::u16string_view initials) override { user_initials_ = initials; }
  void Run(std::u16string_view macro) override;
  long WindowState() override { return window_state_; }
  void SetWindowState(long state) override;
  bool UserControl() override { return user_control_; }
  void SetUserControl(bool on) override { user_control_ = on; }
  void Subscribe(host::ApplicationEvents* events) override;
  void Unsubscribe(host::ApplicationEvents* events) override;

  // SimApplication
  std::vector<hostkit::RevisionInfo> Revisions(host::Document& document) override;
  std::vector<hostkit::ShapeInfo> ShapeInfos(host::Document& document) override;
  std::vector<std::pair<std::u16string, long>> Settings() override;
  void DefineMacro(std::u16string_view name, std::function<void()> body) override;
  std::vector<std::u16string> MacroNames() override;
  std::shared_ptr<host::Document> ActivateByName(std::u16string_view name) override;
  std::vector<std::shared_ptr<host::CommandBar>> AddedBars() override;
  bool Click(std::u16string_view caption) override;
  std::shared_ptr<host::Shape> AddPictureAtSelection(std::u16string_view file,
                                                     std::u16string_view name, float width,
                                                     float height) override;
  void Quit() override;

  // DocumentHost
  UiService& Ui() override;  // kNotAvailable when the application was given no UI
  TimePoint Now() override;
  std::u16string ResolvePath(std::u16string_view path) override;
  Fragment& Clipboard() override { return clipboard_; }
  void ActivateDocument(SimDocument& document) override;
  void BeforeSave(SimDocument& document, bool& save_as_ui, bool& cancel) override;
  void DocumentClosed(SimDocument& document) override;

  // For the selection, documents collection and view.
  std::shared_ptr<SimDocument> Active();  // kNoDocument when none
  std::vector<std::shared_ptr<SimDocument>>& documents() { return documents_; }
  std::shared_ptr<SimDocument> OpenFile(std::u16string_view path, bool visible);
  std::shared_ptr<SimDocument> NewDocument();
  bool show_drawings_ = true, show_background_ = true;
  long drawing_objects_ = 1;

 private:
  SimDocument& Of(host::Document& document);
  void BuildMenuBar();

  UiService* ui_;
  Clock* clock_;
  std::u16string work_dir_;
  std::u16string user_name_, user_initials_;
  std::shared_ptr<AppLink> link_;
  std::vector<std::shared_ptr<SimDocument>> documents_;
  std::shared_ptr<SimDocument> active_;
  long next_new_number_ = 1;
  Fragment clipboard_;
  std::vector<host::ApplicationEvents*> subscribers_;
  std::map<std::u16string, std::function<void()>> macros_;
  long window_state_ = 1;
  bool user_control_ = false;
  hostkit::MemCommandBars bars_;
  std::unique_ptr<host::Documents> documents_collection_;
  std::unique_ptr<host::Options> options_;
  std::unique_ptr<host::View> view_;
  std::shared_ptr<SimSelection> selection_;

  friend class SimWindow;
};

}  // namespace qnmuro::simhost

#endif  // QNMURO_SIMHOST_SIM_APPLICATION_H_
