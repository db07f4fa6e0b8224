#!/usr/bin/env bash
# The clerk's session in LibreOffice Writer with a real window, driven by keyboard and mouse
# (xdotool) on a virtual display (Xvfb with openbox), the extension installed into a fresh
# profile, against the development OA server on 127.0.0.1:
#   a. a hand-over opens prepared: Writer's window shows notice.doc, the add-in logged its start
#      and the document's preparation, the add-in's bar (8 buttons) is the last toolbar of the
#      window's keyboard cycle, and the merged title and number are in the saved file;
#   b. text typed, Ctrl+S, Return on the question "是否要保存文档到服务器？": the server has the
#      new notice.doc with the typed text;
#   c. that Ctrl+S shows no other window than that question (no keep-format question);
#   d. a click on 返回OA系统 closes the document, and a second hand-over (ApproveDocument) given
#      to the same running Writer opens prepared again (logged, bar, merged);
#   e. Edit > Track Changes > Record under the approval lock asks for the password; cancelled,
#      recording stays on: the next save's file records the clerk's typing as an insertion;
#   f. a server that accepts and never answers: while the upload waits the pointer is busy; when
#      the transfer gives up a QNSoft box says that the document was kept and will be uploaded
#      later, and the pending upload is there.
#   tests/gui/writer_gui_test.sh QNMURO QNMURO_OXT
# One display and one Writer for a-f. Each failed check prints one FAIL line naming its step;
# the last line is "gui: N passed, M failed"; exit 1 when a check failed, 77 when a program the
# run needs is missing. Screenshots (step-NN-*.png) go to a folder that is printed and kept when
# a check failed (or QNMURO_GUI_KEEP=1), and removed otherwise.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
examples=$(cd "$here/../../examples" && pwd)
# shellcheck source=gui_lib.sh
source "$here/gui_lib.sh"
[ $# -eq 2 ] || { echo "usage: $0 QNMURO QNMURO_OXT" >&2; exit 2; }

missing=$(gui_tools_missing)
if [ -n "$missing" ]; then
  echo "gui: skipped, not installed: $missing"
  exit 77
fi

tmp=$(mktemp -d /tmp/qnmuro-gui.XXXXXX)
chmod 755 "$tmp"
shots="$tmp/shots"
work="$tmp/work" profile="$tmp/profile" files="$tmp/files" server_root="$tmp/server"
mkdir -p "$shots" "$files" "$server_root"
gui_give "$tmp/home" "$work" "$tmp/clerk"
stored="$server_root/documents/6F2A/notice.doc"
gui_env=(HOME="$tmp/home" LANG=C.UTF-8 LC_ALL=C.UTF-8 SAL_USE_VCLPLUGIN=gen
         QNMURO_WORKDIR="$work" QNMURO_REGISTRY="$tmp/clerk/registry.reg")

passed=0 failed=0
finished=0
finish() {  # ended|broken
  [ "$finished" = 1 ] && return
  finished=1
  gui_stop_all
  if [ "$failed" -gt 0 ] || [ "${QNMURO_GUI_KEEP:-0}" = 1 ] || [ "$1" = broken ]; then
    echo "gui: screenshots in $shots (the run's files in $tmp)"
  else
    rm -rf "$tmp"
  fi
}
trap 'finish broken' EXIT
trap 'exit 1' INT TERM

ok() {
  passed=$((passed + 1))
  echo "ok   $1: $2 ($((SECONDS - t_start)) s)"
}
fail() {
  failed=$((failed + 1))
  echo "FAIL $1: $2"
}
# A set-up that failed ends the run as one failed check.
abort() {
  fail setup "$1"
  finish ended
  echo "gui: $passed passed, $failed failed"
  exit 1
}
# check STEP WHAT CMD...: passes when CMD succeeds.
check() {
  local step=$1 what=$2
  shift 2
  if "$@"; then ok "$step" "$what"; else fail "$step" "$what"; fi
}
shot_number=0
shot() {
  shot_number=$((shot_number + 1))
  last_shot=$(printf '%s/step-%02d-%s.png' "$shots" "$shot_number" "$1")
  import -window root "$last_shot" 2> /dev/null
}
t_start=$SECONDS

# The build's files, copied once (another build may be replacing them: wait for a whole one).
fetch() {
  local from=$1 to=$2 probe=$3
  for _ in $(seq 120); do
    if cp "$from" "$to" 2> /dev/null && chmod 755 "$to" && $probe "$to" > /dev/null 2>&1; then
      return 0
    fi
    sleep 0.5
  done
  return 1
}
zip_ok() { python3 -m zipfile -t "$1"; }
help_ok() { "$1" help; }
fetch "$1" "$tmp/qnmuro" help_ok || abort "no usable $1 within 60 s"
fetch "$2" "$tmp/qnmuro.oxt" zip_ok || abort "no usable $2 within 60 s"
qnmuro="$tmp/qnmuro"

# The development OA server, and a listener that accepts and never answers.
"$qnmuro" oa-server --root "$server_root" --port 0 > "$tmp/oa-server.log" 2>&1 &
gui_pids+=("$!")
python3 "$here/gui_helper.py" silent-server > "$tmp/silent.port" 2> "$tmp/silent.log" &
gui_pids+=("$!")
for _ in $(seq 100); do
  grep -q serving "$tmp/oa-server.log" && [ -s "$tmp/silent.port" ] && break
  sleep 0.1
done
base=$(sed -n 's/.* on \(http:[^ ]*[0-9]\)\/.*/\1/p' "$tmp/oa-server.log" | head -n 1)
silent="http://127.0.0.1:$(head -n 1 "$tmp/silent.port")"
[ -n "$base" ] || abort "the OA server did not start: $(cat "$tmp/oa-server.log")"

# Control files as the OA side writes them, one per hand-over.
control() {  # ACTION SERVER
  sed -e "s|http://127.0.0.1:8080|$2|g" -e "s|<action>DraftDocument<|<action>$1<|" \
    "$examples/control.xml" > "$files/$1-${2##*:}.xml"
  echo "$files/$1-${2##*:}.xml"
}
cp "$examples/templates/notice.doc" "$examples/notice.ds.xml" "$files/"
chmod -R a+rX "$tmp/qnmuro.oxt" "$files"
handover() {  # CONTROL
  gui_clerk "$qnmuro" handover "$files/notice.doc" --name notice.doc --config "$1" \
    --datasource "$files/notice.ds.xml" > "$tmp/handover.log" 2>&1 ||
    echo "gui: the hand-over failed: $(cat "$tmp/handover.log")" >&2
}
comlog() { iconv -f GB18030 -t UTF-8 "$work/comlog.txt" 2> /dev/null; }
# shellcheck disable=SC1111 # the log's own quotation marks
opened() { comlog | grep -c "文档“$work/notice.doc”初始化完毕"; }

gui_start_display "$tmp" || abort "no virtual display could be started"
gui_profile "$profile" "$tmp/qnmuro.oxt" ||
  abort "unopkg could not install the extension: $(cat "$profile.unopkg.log")"
echo "gui: display $DISPLAY, OA server $base, silent server $silent, files in $tmp"

window='^notice\.doc - LibreOffice Writer'
# open_notice: the work folder's notice.doc in Writer (the running one, if any), waiting for its
# window and for one more preparation of it in the add-in's log.
open_notice() {
  local before
  before=$(opened)
  gui_start_writer "$profile" "$tmp/writer.log" "$work/notice.doc"
  gui_wait_window "$window" 90 || return 1
  for _ in $(seq 150); do
    [ "$(opened)" -gt "$before" ] && break
    sleep 0.2
  done
  sleep 1  # the bar and the merged text painted
  xdotool mousemove 5 600
  [ "$(opened)" -gt "$before" ]
}

# The add-in's bar, found from the keyboard: Shift+F6 from the document focuses the last toolbar
# of the window's cycle, which is the add-in's bar when it is there; Right moves along it until
# the highlight comes back to its first button. Sets bar_count and bar_x, bar_y (the first
# button's centre on screen, from the highlight's box).
band=1600x130+0+0  # menu bar and toolbars, above the page
# settled_band FILE [PREV]: a screenshot of the band, once it differs from PREV (when given) and
# has stopped changing.
settled_band() {
  local changed=${2:+no}
  import -window root -crop "$band" +repage "$1" 2> /dev/null
  for _ in $(seq 40); do
    if [ "$changed" = no ]; then
      [ -n "$(gui_changed "$2" "$1")" ] && changed=yes
    else
      sleep 0.15
      import -window root -crop "$band" +repage "$1.again.png" 2> /dev/null
      [ -z "$(gui_changed "$1" "$1.again.png")" ] && return 0
      mv "$1.again.png" "$1"
      continue
    fi
    sleep 0.15
    import -window root -crop "$band" +repage "$1" 2> /dev/null
  done
  [ "$changed" != no ]
}
probe_bar_once() {
  bar_count=0 bar_x="" bar_y=""
  local p="$tmp/probe" box w h x y k next_x
  xdotool key ctrl+F6
  sleep 0.5
  settled_band "$p-base.png"
  xdotool key shift+F6
  settled_band "$p-0.png" "$p-base.png" || return 1
  box=$(gui_changed "$p-base.png" "$p-0.png")
  echo "probe: first button $box" >> "$tmp/probe.log"
  IFS='x+' read -r w h x y <<< "$box"
  [ -n "$y" ] || return 1
  bar_x=$((x + w / 2)) bar_y=$((y + h / 2)) next_x=$((x + w))
  cp "$p-0.png" "$p-prev.png"
  for k in $(seq 16); do
    xdotool key Right
    settled_band "$p-k.png" "$p-prev.png" || break
    if [ -z "$(gui_changed "$p-0.png" "$p-k.png")" ]; then
      bar_count=$k
      break
    fi
    # Each Right highlights the next button: right beside the last one, in the same row.
    box=$(gui_changed "$p-base.png" "$p-k.png")
    echo "probe: Right $k: highlight $box" >> "$tmp/probe.log"
    IFS='x+' read -r w h x y <<< "$box"
    if [ -z "$x" ] || [ "$x" -lt "$((next_x - 6))" ] || [ "$x" -gt "$((next_x + 6))" ] ||
       [ "$((y + h / 2))" != "$bar_y" ]; then
      break
    fi
    next_x=$((x + w))
    cp "$p-k.png" "$p-prev.png"
  done
  xdotool key Escape
  sleep 0.3
  [ "$bar_count" -gt 0 ]
}
# Writer moves the focus back into a document it has just opened, now and then while a probe
# runs: a probe that saw the highlight go astray is made again.
probe_bar() {
  for _ in 1 2 3 4; do
    probe_bar_once && return 0
    echo "probe: again" >> "$tmp/probe.log"
    sleep 1
  done
  return 1
}
bar_is_there() {
  probe_bar
  [ "$bar_count" = 8 ] && [ -n "$bar_y" ]
}

# save_with_question STEP TEXT: types TEXT, presses Ctrl+S, and Return on the add-in's
# question; records every other window seen meanwhile in other_windows.
other_windows=""
save_with_question() {
  local step=$1 text=$2 end name
  other_windows=""
  xdotool type --delay 30 "$text"
  sleep 0.3
  xdotool key ctrl+s
  end=$((SECONDS + 30))
  while [ "$SECONDS" -le "$end" ]; do
    while IFS= read -r name; do
      case $name in
        QNSoft) shot "$step-question"; xdotool key Return; return 0 ;;
        notice.doc\ -\ *) ;;
        *)
          if ! grep -qxF "$name" <<< "$other_windows"; then
            other_windows+="$name"$'\n'
            shot "$step-unexpected-window"
            xdotool key Return  # its default, to go on
          fi
          ;;
      esac
    done < <(gui_windows)
    sleep 0.2
  done
  shot "$step-no-question"
  return 1
}
# uploaded TEXT [SECONDS]: the server's notice.doc holds TEXT.
uploaded() {
  local end=$((SECONDS + ${2:-30}))
  while [ "$SECONDS" -le "$end" ]; do
    [ -f "$stored" ] && python3 "$here/gui_helper.py" utf16 "$stored" "$1" && return 0
    sleep 0.3
  done
  return 1
}
# return_to_oa STEP: a click on the bar's first button (返回OA系统), Return on the question its
# close asks; the document's window goes.
return_to_oa() {
  [ -n "$bar_x" ] || return 1
  xdotool mousemove "$bar_x" "$bar_y" click 1
  sleep 0.3
  xdotool mousemove 5 600
  if gui_wait_window '^QNSoft$' 15; then
    shot "$1-return-question"
    xdotool key Return
  fi
  gui_wait_no_window "$window" 30
}

