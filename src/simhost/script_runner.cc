#include "simhost/script_runner.h"

#include <optional>
#include <ostream>
#include <string>
#include <utility>

#include "base/error.h"
#include "base/text.h"
#include "common/identity.h"
#include "common/registry.h"
#include "hostkit/script_parser.h"
#include "hostkit/transcript.h"
#include "platform/ui.h"
#include "simhost/sim_host.h"

namespace qnmuro::simhost {
namespace {

// The script language and the transcript are every host's.
using hostkit::FormatHostError;
using hostkit::FormatLength;
using hostkit::FormatUiRecord;
using hostkit::ParseAnswer;
using hostkit::ParseClockTime;
using hostkit::ParseDuration;
using hostkit::ParseLength;
using hostkit::ParseOccurrence;
using hostkit::ParsePosition;
using hostkit::ParseScript;
using hostkit::RevisionInfo;
using hostkit::ScriptCommand;
using hostkit::ScriptError;
using hostkit::ScriptHost;
using hostkit::ShapeInfo;
using hostkit::TranscriptQuoted;
using hostkit::TranscriptText;

constexpr char16_t kMenuBar[] = u"Menu Bar";
// The menu items the add-in relies on, as `show menu` lists them.
constexpr std::pair<const char16_t*, const char16_t*> kAddInMenuItems[] = {
    {u"工具(&T)", u"选项(&E)..."},
    {u"插入(&I)", u"文件(&L)..."},
};

const char* Flag(bool on) {
  return on ? "1" : "0";
}

class Runner final {
 public:
  explicit Runner(const ScriptRunOptions& options)
      : out_(*options.out), clock_(NewVirtualClock(options.start_time)) {
    ui_.SetListener([this](const UiRecord& record) {
      const std::string line = FormatUiRecord(record);
      if (!line.empty()) Line(line);
    });
    hostkit::HostOptions host;
    host.ui = &ui_;
    host.clock = clock_.get();
    host.work_dir = options.work_dir;
    app_ = options.host ? options.host(host) : NewSimApplication(host);
    if (app_ == nullptr) throw MakeError(host::kNotAvailable);
    services_ = options.services;
    services_.ui = &ui_;
    services_.clock = clock_.get();
    services_.work_dir = options.work_dir;
  }

  // Connects the add-ins as a host loading them at start-up does.
  void Connect(const std::vector<AddInFactory>& factories) {
    for (const AddInFactory& factory : factories) {
      Guarded([&] {
        std::unique_ptr<host::AddIn> add_in = factory ? factory(services_) : nullptr;
        if (add_in == nullptr) return;
        add_ins_.push_back(std::move(add_in));
        add_ins_.back()->OnConnection(app_.get());
      });
    }
    for (auto& add_in : add_ins_) Guarded([&] { add_in->OnAddInsUpdate(); });
    for (auto& add_in : add_ins_) Guarded([&] { add_in->OnStartupComplete(); });
  }

  // Disconnects what is still connected: as at host shutdown, or (`disconnect`) as when the
  // user unloads the add-ins without closing the host.
  void Disconnect(bool shutdown) {
    if (shutdown) {
      for (auto& add_in : add_ins_) Guarded([&] { add_in->OnBeginShutdown(); });
    }
    for (auto& add_in : add_ins_) Guarded([&] { add_in->OnDisconnection(); });
    disconnected_.insert(disconnected_.end(), std::make_move_iterator(add_ins_.begin()),
                         std::make_move_iterator(add_ins_.end()));
    add_ins_.clear();
  }

  void Run(const ScriptCommand& command) {
    const bool done = Guarded([&] { Execute(command); });
    // A file the host cannot open makes the run a failure, whatever follows.
    if (!done && command.name == "open") {
      unopened_.push_back("line " + std::to_string(command.line) + ": the host cannot open " +
                          TranscriptText(command.args[0]) + ": " + last_host_error_);
    }
    CheckAnswers(command.line);
  }

  const std::vector<std::string>& unopened() const { return unopened_; }

