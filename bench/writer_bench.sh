#!/usr/bin/env bash
# The clerk's draft session (examples/open_notice.run on the handed-over notice, DraftDocument)
# through `qnmuro run`, whole process, on the simulated word processor and in LibreOffice
# Writer, and what of Writer's time is its own: Writer started and stopped with nothing done,
# and started, the notice opened and closed with no hand-over (the add-in leaves it alone).
#   bench/writer_bench.sh [QNMURO_BINARY] [RUNS]          (default 5 runs)
# Prints RESULT <what> <median s> <min s> <max s> for: sim, writer, writer-start,
# writer-start-load; read by bench/run.sh. Exits 1 when a run fails.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
qnmuro=$(realpath "${1:-build/qnmuro}")
runs=${2:-5}
examples="$here/../examples"
# shellcheck source=../examples/example_env.sh
source "$examples/example_env.sh"
trap 'kill "$server_pid" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT

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