# --- a. the hand-over opens prepared -------------------------------------------------------
handover "$(control DraftDocument "$base")"
if open_notice; then
  shot a-opened
  ok a "the hand-over opens in Writer's window, and the add-in logs its start and prepares notice.doc"
else
  shot a-opened
  fail a "the hand-over: no prepared notice.doc within 90 s (windows: $(gui_windows | paste -sd'|'); log: $(comlog | tail -n 2 | paste -sd'|'); screenshot $last_shot)"
fi
comlog | grep -q 'WPS插件开始于' || fail a "comlog.txt has no start line of the add-in"
writer_pid=$(gui_writer_pid "$profile")
if bar_is_there; then
  ok a "the add-in's bar (8 buttons) is in Writer's window, first button at $bar_x,$bar_y"
else
  fail a "no toolbar of 8 buttons at the end of the window's keyboard cycle (found $bar_count buttons, first at ${bar_x:-?},${bar_y:-?}; screenshot $last_shot)"
fi

# --- b and c. Ctrl+S, Return on the question, the upload ------------------------------------
if save_with_question b QnmuroGuiTyped; then
  ok b "Ctrl+S asks 是否要保存文档到服务器？ in a QNSoft box"
else
  fail b "Ctrl+S showed no QNSoft question within 30 s (screenshot $last_shot)"
