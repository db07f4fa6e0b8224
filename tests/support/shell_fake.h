// A shell service for tests: answers from its public fields and records every call in order.
#ifndef QNMURO_SUPPORT_SHELL_FAKE_H_
#define QNMURO_SUPPORT_SHELL_FAKE_H_

#include <set>
#include <string>
#include <vector>

#include "platform/shell.h"

namespace qnmuro {

class FakeShell final : public ShellService {
 public:
  // Canned answers.
  long openResult = kShellOk;
  long findResult = kShellOk;
  std::u16string program;  // what FindProgram reports on success
  bool listOk = true;
  std::vector<ProcessEntry> processes;  // an ended process leaves the list
  std::set<uint32_t> visibleWindows;    // processes with a visible window
  bool endOk = true;
  bool frontResult = true;

  // The calls, one line each: "open PATH|DIR", "find NAME|FOLDER", "list", "visible PID",
  // "end PID", "front FRAGMENT".
  std::vector<std::u16string> calls;

  long OpenDocument(std::u16string_view path, std::u16string_view working_dir) override;
  long FindProgram(std::u16string_view file_name, std::u16string_view folder,
                   std::u16string* program_out) override;
  bool ListProcesses(std::vector<ProcessEntry>* out) override;
  bool HasVisibleWindow(uint32_t pid) override;
  bool EndProcess(uint32_t pid) override;
  bool BringMainWindowToFront(std::u16string_view class_fragment) override;
};

}  // namespace qnmuro

#endif  // QNMURO_SUPPORT_SHELL_FAKE_H_