  // A queued answer that a box did not offer stops the script, naming both.
  void CheckAnswers(int line) {
    const std::optional<ScriptedUi::Misfit> misfit = ui_.TakeMisfit();
    if (!misfit) return;
    const UiRecord& box = misfit->box;
    throw ScriptError(line, std::string("the queued answer ") + ToString(misfit->queued) +
                                " does not fit the message box [" +
                                TranscriptText(box.title.empty() ? u"QNMuroWPS" : box.title) +
                                "] " + ToString(box.buttons) + ": " + TranscriptText(box.text));
  }

 private:
  // Runs one step; a failure that the host reports is written and the script goes on.
  template <class Step>
  bool Guarded(Step&& step) {
    try {
      step();
      return true;
    } catch (const ScriptError&) {
      throw;
    } catch (...) {
      const Error error = CurrentError();
      last_host_error_ = TranscriptText(error.description());
      Line(FormatHostError(error));
      return false;
    }
  }

  void Line(const std::string& line) { out_ << line << '\n' << std::flush; }

  std::shared_ptr<host::Document> Active() { return app_->ActiveDocument(); }

  void Execute(const ScriptCommand& c) {
    const std::string& n = c.name;
    const std::vector<std::u16string>& a = c.args;
    if (n == "set-registry") {
      CreateRegistryKey(services_.registry, kIdentityKey, kHkeyLocalMachine);
      SetRegistryValue(services_.registry, kIdentityKey, a[0], a[1], kRegString, kHkeyLocalMachine);
    } else if (n == "open") {
      app_->GetDocuments().Open(a[0], true);
    } else if (n == "new") {
      app_->GetDocuments().Add();
    } else if (n == "activate") {
      app_->ActivateByName(a[0]);
    } else if (n == "type") {
      app_->GetSelection()->TypeText(a[0]);
    } else if (n == "select") {
      app_->GetSelection()->SetRange(*ParsePosition(a[0]), *ParsePosition(a[1]));
    } else if (n == "select-bookmark") {
      Active()->GetBookmarks().Item(a[0])->Select();
    } else if (n == "select-text") {
      const long n_th = a.size() > 1 ? *ParseOccurrence(a[1]) : 1;
      const long start = Find(c, a[0], n_th);
      app_->GetSelection()->SetRange(start, start + static_cast<long>(a[0].size()));
    } else if (n == "bookmark-text") {
      const long start = Find(c, a[1], 1);
      Active()->GetBookmarks().Add(a[0], start, start + static_cast<long>(a[1].size()));
    } else if (n == "bookmark") {
      const std::shared_ptr<host::Range> range = app_->GetSelection()->GetRange();
      Active()->GetBookmarks().Add(a[0], range->Start(), range->End());
    } else if (n == "picture") {
      app_->AddPictureAtSelection(a[0], a[1], *ParseLength(a[2]), *ParseLength(a[3]));
    } else if (n == "define-macro") {
      const std::string line = "MACRO " + TranscriptText(a[0]);
      app_->DefineMacro(a[0], [this, line] { Line(line); });
    } else if (n == "save") {
      Active()->Save();
    } else if (n == "save-as") {
      Active()->SaveAs(a[0]);
    } else if (n == "close") {
      Active()->Close();
    } else if (n == "click") {
      if (!app_->Click(a[0])) Line("DISABLED " + TranscriptText(a[0]));
    } else if (n == "menu") {
      ChooseMenu(a[0], a[1], a[2]);
    } else if (n == "answer") {
      ui_.QueueAnswer(*ParseAnswer(a[0]));
    } else if (n == "input") {
      ui_.QueueInput(a[0]);
    } else if (n == "input-cancel") {
      ui_.QueueInput(std::nullopt);
    } else if (n == "pick-file") {
      ui_.QueueFile(a[0]);
    } else if (n == "pick-file-cancel") {
      ui_.QueueFile(std::nullopt);
    } else if (n == "pick-template") {
      ui_.QueueFormAnswer(FormAnswer{a[0], a[1], false});
    } else if (n == "pick-seal") {
      ui_.QueueFormAnswer(FormAnswer{a[0], std::nullopt, false});
    } else if (n == "pick-template-cancel" || n == "pick-seal-cancel") {
      ui_.QueueFormAnswer(FormAnswer{std::nullopt, std::nullopt, true});
    } else if (n == "clock") {
      clock_->Set(FromLocalTime(*ParseClockTime(a[0])));
    } else if (n == "wait") {
      clock_->Advance(*ParseDuration(a[0]));
    } else if (n == "show") {
      Show(U8(a[0]));
    } else if (n == "disconnect") {
      Disconnect(false);
    } else {
      throw ScriptError(c.line, "unknown command \"" + n + "\"");
    }
  }

