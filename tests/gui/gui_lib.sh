# shellcheck shell=bash
# Sourced by tests/gui/writer_gui_test.sh and bench/writer_bench.sh: a virtual display with a
# window manager, the clerk's commands run as an ordinary user, fresh Writer profiles, Writer
# started in a process group of its own, screenshots and window look-ups. Defines functions and
# the arrays below; sets no trap (the caller's trap calls gui_stop_all). Safe under set -eu.

gui_pids=()      # processes started here (Xvfb, openbox, servers): gui_stop_all ends them
gui_groups=()    # process groups of the Writers started here
gui_env=()       # NAME=VALUE for every clerk command (HOME, the add-in's variables, ...)

# The programs a GUI run needs that are not installed, on one line.
gui_tools_missing() {
  local tool absent=()
  for tool in Xvfb openbox xdotool import convert xdpyinfo xprop soffice unopkg setsid python3; do
    command -v "$tool" > /dev/null || absent+=("$tool")
  done
  [ "$(id -u)" = 0 ] && ! command -v setpriv > /dev/null && absent+=(setpriv)
  echo "${absent[*]}"
}

# gui_start_display LOGDIR: Xvfb (1600x1000, no TCP) on the first free display from :57, then
# openbox on it, waiting until the window manager has taken the screen; exports DISPLAY. A
# display that does not come up whole (a busy machine) is ended and the next one tried, three
# times at most.
gui_start_display() {
  local logdir=$1 n pid wm try
  for try in 1 2 3; do
    pid=""
    for n in $(seq $((57 + 10 * (try - 1))) 150); do
      [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
      Xvfb ":$n" -screen 0 1600x1000x24 -nolisten tcp > "$logdir/xvfb.log" 2>&1 &
      pid=$!
      for _ in $(seq 300); do
        kill -0 "$pid" 2> /dev/null || break
        DISPLAY=":$n" xdpyinfo > /dev/null 2>&1 && break
        sleep 0.1
      done
      if kill -0 "$pid" 2> /dev/null && DISPLAY=":$n" xdpyinfo > /dev/null 2>&1; then
        break
      fi
      kill "$pid" 2> /dev/null || true
      wait "$pid" 2> /dev/null || true
      pid=""  # another server took the number first: the next one
    done
    [ -n "$pid" ] || return 1
    export DISPLAY=":$n"
    openbox > "$logdir/openbox.log" 2>&1 &
    wm=$!
    for _ in $(seq 300); do
      if xprop -root _NET_SUPPORTING_WM_CHECK 2> /dev/null | grep -q 'window id'; then
        gui_pids+=("$pid" "$wm")
        return 0
      fi
      kill -0 "$wm" 2> /dev/null || break
      sleep 0.1
    done
    echo "gui: display :$n did not come up with its window manager (try $try)" >&2
    kill "$wm" "$pid" 2> /dev/null || true
    wait "$wm" "$pid" 2> /dev/null || true
  done
  return 1
}

# gui_clerk CMD...: runs CMD as the clerk, with gui_env: as user nobody when root (unopkg
# refuses a user installation as root), every folder it writes given to that user.
gui_clerk() {
  if [ "$(id -u)" = 0 ]; then
    setpriv --reuid=65534 --regid=65534 --clear-groups env "${gui_env[@]}" "$@"
  else
    env "${gui_env[@]}" "$@"
  fi
}

# gui_give DIR...: makes the folders the clerk's (nobody's, when root).
gui_give() {
  mkdir -p "$@"
  if [ "$(id -u)" = 0 ]; then chown -R 65534:65534 "$@"; fi
  return 0
}

# gui_profile PROFILE [OXT]: a fresh Writer profile without the first start's tip of the day
# and what's-new bar, with the extension OXT installed into it by unopkg as the clerk.
gui_profile() {
  local profile=$1 oxt=${2:-}
  mkdir -p "$profile/user"
  cat > "$profile/user/registrymodifications.xcu" << 'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="ShowTipOfTheDay" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="FirstRun" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Setup/Product"><prop oor:name="ooSetupLastVersion" oor:op="fuse"><value>99.0</value></prop></item>
</oor:items>
EOF
  gui_give "$profile"
  [ -z "$oxt" ] && return 0
  # Never cut unopkg short: a stale lock in the profile stops the next Writer start.
  gui_clerk unopkg add "-env:UserInstallation=file://$profile" "$oxt" > "$profile.unopkg.log" 2>&1
}

# gui_start_writer PROFILE LOG ARG...: starts soffice as the clerk in a process group of its own
# (ended by gui_stop_all); a running Writer of the same profile takes ARG... over and this one
# returns at once. Sets gui_writer_group.
gui_start_writer() {
  local profile=$1 log=$2
  shift 2
  if [ "$(id -u)" = 0 ]; then
    setsid setpriv --reuid=65534 --regid=65534 --clear-groups env "${gui_env[@]}" \
      soffice "-env:UserInstallation=file://$profile" --nologo "$@" >> "$log" 2>&1 &
  else
    setsid env "${gui_env[@]}" soffice "-env:UserInstallation=file://$profile" --nologo "$@" \
      >> "$log" 2>&1 &
  fi
  gui_writer_group=$!
  gui_groups+=("$gui_writer_group")
}

# gui_writer_pid PROFILE: the soffice.bin of that profile, if one runs.
gui_writer_pid() {
  local pid
  for pid in $(pgrep -x soffice.bin); do
    tr '\0' '\n' < "/proc/$pid/cmdline" 2> /dev/null | grep -qxF -e "-env:UserInstallation=file://$1" &&
      echo "$pid" && return 0
  done
  return 1
}

# gui_stop_group PGID: ends a Writer's process group, politely, then not.
gui_stop_group() {
  kill -TERM -- "-$1" 2> /dev/null || return 0
  for _ in $(seq 30); do
    kill -0 -- "-$1" 2> /dev/null || return 0
    sleep 0.1
  done
  kill -KILL -- "-$1" 2> /dev/null || true
}

# Ends every Writer and process started here, newest first.
gui_stop_all() {
  local i
  for i in "${gui_groups[@]}"; do gui_stop_group "$i"; done
  for ((i = ${#gui_pids[@]} - 1; i >= 0; i--)); do kill "${gui_pids[i]}" 2> /dev/null || true; done
  for i in "${gui_pids[@]}"; do wait "$i" 2> /dev/null || true; done
  gui_groups=() gui_pids=()
}

# The names of the visible windows, one a line.
gui_windows() {
  local id
  for id in $(xdotool search --onlyvisible --name '' 2> /dev/null); do
    xdotool getwindowname "$id" 2> /dev/null
  done | grep -v -e '^$' -e '^Openbox$'
}

# gui_wait_window REGEX SECONDS: waits for a visible window whose name matches.
gui_wait_window() {
  local end=$((SECONDS + $2))
  while [ "$SECONDS" -le "$end" ]; do
    gui_windows | grep -qE "$1" && return 0
    sleep 0.2
  done
  return 1
}

# gui_wait_no_window REGEX SECONDS: waits until no visible window's name matches.
gui_wait_no_window() {
  local end=$((SECONDS + $2))
  while [ "$SECONDS" -le "$end" ]; do
    gui_windows | grep -qE "$1" || return 0
    sleep 0.2
  done
  return 1
}

# gui_changed A B [GEOMETRY]: prints the bounding box WxH+X+Y of what differs between two
# screenshots (within GEOMETRY, default everything), nothing when they are the same.
gui_changed() {
  local box
  box=$(convert "$1" "$2" ${3:+-crop "$3" +repage} -compose difference -composite \
    -threshold 5% -format '%@' info: 2> /dev/null)
  case $box in 0x0* | "") ;; *) echo "$box" ;; esac
}
