#include "commands/template_change.h"

#include <memory>

#include "base/error.h"
#include "base/text.h"
#include "commands/command_support.h"
#include "datasource/merge.h"
#include "host/host_util.h"
#include "platform/ui.h"
#include "workflow/document_modes.h"
#include "workflow/red_head.h"
#include "workflow/revision_lock.h"

namespace qnmuro {
namespace {

// What the command has done so far, for its mismatch and failure paths.
struct Progress {
  std::shared_ptr<host::Document> current;
  std::shared_ptr<host::Document> made;  // the template, while it is open
  int64_t edits = 0;                     // undoable edits made to the current document
};

bool HasBodyMarkers(host::Document& doc) {
  host::Bookmarks& bookmarks = doc.GetBookmarks();
  return bookmarks.Exists(kBodyStart) && bookmarks.Exists(kBodyEnd);
}

void CloseMade(Progress& progress) noexcept {
  if (!progress.made) return;
  IgnoreFailure([&] { progress.made->SetSaved(true); });
  IgnoreFailure([&] { progress.made->Close(); });
  progress.made.reset();
}

void ShowMismatch(const Context& ctx) {
  // No run-time error lies behind a mismatch: its description is empty and its number 0.
  const Error none = NoError();
  Require(ctx.ui).ShowMessage(
      kMismatchText + std::u16string(u"\r") + none.description() + ToText(none.number()),
      MsgButtons::kOk, MsgIcon::kCritical, kMismatchTitle);
}

// Pastes the clipboard (the current body) into the template at `path` and saves it there.
// False when the template lacks a marker (it is left open in progress.made).
bool FillTemplate(host::Application& app, const std::u16string& path, Progress& progress) {
  progress.made = app.GetDocuments().Open(path, true);
  if (!HasBodyMarkers(Require(progress.made))) return false;
  Require(progress.made->GetBookmarks().Item(kBodyStart)).Select();
  const auto selection = app.GetSelection();
  Require(selection).MoveCharacters(1);
  selection->Paste();
  progress.made->Save();
  progress.made->Close();
  progress.made.reset();
  return true;
}

// Gives the current document the content of the file at `path`, counting each undoable edit.
// The text goes first: a document that refuses edits fails before it loses anything.
void ReplaceContent(host::Application& app, const std::u16string& path, Progress& progress) {
  host::Document& current = *progress.current;
  current.Activate();
  const auto selection = app.GetSelection();
  Require(selection).WholeStory();
  selection->Delete();
  ++progress.edits;
  RemoveAllBookmarks(current, &progress.edits);
  selection->InsertFile(path);
  ++progress.edits;
}

void ReportFailure(const Context& ctx, std::u16string_view message_text, const Error& error,
                   Progress& progress) noexcept {
  ReportCommandError(ctx, u"更换模板错误: ", message_text, error, &error, true);
  IgnoreFailure([&] {
    Require(ctx.ui).ShowMessage(kKeepTemplateNotice, MsgButtons::kOk, MsgIcon::kNone, u"");
  });
  // Only what this command did is undone: the user's own last edit stays.
  if (progress.edits > 0) {
    IgnoreFailure([&] { progress.current->Undo(static_cast<long>(progress.edits)); });
  }
  CloseMade(progress);
}

}  // namespace

void ChangeTemplate(const Context& ctx, host::Application* app, host::Document* doc,
                    ChangeTemplateForm& form, std::u16string_view message_text) {
  form.SetLocalTemplatePath(u"");  // closing the dialog never reuses an earlier choice
  form.Show(app);
  const std::u16string path = form.LocalTemplatePath();
  if (path.empty()) return;
  const LockState before = SaveLockState(doc);
  Progress progress;
  TrapFirstFailure(
      [&] {
        UnTrackRevision(app, doc);
        host::Application& application = Require(app);
        progress.current = application.ActiveDocument();
        if (!HasBodyMarkers(Require(progress.current))) {
          ShowMismatch(ctx);
          RestoreLockState(app, doc, before);
          return;
        }
        host::Bookmarks& marks = progress.current->GetBookmarks();
        progress.current->GetRange(marks.Item(kBodyStart)->Start(), marks.Item(kBodyEnd)->End())
            ->Copy();
        if (!FillTemplate(application, path, progress)) {
          ShowMismatch(ctx);
          CloseMade(progress);
          RestoreLockState(app, doc, before);
          return;
        }
        ReplaceContent(application, path, progress);
        MergeDataSource(ctx, application);
        Require(progress.current->GetBookmarks().Item(kBodyStart)).Select();
        TrackRevision(app, doc);
      },
      [&](const Error& error) {
        ReportFailure(ctx, message_text, error, progress);
        RestoreLockState(app, doc, before);
      });
}

}  // namespace qnmuro