  // Where the n-th occurrence of `text` (occurrences do not overlap) starts in the active
  // document's text; a text that is not there is the script's fault.
  long Find(const ScriptCommand& c, std::u16string_view text, long n_th) {
    const std::shared_ptr<host::Document> doc = Active();
    const std::u16string all = doc->Content()->Text();
    size_t at = std::u16string::npos;
    long found = 0;
    for (size_t from = 0; found < n_th; ++found, from = at + text.size()) {
      at = all.find(text, from);
      if (at == std::u16string::npos) break;
    }
    if (at == std::u16string::npos) {
      const std::string which = n_th == 1 ? "" : "occurrence " + std::to_string(n_th) + " of ";
      throw ScriptError(c.line, c.name + ": " + which + TranscriptQuoted(text) + " not found in " +
                                    TranscriptText(doc->Name()) + " (" + std::to_string(found) +
                                    " found)");
    }
    return static_cast<long>(at);
  }

  void ChooseMenu(std::u16string_view bar_name, std::u16string_view popup_caption,
                  std::u16string_view item_caption) {
    const std::shared_ptr<host::CommandBar> bar = app_->GetCommandBars().Find(bar_name);
    if (bar == nullptr) throw MakeError(host::kNoSuchMember);
    const std::shared_ptr<host::Control> popup = bar->GetControls().Item(popup_caption);
    const std::shared_ptr<host::Control> item = popup->GetControls().Item(item_caption);
    if (!bar->Enabled() || !popup->Enabled() || !item->Enabled()) {
      Line("DISABLED " + TranscriptText(popup_caption) + "/" + TranscriptText(item_caption));
      return;
    }
    item->Execute();
  }

  void Show(const std::string& what) {
    if (what == "text") {
      const std::shared_ptr<host::Document> doc = Active();
      Line("TEXT " + TranscriptText(doc->Name()) + ": " + TranscriptText(doc->Content()->Text()));
    } else if (what == "bookmarks") {
      host::Bookmarks& bookmarks = Active()->GetBookmarks();
      const long count = bookmarks.Count();
      for (long i = 1; i <= count; ++i) {
        const std::shared_ptr<host::Bookmark> b = bookmarks.Item(i);
        Line("BOOKMARK " + TranscriptText(b->Name()) + " " + std::to_string(b->Start()) + " " +
             std::to_string(b->End()) + " " + TranscriptQuoted(b->GetRange()->Text()));
      }
    } else if (what == "shapes") {
      for (const ShapeInfo& s : app_->ShapeInfos(*Active())) {
        Line("SHAPE " + TranscriptText(s.name) + " left=" + FormatLength(s.left) +
             " top=" + FormatLength(s.top) + " width=" + FormatLength(s.width) +
             " height=" + FormatLength(s.height) + " visible=" + Flag(s.visible) +
             " behind-text=" + Flag(s.behind_text));
      }
    } else if (what == "revisions") {
      for (const RevisionInfo& r : app_->Revisions(*Active())) {
        Line(std::string("REVISION ") +
             (r.kind == RevisionInfo::Kind::kInsert ? "insert" : "delete") +
             " author=" + TranscriptQuoted(r.author) + " " + TranscriptQuoted(r.text));
      }
    } else if (what == "state") {
      const std::shared_ptr<host::Document> doc = Active();
      Line("DOCUMENT " + TranscriptText(doc->Name()) + " saved=" + Flag(doc->Saved()) +
           " protection=" + std::to_string(doc->GetProtectionType()) + " track=" +
           Flag(doc->TrackRevisions()) + " show-revisions=" + Flag(doc->ShowRevisions()) +
           " print-revisions=" + Flag(doc->PrintRevisions()));
      Line("USER name=" + TranscriptQuoted(app_->UserName()) +
           " initials=" + TranscriptQuoted(app_->UserInitials()));
    } else if (what == "toolbar") {
      ShowToolbars();
    } else if (what == "documents") {
      host::Documents& documents = app_->GetDocuments();
      const long count = documents.Count();
      std::string line = "DOCUMENTS " + std::to_string(count) + ":";
      for (long i = 1; i <= count; ++i) line += " " + TranscriptText(documents.Item(i)->Name());
      Line(line);
    } else if (what == "settings") {
      for (const auto& [name, value] : app_->Settings()) {
        Line("SETTING " + TranscriptText(name) + " " + std::to_string(value));
      }
    } else if (what == "menu") {
      const std::shared_ptr<host::CommandBar> bar = app_->GetCommandBars().Find(kMenuBar);
      if (bar == nullptr) throw MakeError(host::kNoSuchMember);
      for (const auto& [popup, item] : kAddInMenuItems) {
        const std::shared_ptr<host::Control> control =
            bar->GetControls().Item(popup)->GetControls().Item(item);
        Line("MENU " + TranscriptText(popup) + "/" + TranscriptText(item) +
             " enabled=" + Flag(control->Enabled()));
      }
    }
  }

