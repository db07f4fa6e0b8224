// WPSaddin: the add-in the word processor loads. It connects to the host application, turns a
// document that the OA side hands over (registry CurrentFile plus a control file in the work
// directory) into the workflow document, prepares it for its workflow action, and sends it
// back to the OA server when it is saved or closed.
//
// One object per loaded add-in. It is created with the services of a Context; it owns the
// shared state unless the context brings one. All calls come on the host's user-interface
// thread. The host reaches the add-in only through host::AddIn and the event interfaces; each
// of those entry points catches every failure, so nothing escapes into the host. The public
// operations follow their own failure styles: "trapped" ones report and return normally,
// "not trapped" ones raise qnmuro::Error to their caller.
#ifndef QNMURO_ADDIN_WPS_ADDIN_H_
#define QNMURO_ADDIN_WPS_ADDIN_H_

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "base/error.h"
#include "commands/command_support.h"
#include "commands/toolbar.h"
#include "common/context.h"
#include "config/control_rules.h"
#include "host/host.h"
#include "transfer/pending_uploads.h"

namespace qnmuro {

struct SharedState;
class Timer;

// The host's user name for a workflow user: `lastName`, followed by the part of `fullName`
// from its first "/" on when that "/" is not the first character (A/B/C with Z gives Z/B/C).
std::u16string WorkflowUserName(std::u16string_view full_name, std::u16string_view last_name);

// The event line document open writes when CurrentFile names a document but its control file
// (at `control_path`) is missing, so the document opens as a plain one.
std::u16string NoControlFileLine(std::u16string_view current_file,
                                 std::u16string_view control_path);
// The event line when CurrentFile could not be cleared (system error `code`), and whether the
// hand-over was remembered in the file `mark` instead; and the line when a later document
// finds that remembered hand-over and opens as a plain one.
std::u16string NotClearedLine(std::u16string_view current_file, long code, bool remembered,
                              std::u16string_view mark);
std::u16string HandOverTakenLine(std::u16string_view current_file, std::u16string_view document);

class WPSaddin final : public host::AddIn,
                       private host::ApplicationEvents,
                       private host::DocumentEvents {
 public:
  explicit WPSaddin(Context context);
  ~WPSaddin() override;
  WPSaddin(const WPSaddin&) = delete;
  WPSaddin& operator=(const WPSaddin&) = delete;

  // ---- Public operations, in the order of the add-in's interface. ----

  // (Re)builds the command bar "QNMuroBar" from the control file's button list. Each step's
  // failure is ignored.
  void SetWPSBar();
  // Finalise: tracking off, values merged, every bookmark removed, all tracked revisions
  // accepted, then "正文生成完毕！". Trapped: the first failure is shown and logged.
  void FinalizeDocument();
  // View: values merged, tracking locked on, marks hidden. Each step's failure is ignored.
  void ViewDocument();
  // Approve: lock released, values merged, lock applied again, marks hidden. Not trapped.
  void ApproveDocument();
  // Draft: values merged, caret at "BodyStart". Each step's failure is ignored.
  void DraftDocument();
  bool TrackRevisionWithoutPrint();
  bool TrackRevision();
  bool UnTrackRevision();
  void ShowRevision();  // not trapped
  void HideRevision();  // not trapped
  // Fill the active document's bookmarks from its data source / write them back. Trapped;
  // always false.
  bool MergeDataSource();
  bool SetDataSource();
  // Brings the word processor's main window to the front; failures are ignored.
  void MakeWPSTop();
  // Runs the command of `button` (its row in commands/toolbar.h) for a click on `control`.
  // Not trapped: what the command does not report itself reaches the caller.
  void Click(BarButton button, host::Control& control);
  // True once a workflow document has been opened since connection.
  bool IsContentDocument() const { return content_document_; }
  // Disable / enable a host command bar and each of its controls. Not trapped.
  void DisableToolBar(std::u16string_view bar_name);
  void EnableToolBar(std::u16string_view bar_name);
  // Runs an OA server agent; see transfer/agent.h.
  std::u16string ExecuteAgent(std::u16string_view strAgent, std::u16string_view strPara,
                              std::optional<std::u16string> varData = std::nullopt,
                              bool blnReturnXML = false);

  // ---- Connection (host::AddIn). Each step's failure is ignored. ----
  void OnConnection(host::Application* application) override;
  void OnDisconnection() override;
  void OnStartupComplete() override {}
  void OnAddInsUpdate() override {}
  void OnBeginShutdown() override {}

  // ---- Event handlers. ----
  // A document opened: a workflow document is prepared, any other gets tracking switched off.
  void wpsApp_DocumentOpen(host::Document& document);
  // The workflow document is about to be saved by the user: ask, save, upload, restart the
  // reminder. Each step's failure is ignored.
  void wpsApp_DocumentBeforeSave(host::Document& document, bool& save_as_ui, bool& cancel);
  // The workflow document is closing: upload, then undo what document open set up; on a
  // failed upload keep everything and show the close-error box. Not trapped.
  void wpsDoc_Close();

  // ---- Internal operations. ----
  // Asks, saves locally, keeps a backup and uploads the workflow document. True when uploaded
  // or when nothing had to be uploaded; false on a failed upload or any error (logged).
  bool SaveToServer();
  // Enables or disables the host's options menu item. Not trapped.
  void EnableOptionsMenu(bool enabled);

  // ---- Inspection, for the command line and tests. ----
  SharedState& state() { return *context_.state; }
  const Context& context() const { return context_; }
  const std::u16string& message_text() const { return messageText; }
  Timer* reminder() { return reminder_.get(); }
  host::Document* workflow_document() { return wpsDoc.get(); }
  bool closing() const { return closing_; }

 private:
  // A button member: holding a button subscribes the add-in to its clicks, which run the
  // command of the button's row.
  class ButtonMember final : public host::ButtonEvents {
   public:
    ButtonMember(WPSaddin* owner, const BarButtonRow& row) : owner_(owner), row_(row) {}
    ButtonMember(const ButtonMember&) = delete;
    ButtonMember& operator=(const ButtonMember&) = delete;
    ~ButtonMember() override { Assign(nullptr); }
    void Assign(std::shared_ptr<host::Control> button);
    host::Control* get() const { return button_.get(); }
    void Click(host::Control& control, bool& cancel_default) override;

   private:
    WPSaddin* owner_;
    const BarButtonRow& row_;
    std::shared_ptr<host::Control> button_;
  };
  template <size_t... I>
  std::array<ButtonMember, kBarButtonCount> MakeButtons(std::index_sequence<I...>) {
    return {{ButtonMember(this, ButtonRow(static_cast<BarButton>(I)))...}};
  }

  // host::ApplicationEvents / host::DocumentEvents: the boundary, catching everything.
  void DocumentOpen(host::Document& document) override;
  void DocumentBeforeSave(host::Document& document, bool& save_as_ui, bool& cancel) override;
  void Close() override;

  // Document open's steps for a hand-over: clears CurrentFile (or remembers the hand-over as
  // taken when it cannot be cleared); makes the workflow user the host's user, keeping the
  // host's own for the close; prepares the document as its action wants. Not trapped.
  void TakeHandOver(const std::u16string& current, const std::u16string& control_path);
  void SetWorkflowUser(host::Application& app);
  void PrepareForAction();
  void AssignApp(host::Application* application);
  void AssignDoc(std::shared_ptr<host::Document> document);
  ButtonMember& Member(BarButton button);
  // Tells the clerk that the server did not take the saved version (the pending uploads keep it).
  void TellNotUploaded(UploadOutcome outcome);
  // After the server refused the user's credentials for the upload of `job`: asks for the
  // password in the add-in's password box and sends the kept version with it. What the upload
  // then came to (`outcome` when the clerk gives none).
  UploadOutcome AskPasswordAgain(const UploadJob& job, UploadOutcome outcome);
  // At the reminder's ticks: sends the versions that wait for the server again, every few
  // minutes while there are any, so a clerk who keeps working sees them go once it is back.
  void RetryPendingAtTick();
  // Writes the class's error line for a failure that reached a host entry point.
  void ReportAtBoundary(std::u16string_view operation, const Error& error) noexcept;

  Context context_;
  std::unique_ptr<SharedState> owned_state_;

  std::shared_ptr<host::CommandBar> wpsBar;
  std::u16string saved_user_name_;
  std::u16string saved_user_initials_;
  // Whether a workflow document's open has saved the host's user name yet: a document whose
  // control file failed never replaced it, and must not blank it at close.
  bool user_name_saved_ = false;
  bool content_document_ = false;
  bool closing_ = false;
  std::u16string messageText;
  host::Application* wpsApp = nullptr;
  std::shared_ptr<host::Document> wpsDoc;
  // One member per button, indexed by BarButton.
  std::array<ButtonMember, kBarButtonCount> buttons_ =
      MakeButtons(std::make_index_sequence<kBarButtonCount>{});

  // The reminder form, created by the first workflow document's open.
  std::unique_ptr<Timer> reminder_;
  // The seal and template dialogs, each created on its first use and kept while the add-in
  // is loaded.
  CommandForms forms_;
  // Set while SaveToServer runs: a before-save the host raises for the add-in's own save is
  // ignored, so one user save never asks or uploads twice.
  bool in_save_to_server_ = false;
  // What the last upload of SaveToServer came to (none when it sent nothing).
  std::optional<UploadOutcome> last_outcome_;
  // Reminder ticks since the pending uploads were last tried.
  int ticks_since_retry_ = 0;
};

}  // namespace qnmuro

#endif  // QNMURO_ADDIN_WPS_ADDIN_H_