fi
check b "Return on the question uploads the document with the typed text" uploaded QnmuroGuiTyped
shot b-uploaded
if [ -z "$other_windows" ]; then
  ok c "Ctrl+S on the .doc showed no other window than the add-in's question (no keep-format question)"
else
  fail c "Ctrl+S showed another window before or beside the question: $(paste -sd'|' <<< "${other_windows%$'\n'}") (screenshots in $shots)"
fi
check a "the saved file has the merged title and document number" \
  eval 'uploaded 关于召开年度工作会议的通知 1 && uploaded "青办〔2026〕12号" 1'

# --- d. 返回OA系统, then a second hand-over in the same Writer ----------------------------------
if return_to_oa d; then
  ok d "a click on 返回OA系统 closes the document's window"
else
  shot d-return
  fail d "after a click on 返回OA系统 at ${bar_x:-?},${bar_y:-?} the document's window stays (windows: $(gui_windows | paste -sd'|'); screenshot $last_shot)"
fi
shot d-returned
handover "$(control ApproveDocument "$base")"
if open_notice; then
  ok d "the second hand-over (ApproveDocument) opens prepared again (the add-in logs a second preparation)"
else
  shot d-second
  fail d "the second hand-over: no new preparation of notice.doc logged within 30 s (windows: $(gui_windows | paste -sd'|'); log: $(comlog | tail -n 2 | paste -sd'|'); screenshot $last_shot)"
