// Running scripts of user actions against the simulated word processor (`qnmuro run`).
//
// ## Script language
//
// A script is UTF-8 text, one command per line. Words are separated by blanks (spaces or
// tabs); double quotes group a word that holds blanks (`""` is an empty word); a backslash
// escapes `\"`, `\\`, `\r`, `\n` and `\t`, inside quotes and out. `#` outside quotes starts a
// comment that runs to the end of the line; blank lines are ignored. Relative paths are taken
// in the work directory (`QNMURO_WORKDIR`, default `~/OAWork`).
//
// The whole script is checked before anything runs: an unknown command, a wrong number of
// arguments or a malformed argument prints `line N: reason` on standard error and the run
// exits with status 2. A failure that the host reports while the script runs (a missing
// bookmark, a wrong password, a cancelled close, ...) prints `HOST-ERROR <number>
// <description>` and the script goes on. A script that runs to its end exits with status 0.
//
// The run starts the host, connects every add-in, runs the commands, then disconnects the
// add-ins that are still connected. The clock is virtual: it starts at the current time and
// only moves with `clock` and `wait`.
//
// Documents and editing (on the active document and its selection):
//
//   open PATH                       open a file (raises the document-open event)
//   new                             a new empty document
//   activate NAME                   make the open document NAME (file name without folder) active
//   type TEXT                       type at the selection (replacing a selected span)
//   select START END                select characters START to END (positions from 0)
//   select-bookmark NAME            select a bookmark's span
//   bookmark NAME                   add (or move) a bookmark over the selection
//   picture FILE NAME WIDTH HEIGHT  insert a floating picture where the selection is shown,
//                                   WIDTH x HEIGHT points, and name it
//   save                            save (raises before-save)
//   save-as PATH                    save under another name
//   close                           close (the unsaved-changes question may be asked)
//
// Host and add-in:
//
//   click CAPTION                   click the first visible button with this caption on any
//                                   command bar (add-in bars first); a disabled one prints
//                                   `DISABLED <caption>`, a missing one is a host error
//   menu BAR POPUP ITEM             choose a menu item, e.g.
//                                   menu "Menu Bar" 插入(&I) 文件(&L)...
//                                   (a disabled one prints `DISABLED <popup>/<item>`)
//   define-macro NAME               define a host macro; running it prints `MACRO NAME`
//   set-registry NAME VALUE         write a text value under the add-in's registry key
//   disconnect                      disconnect the add-ins now
//   clock YYYY-MM-DDTHH:MM:SS       set the clock (local time, 1970 to 2261; no timer fires)
//   wait DURATION                   let time pass (`90s`, `59m`, `2h`), firing due timers;
//                                   the clock stops at 2261-12-31T23:59:59
//
// Answers for the boxes to come, queued per kind and taken in order; a box that finds none
// takes its default (message box: its first button; input box, file dialog, form: cancel) and
// its transcript line ends with ` (default)`:
//
//   answer ok|yes|no|cancel         the next message box
//   input TEXT / input-cancel       the next input box
//   pick-file PATH / pick-file-cancel          the next file dialog
//   pick-template BODYTYPE TEMPLATE            the next form: BODYTYPE in its combo box,
//                                              TEMPLATE in its list box, then "确定"
//   pick-seal NAME                             the next form: NAME in its combo box, then "确定"
//   pick-template-cancel / pick-seal-cancel    the next form: "取消"
//
// The pick-template and pick-seal answers share one queue: the next form takes the next of
// them. A form still open after "确定" (it refused the choice) is cancelled.
//
// Inspection:
//
//   show text         TEXT <document>: <text>
//   show bookmarks    BOOKMARK <name> <start> <end> "<text>"        (per bookmark, in order)
//   show shapes       SHAPE <name> left=<l> top=<t> width=<w> height=<h> visible=<0|1>
//                     behind-text=<0|1>                              (per picture; points)
//   show revisions    REVISION <insert|delete> author="<a>" "<text>"
//   show state        DOCUMENT <name> saved=<0|1> protection=<type> track=<0|1>
//                     show-revisions=<0|1> print-revisions=<0|1>
//                     USER name="<n>" initials="<i>"
//   show toolbar      TOOLBAR <name> visible=<0|1>: <caption>[<face>] ...   (per add-in bar,
//                     its visible controls) or TOOLBAR none
//   show documents    DOCUMENTS <count>: <names>
//   show settings     SETTING <name> <value>   (ShowDrawings, ShowBackground, DrawingObjects,
//                     WindowState, UserControl)
//   show menu         MENU <popup>/<item> enabled=<0|1>   (工具(&T)/选项(&E)... and
//                     插入(&I)/文件(&L)...)
//
// ## Transcript
//
// Standard output gets one line per event as it happens, UTF-8, with CR and LF inside texts
// written `\r` and `\n`; a box without a title shows the application title `QNMuroWPS`:
//
//   MSGBOX [<title>] <icon> <buttons>: <text> => <answer>
//   INPUTBOX [<title>] <prompt> => "<text>"      or  => (cancel)
//   DIALOG [<caption>] => "<path>"               (file dialog)
//   DIALOG [<caption>] => "<choice>" ...         (form)  or  => (cancel)
//   MACRO <name>
//   DISABLED <caption>                           (click or menu on a disabled control)
//   HOST-ERROR <number> <description>
//
// icon is one of none information question critical exclamation; buttons one of ok ok-cancel
// yes-no yes-no-cancel; answer one of ok cancel yes no.
#ifndef QNMURO_SIMHOST_SCRIPT_RUNNER_H_
#define QNMURO_SIMHOST_SCRIPT_RUNNER_H_

#include <functional>
#include <iosfwd>
#include <memory>
#include <string_view>
#include <vector>

#include "common/context.h"
#include "host/host.h"
#include "platform/clock.h"
#include "simhost/script_host.h"
#include "simhost/sim_host.h"

namespace qnmuro::simhost {

// Creates one add-in for a run. `services` holds the run's UI, clock and work directory and
// the services the caller put into ScriptRunOptions::services; it stays valid until the add-in
// is destroyed. The add-in owns whatever else it needs (its shared state). Returning null
// connects nothing.
using AddInFactory = std::function<std::unique_ptr<host::AddIn>(const Context& services)>;

// Starts the host that a run drives, with the run's UI, clock and work directory; it may raise
// an error when the host cannot start.
using HostFactory = std::function<std::unique_ptr<ScriptHost>(const SimHostOptions& options)>;

struct ScriptRunOptions {
  // The work directory: relative paths, new documents. Must exist.
  std::u16string work_dir;
  // Transcript and script errors; both must be set.
  std::ostream* out = nullptr;
  std::ostream* err = nullptr;
  // Where the virtual clock starts.
  TimePoint start_time;
  // Services for the add-ins (registry, shell, http; `set-registry` writes to `registry`,
  // and fails as a host error without one). The runner fills in ui, clock and workDir.
  Context services;
  // The add-ins to connect, in order.
  std::vector<AddInFactory> add_ins;
  // The host; empty: the simulated word processor.
  HostFactory host;
};

// Parses and runs a script. Returns 0 when it ran to its end, host errors included; 2 when it
// does not parse (the reason written to `err` as "line N: reason"; nothing runs, no add-in is
// created); 1 when the host does not start (the reason written to `err`).
int RunScript(std::string_view script, const ScriptRunOptions& options);

}  // namespace qnmuro::simhost

#endif  // QNMURO_SIMHOST_SCRIPT_RUNNER_H_
