// Shell, process and window services: opening a file with its associated program, finding
// that program, listing and ending processes, and asking about windows. They serve the
// original-draft viewer, which opens a downloaded draft in its own program after ending a
// hidden instance of that program. All calls are made on the host's UI thread and block it.
#ifndef QNMURO_PLATFORM_SHELL_H_
#define QNMURO_PLATFORM_SHELL_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qnmuro {

// Shell result codes: a value above 32 is success; these are the failures the add-in sees.
inline constexpr long kShellOk = 42;
inline constexpr long kShellFileNotFound = 2;  // the file does not exist
inline constexpr long kShellPathNotFound = 3;  // its folder does not exist
inline constexpr long kShellAccessDenied = 5;
inline constexpr long kShellNoAssociation = 31;  // no program is associated with the file

struct ProcessEntry {
  uint32_t pid = 0;
  std::u16string exeName;  // the executable's file name, without folder ("soffice.bin")
  // Started through this service's OpenDocument (see the implementations for what they can
  // tell); the only processes the add-in may end.
  bool startedHere = false;
};

class ShellService {
 public:
  virtual ~ShellService() = default;

  // Opens `path` with its associated program ("open" verb, normal window), the program
  // starting in `working_dir`. Returns a value above 32 once the program has been started,
  // otherwise one of the failure codes above. Does not wait for the program to end; remembers
  // what it started, which ListProcesses then marks.
  virtual long OpenDocument(std::u16string_view path, std::u16string_view working_dir) = 0;

  // The executable associated with `file_name` in `folder` (the file must exist). Returns a
  // value above 32 and sets *program to its full path, or a failure code and leaves it.
  virtual long FindProgram(std::u16string_view file_name, std::u16string_view folder,
                           std::u16string* program) = 0;

  // The running processes in a stable order (ascending process id); false when they cannot
  // be listed.
  virtual bool ListProcesses(std::vector<ProcessEntry>* processes) = 0;

  // Whether the process owns a visible window at or below the foreground window.
  virtual bool HasVisibleWindow(uint32_t pid) = 0;

  // Ends the process at once (exit code 0 where the platform has exit codes for it); false
  // when it cannot be ended. Never ends the calling process (the host) and never acts on ids
  // that would name a group of processes.
  virtual bool EndProcess(uint32_t pid) = 0;

  // Brings the first top-level window at or below the foreground window (in Z order) whose
  // class name contains `class_fragment` to the front: on top, moved to the screen position
  // (0, 0) with its size kept, the foreground window with the keyboard focus. False when there
  // is no such window, no window system, or it could not be made the foreground window.
  virtual bool BringMainWindowToFront(std::u16string_view class_fragment) = 0;
};

}  // namespace qnmuro

#endif  // QNMURO_PLATFORM_SHELL_H_