  void ShowToolbars() {
    const std::vector<std::shared_ptr<host::CommandBar>> bars = app_->AddedBars();
    if (bars.empty()) Line("TOOLBAR none");
    for (const std::shared_ptr<host::CommandBar>& bar : bars) {
      std::string line =
          "TOOLBAR " + TranscriptText(bar->Name()) + " visible=" + Flag(bar->Visible()) + ":";
      host::Controls& controls = bar->GetControls();
      const long count = controls.Count();
      for (long i = 1; i <= count; ++i) {
        const std::shared_ptr<host::Control> control = controls.Item(i);
        if (!control->Visible()) continue;
        const std::u16string face =
            control->Type() == host::kControlButton ? control->Face().label : u"";
        line += " " + TranscriptText(control->Caption()) + "[" + TranscriptText(face) + "]";
      }
      Line(line);
    }
  }

  std::ostream& out_;
  ScriptedUi ui_;
  std::unique_ptr<VirtualClock> clock_;
  std::unique_ptr<ScriptHost> app_;
  Context services_;
  // Connected add-ins, and those already disconnected (kept until the host goes, since the
  // host may still hold their subscriptions' objects).
  std::vector<std::unique_ptr<host::AddIn>> add_ins_;
  std::vector<std::unique_ptr<host::AddIn>> disconnected_;
  std::string last_host_error_;
  std::vector<std::string> unopened_;  // "line N: the host cannot open FILE: why"
};

}  // namespace

int RunScript(std::string_view script, const ScriptRunOptions& options) {
  if (options.out == nullptr || options.err == nullptr) return 2;
  std::vector<ScriptCommand> commands;
  try {
    commands = ParseScript(script);
  } catch (const ScriptError& e) {
    *options.err << e.what() << '\n';
    return 2;
  }
  std::optional<Runner> started;
  try {
    started.emplace(options);
  } catch (...) {
    *options.err << "the host did not start: " << CurrentError().what() << '\n';
    return 1;
  }
  Runner& runner = *started;
  int status = 0;
  try {
    runner.Connect(options.add_ins);
    for (const ScriptCommand& command : commands) runner.Run(command);
  } catch (const ScriptError& e) {
    *options.err << e.what() << '\n';
    status = 2;
  }
  runner.Disconnect(true);
  if (status == 0) {
    // Boxes shown at shutdown take queued answers too; the last line queued them.
    try {
      runner.CheckAnswers(commands.empty() ? 0 : commands.back().line);
    } catch (const ScriptError& e) {
      *options.err << e.what() << '\n';
      status = 2;
    }
  }
  for (const std::string& failure : runner.unopened()) *options.err << failure << '\n';
  if (status == 0 && !runner.unopened().empty()) status = 1;
  return status;
}

}  // namespace qnmuro::simhost
