// A connected add-in on the simulated word processor, with a scripted UI, a virtual clock, a
// registry file and a work directory of its own; helpers make template-made documents and
// their control files the way the OA side hands them over.
#ifndef QNMURO_TESTS_SUPPORT_ADDIN_FIXTURE_H_
#define QNMURO_TESTS_SUPPORT_ADDIN_FIXTURE_H_

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "addin/wps_addin.h"
#include "base/error.h"
#include "base/text.h"
#include "common/context.h"
#include "common/identity.h"
#include "common/shared_state.h"
#include "host/host.h"
#include "platform/clock.h"
#include "platform/services.h"
#include "platform/ui.h"
#include "simhost/sim_host.h"
#include "support/event_log.h"
#include "support/refusing_port.h"
#include "support/shell_fake.h"
#include "support/temp_dir.h"

namespace qnmuro::test_util {

struct BookmarkPlace {
  std::u16string name;
  long start = 0;
  long end = 0;
};

struct DocumentLayout {
  std::u16string text;
  std::vector<BookmarkPlace> bookmarks;
  std::vector<std::u16string> shapes;  // picture names, placed at the start
};

// The example template document: a red head, a title line and a body between the markers,
// and the data bookmarks of the example data source.
DocumentLayout NoticeDocument();

// The scripted UI with a hook that runs when a message box with a given text is shown, to
// act as the host would while the box is up.
class HookedUi : public ScriptedUi {
 public:
  void OnMessage(std::u16string text, std::function<void()> hook) {
    hook_text_ = std::move(text);
    hook_ = std::move(hook);
  }
  MsgAnswer ShowMessage(std::u16string_view text, MsgButtons buttons, MsgIcon icon,
                        std::u16string_view title) override {
    if (hook_ && text == hook_text_) {
      auto hook = std::move(hook_);
      hook_ = nullptr;
      hook();
    }
    return ScriptedUi::ShowMessage(text, buttons, icon, title);
  }

 private:
  std::u16string hook_text_;
  std::function<void()> hook_;
};

class AddinTest : public ::testing::Test {
 protected:
  AddinTest();
  ~AddinTest() override;

  std::u16string WorkDir() const { return FromPath(dir_.path()); }
  std::u16string PathOf(std::u16string_view name) const {
    return FromPath(dir_.path() / ToPath(name));
  }

  // Disconnects the add-in and connects a new one over ctx_ as it is now, for a test that
  // replaced one of its services (a failing HTTP client, another registry store).
  void Reconnect();

  // Writes a document file in the work directory (with the add-in not looking).
  void MakeDocument(std::u16string_view name, const DocumentLayout& layout);
  // The example control file for `name` with the action keyword, the button list and the
  // content binary's upload address replaced; by default uploads go to `nowhere_`.
  void WriteControl(std::u16string_view document_name, std::string_view action,
                    std::string_view buttons = "查看痕迹,隐藏红头");
  void WriteControl(std::u16string_view document_name, std::string_view action,
                    std::string_view buttons, std::string_view upload_url);
  void WriteDataSource(std::u16string_view document_name, const std::string& xml);
  std::string ExampleDataSource() const;

  void SetCurrentFileValue(std::u16string_view value);
  std::u16string CurrentFileValue();

  // Hands the document over (CurrentFile) and opens it.
  std::shared_ptr<host::Document> OpenWorkflow(std::u16string_view name);
  std::shared_ptr<host::Document> Open(std::u16string_view name);

  // The event log's lines after the start banner.
  std::vector<std::u16string> LogLines() const { return ReadEventLogLines(dir_.path()); }

  // Message boxes shown so far.
  std::vector<UiRecord> Boxes() const;
  // The same, each as "[<title>] <icon>: <text>" (an empty title stays empty).
  std::vector<std::u16string> ShownBoxes() const;
  // Captions of the add-in's bar and the face labels, "caption[F1]".
  std::vector<std::u16string> Toolbar();
  long Setting(std::u16string_view name);
  // Whether a tracked revision of the document holds `text`.
  bool Tracked(host::Document& doc, std::u16string_view text);
  bool OptionsItemEnabled();

  TempDir dir_;
  RefusingPort nowhere_;
  HookedUi ui_;
  // The add-in's shell: no test starts or ends a real program.
  FakeShell shell_;
  // The platform's own services over the test's folder, with a virtual clock.
  Services services_;
  VirtualClock* clock_ = nullptr;
  std::unique_ptr<simhost::SimApplication> app_;
  Context ctx_;
  std::unique_ptr<WPSaddin> addin_;
};

}  // namespace qnmuro::test_util

#endif  // QNMURO_TESTS_SUPPORT_ADDIN_FIXTURE_H_
