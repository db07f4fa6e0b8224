#!/usr/bin/env bash
# The clerk's draft session (examples/open_notice.run on the handed-over notice, DraftDocument)
# through `qnmuro run`, whole process, on the simulated word processor and in LibreOffice
# Writer, and what of Writer's time is its own: Writer started and stopped with nothing done,
# and started, the notice opened and closed with no hand-over (the add-in leaves it alone).
# Then, as a clerk sees it, Writer with a window (tests/gui/gui_lib.sh: Xvfb with openbox, a
# fresh profile each run): from soffice's start until the handed-over notice is on screen
# prepared with the extension (qnmuro.oxt beside the binary), beside the same notice opened
# without it. Screenshots every 0.1 s from the start; the notice is "on screen" from the first
# screenshot after which the screen stays as it finally settles (bar, merged text; the caret's
# blink aside).
# Then a draft of BOOKMARKS bookmarks that its data source fills at the hand-over (the draft of
# bench/open_bench.sh), the whole merge in Writer, beside Writer's own load of the same draft:
# opened and closed with no hand-over. Target: the merge within twice Writer's own load.
#   bench/writer_bench.sh [QNMURO_BINARY] [RUNS] [GUI_RUNS] [BOOKMARKS]
#                                            (default 5 runs, 3 GUI runs, 1000 bookmarks)
# Prints RESULT <what> <median s> <min s> <max s> for: sim, writer, writer-start,
# writer-start-load, writer-merge, writer-merge-load, writer-gui-plain, writer-gui-addin (the
# last two only where a display can be made and the extension is built); read by bench/run.sh.
# Exits 1 when a run fails or the merge did not fill the last bookmark.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
qnmuro=$(realpath "${1:-build/qnmuro}")
runs=${2:-5}
gui_runs=${3:-3}
bookmarks=${4:-1000}
examples="$here/../examples"
# shellcheck source=../examples/example_env.sh
source "$examples/example_env.sh"
# shellcheck source=../tests/gui/gui_lib.sh
source "$here/../tests/gui/gui_lib.sh"
# shellcheck source=big_draft.sh
source "$here/big_draft.sh"
trap 'gui_stop_all; kill "$server_pid" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT

cp "$examples/docmarkline.bmp" "$QNMURO_WORKDIR/"
"$qnmuro" run "$examples/make_notice.run" > /dev/null
cp "$QNMURO_WORKDIR/notice.doc" "$work/template.doc"
printf 'show documents\n' > "$work/start.run"
printf 'open notice.doc\nclose\n' > "$work/load.run"

spread() {
  printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END {
    m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; print m, v[1], v[NR] }'
}

# measure NAME REGISTRY ARGS...: RUNS whole-process runs from a fresh copy of the notice.
measure() {
  local name=$1 registry=$2
  shift 2
  local times=()
  for _ in $(seq "$runs"); do
    cp "$work/template.doc" "$QNMURO_WORKDIR/notice.doc"
    cp "$examples/notice.ds.xml" "$QNMURO_WORKDIR/notice.ds.xml"
    sed -e "s|http://127.0.0.1:8080|$base|g" "$examples/control.xml" > "$QNMURO_WORKDIR/notice.xml"
    local start=$EPOCHREALTIME
    QNMURO_REGISTRY="$registry" "$qnmuro" run "$@" > "$work/out" 2>&1 || {
      cat "$work/out"
      exit 1
    }
    local end=$EPOCHREALTIME
    times+=("$(awk -v a="$start" -v b="$end" 'BEGIN{ printf "%.4f", b - a }')")
  done
  echo "RESULT $name $(spread "${times[@]}")"
}

measure sim "$QNMURO_REGISTRY" "$examples/open_notice.run"
measure writer "$QNMURO_REGISTRY" --host libreoffice "$examples/open_notice.run"
# No hand-over in this registry: the add-in is connected but leaves the notice alone.
measure writer-start "$work/none.reg" --host libreoffice "$work/start.run"
measure writer-start-load "$work/none.reg" --host libreoffice "$work/load.run"

# The draft of BOOKMARKS bookmarks in a work folder of its own; each run from a fresh copy and
# a fresh registry. The merge: handed over (CurrentFile set), opened, the add-in prepares it.
big="$work/big"
mkdir -p "$big/work"
make_document "$bookmarks" > "$big/big.doc"
make_data_source "$bookmarks" > "$big/work/big.ds.xml"
make_control > "$big/work/big.xml"
printf '%s\n' "set-registry CurrentFile big.doc" "open big.doc" > "$big/merge.run"
printf '%s\n' "open big.doc" "close" > "$big/load.run"
# run_big SCRIPT: one whole-process run in Writer, its output in $big/out.
run_big() {
  cp "$big/big.doc" "$big/work/big.doc"
  rm -f "$big/registry.reg" "$big/work/comlog.txt"
  QNMURO_WORKDIR="$big/work" QNMURO_REGISTRY="$big/registry.reg" \
    "$qnmuro" run --host libreoffice "$1" > "$big/out" 2>&1 || { cat "$big/out"; exit 1; }
}
# One run first, untimed, checks that the merge filled the last bookmark.
cat "$big/merge.run" > "$big/verify.run"
printf 'show bookmarks\n' >> "$big/verify.run"
run_big "$big/verify.run"
last=$((bookmarks - 1))
grep -q "^BOOKMARK Field$last .*\"第${last}项的值\"" "$big/out" ||
  { echo "the merge in Writer did not fill Field$last:"; tail "$big/out"; exit 1; }