fi
shot d-approve-opened
now_pid=$(gui_writer_pid "$profile")
check d "the second hand-over went to the same running Writer (pid ${writer_pid:-none})" \
  test -n "$writer_pid" -a "$writer_pid" = "$now_pid"
if bar_is_there; then
  ok d "the add-in's bar (8 buttons) is in the second document's window"
else
  fail d "no toolbar of 8 buttons in the second document's window (found $bar_count; screenshot $last_shot)"
fi

# --- e. the approval lock: Record asks for the password; cancelled, recording stays on --------
xdotool key alt+e
sleep 0.5
xdotool key g  # Track Chan_ges
sleep 0.5
xdotool key r  # _Record
if gui_wait_window '^Enter Password$' 10; then
  shot e-password
  ok e "Edit > Track Changes > Record asks for the password"
  xdotool key Escape
  if gui_wait_window '^Information$' 3; then  # Writer's "Incorrect password" after a cancel
    shot e-after-cancel
    xdotool key Return
  fi
else
  shot e-no-password
  fail e "Edit > Track Changes > Record asked no password (windows: $(gui_windows | paste -sd'|'); screenshot $last_shot)"
  gui_windows | grep -qv "$window" && xdotool key Escape
fi
gui_wait_no_window '^(Enter Password|Information)$' 5
if save_with_question e QnmuroApproveTyped && uploaded QnmuroApproveTyped; then
  ok e "the approver's text is saved and uploaded"
