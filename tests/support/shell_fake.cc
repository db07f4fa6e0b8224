#include "support/shell_fake.h"

#include <algorithm>

#include "base/text.h"

namespace qnmuro {

long FakeShell::OpenDocument(std::u16string_view path, std::u16string_view working_dir) {
  calls.push_back(u"open " + std::u16string(path) + u"|" + std::u16string(working_dir));
  return openResult;
}

long FakeShell::FindProgram(std::u16string_view file_name, std::u16string_view folder,
                            std::u16string* program_out) {
  calls.push_back(u"find " + std::u16string(file_name) + u"|" + std::u16string(folder));
  if (findResult > 32) *program_out = program;
  return findResult;
}

bool FakeShell::ListProcesses(std::vector<ProcessEntry>* out) {
  calls.push_back(u"list");
  if (!listOk) return false;
  *out = processes;
  return true;
}

bool FakeShell::HasVisibleWindow(uint32_t pid) {
  calls.push_back(u"visible " + ToText(pid));
  return visibleWindows.count(pid) != 0;
}

bool FakeShell::EndProcess(uint32_t pid) {
  calls.push_back(u"end " + ToText(pid));
  if (!endOk) return false;
  std::erase_if(processes, [pid](const ProcessEntry& p) { return p.pid == pid; });
  return true;
}

bool FakeShell::BringMainWindowToFront(std::u16string_view class_fragment) {
  calls.push_back(u"front " + std::u16string(class_fragment));
  return frontResult;
}

}  // namespace qnmuro