# measure_big NAME SCRIPT: RUNS runs; big_spread holds "median min max".
measure_big() {
  local name=$1 script=$2 times=()
  for _ in $(seq "$runs"); do
    local start=$EPOCHREALTIME
    run_big "$script"
    local end=$EPOCHREALTIME
    times+=("$(awk -v a="$start" -v b="$end" 'BEGIN{ printf "%.4f", b - a }')")
  done
  big_spread=$(spread "${times[@]}")
  echo "RESULT $name $big_spread"
}
measure_big writer-merge "$big/merge.run"
read -r merge_median _ <<< "$big_spread"
measure_big writer-merge-load "$big/load.run"
read -r load_median _ <<< "$big_spread"
awk -v m="$merge_median" -v l="$load_median" -v n="$bookmarks" 'BEGIN{
  printf "the merge of %d bookmarks in Writer takes %.2f times Writer'"'"'s own load of the draft (target: 2)\n",
    n, m / l }'

# Writer with a window, plain and with the extension, runs alternating.
oxt="$(dirname "$qnmuro")/qnmuro.oxt"
missing=$(gui_tools_missing)
if [ -n "$missing" ] || [ ! -f "$oxt" ]; then
  echo "no timing with a window: ${missing:+not installed: $missing}${missing:+; }$([ -f "$oxt" ] || echo "no $oxt")"
  exit 0
fi
gui="$work/gui"
mkdir -p "$gui"
chmod 755 "$work" "$gui"
cp "$oxt" "$gui/qnmuro.oxt"
cp "$qnmuro" "$gui/qnmuro"
cp "$work/template.doc" "$examples/notice.ds.xml" "$gui/"
sed -e "s|http://127.0.0.1:8080|$base|g" "$examples/control.xml" > "$gui/notice.xml"
chmod a+rx "$gui"/*
gui_start_display "$gui" || { echo "no virtual display could be started"; exit 1; }
# gui_run plain|addin: gui_time, the seconds from soffice's start to the notice settled on screen.
gui_run() {
  local run="$gui/run" ready
  rm -rf "$run"
  mkdir -p "$run"
  chmod 755 "$run"
  gui_give "$run/home" "$run/work"
  gui_env=(HOME="$run/home" LANG=C.UTF-8 LC_ALL=C.UTF-8 SAL_USE_VCLPLUGIN=gen
           QNMURO_WORKDIR="$run/work" QNMURO_REGISTRY="$run/work/registry.reg")
  if [ "$1" = addin ]; then
    gui_profile "$run/profile" "$gui/qnmuro.oxt" || { cat "$run/profile.unopkg.log"; return 1; }
    gui_clerk "$gui/qnmuro" handover "$gui/template.doc" --name notice.doc \
      --config "$gui/notice.xml" --datasource "$gui/notice.ds.xml" || return 1
  else
    gui_profile "$run/profile"
    # the profile made as unopkg makes it for the other runs, without the extension
    gui_clerk unopkg list "-env:UserInstallation=file://$run/profile" > /dev/null 2>&1
    cp "$gui/template.doc" "$run/work/notice.doc"
    gui_give "$run/work"
  fi
  local start=$EPOCHREALTIME
  gui_start_writer "$run/profile" "$run/writer.log" "$run/work/notice.doc"
  if [ "$1" = addin ]; then
    ready=$(python3 "$here/../tests/gui/gui_helper.py" screen-ready "$start" \
      "$run/work/comlog.txt" "初始化完毕")
  else
    ready=$(python3 "$here/../tests/gui/gui_helper.py" screen-ready "$start")
  fi || return 1
  if [ "${QNMURO_GUI_KEEP:-0}" = 1 ]; then  # the settled screen, to look at
    import -window root "${TMPDIR:-/tmp}/qnmuro-gui-bench-$1-$(date +%H%M%S).png"
  fi
  gui_stop_group "$gui_writer_group"
  read -r _ gui_time _ <<< "$ready"
}
plain_times=() addin_times=()
for _ in $(seq "$gui_runs"); do
  gui_run plain || { echo "Writer with a window: a plain run failed"; exit 1; }
  plain_times+=("$gui_time")
  gui_run addin || { echo "Writer with a window: a run with the extension failed"; exit 1; }
  addin_times+=("$gui_time")
done
echo "RESULT writer-gui-plain $(spread "${plain_times[@]}")"
echo "RESULT writer-gui-addin $(spread "${addin_times[@]}")"