else
  fail e "the approver's save did not reach the server (screenshot $last_shot)"
fi
[ -z "$other_windows" ] ||
  fail e "Ctrl+S showed another window beside the question: $(paste -sd'|' <<< "${other_windows%$'\n'}")"
shot e-uploaded
check d "the second hand-over's saved file has the merged title" uploaded 关于召开年度工作会议的通知 1
# The uploaded file read back in headless Writer through the add-in's own inspection.
mkdir -p "$tmp/clerk/check"
cp "$stored" "$tmp/clerk/check/approved.doc" 2> /dev/null
gui_give "$tmp/clerk/check"
printf 'open %s\nshow state\nshow revisions\n' "$tmp/clerk/check/approved.doc" > "$tmp/clerk/check.run"
chmod a+r "$tmp/clerk/check.run"
gui_env_saved=("${gui_env[@]}")
gui_env=(HOME="$tmp/home" LANG=C.UTF-8 QNMURO_WORKDIR="$tmp/clerk/check"
         QNMURO_REGISTRY="$tmp/clerk/check/none.reg")
gui_clerk timeout 120 "$qnmuro" run --host libreoffice "$tmp/clerk/check.run" > "$tmp/check.out" 2>&1
gui_env=("${gui_env_saved[@]}")
if grep -q '^REVISION insert author="张三.*QnmuroApproveTyped' "$tmp/check.out"; then
  ok e "recording is still on: the saved file records the approver's typing as an insertion"
else
  fail e "after the cancelled password the saved file does not record the typing as a tracked insertion: $(grep -E '^(DOCUMENT|REVISION)' "$tmp/check.out" | paste -sd'|' | cut -c1-300)"
fi

# --- f. a server that never answers ---------------------------------------------------------
return_to_oa f || fail f "the approver's document did not close on 返回OA系统 (screenshot $last_shot)"
handover "$(control DraftDocument "$silent")"
if ! open_notice; then
  shot f-opened
  fail f "the third hand-over did not open prepared (screenshot $last_shot)"
fi
xdotool mousemove 400 700  # over the page: Writer's own pointer there
sleep 0.3
idle_pointer=$(python3 "$here/gui_helper.py" pointer 2>&1)
if save_with_question f QnmuroStallTyped; then
  t_return=$SECONDS
  [ -z "$other_windows" ] ||
    fail f "Ctrl+S showed another window beside the question: $(paste -sd'|' <<< "${other_windows%$'\n'}")"
  sleep 3
  busy_pointer=$(python3 "$here/gui_helper.py" pointer "$tmp/pointer.pam" 2>&1)
  shot f-upload-waiting
  convert "$tmp/pointer.pam" -scale 400% "${last_shot%.png}-pointer.png" 2> /dev/null
  if [ "${busy_pointer%% *}" = busy ]; then
    ok f "while the upload waits the pointer is busy ($busy_pointer)"
  else
    fail f "while the upload waits the pointer is not a busy one: \"$busy_pointer\" (over the page before: \"$idle_pointer\"; its image ${last_shot%.png}-pointer.png)"
  fi
  if gui_wait_window '^QNSoft$' 90; then
    shot f-failure-box
    ok f "a QNSoft box appears $((SECONDS - t_return)) s after the upload began (its text: screenshot $last_shot)"
    xdotool key Return
    sleep 0.5
    check f "the log tells why: the upload gave up" eval 'comlog | grep -q "上传文件时发生错误"'
    if gui_clerk "$qnmuro" pending list 2> /dev/null | grep -q notice.doc; then
      ok f "the unsent document waits among the pending uploads, as the box says"
    else
      fail f "qnmuro pending list has no notice.doc after the failed upload"
    fi
  else
    shot f-no-box
    fail f "no QNSoft box within 90 s of the upload's start (windows: $(gui_windows | paste -sd'|'); Writer $(gui_writer_pid "$profile" > /dev/null && echo running || echo gone); log: $(comlog | tail -n 1); screenshot $last_shot)"
  fi
else
  fail f "Ctrl+S against the silent server asked no question (screenshot $last_shot)"
fi

echo "gui: $((SECONDS - t_start)) s"
finish ended
echo "gui: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
