#!/usr/bin/env bash
# Opening a handed-over draft the add-in's way, whole process: `qnmuro run` opens a document
# of COUNT bookmarks (one data field per paragraph, beside 200 tracked insertions) with its
# control file and a data source in a fresh work directory; the add-in prepares the draft,
# which merges every item into its bookmark. Twice: with a data source of COUNT items, one for
# every bookmark ("open"), and with one item, so that all bookmarks but the first stay as they
# are ("open-unfilled"). Both grow linearly with COUNT.
#   bench/open_bench.sh [QNMURO_BINARY] [RUNS] [COUNT...]     (default 5 runs; 1000 10000 50000)
# Prints per COUNT: RESULT open <count> <median s> <min s> <max s> <peak KiB>, and the same for
# open-unfilled, read by bench/run.sh. Exits 1 when a run fails or the merge did not fill the
# last item's bookmark (checked in one untimed run first).
set -euo pipefail
qnmuro=$(realpath "${1:-build/qnmuro}")
runs=${2:-5}
shift 2 || true
counts=("$@")
[ "${#counts[@]}" -gt 0 ] || counts=(1000 10000 50000)

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

# The draft, its data source and its control file.
# shellcheck source=big_draft.sh
source "$(cd "$(dirname "$0")" && pwd)/big_draft.sh"

# "median min max" of the numbers given.
spread() {
  printf "%s\n" "$@" | sort -g | awk '{ v[NR] = $1 }
    END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; print m, v[1], v[NR] }'
}

for n in "${counts[@]}"; do
 for kind in open open-unfilled; do
  work="$dir/$n"
  mkdir -p "$work/OAWork"
  items=$n
  [ "$kind" = open ] || items=1
  make_document "$n" > "$work/big.doc"
  make_data_source "$items" > "$work/OAWork/big.ds.xml"
  make_control > "$work/OAWork/big.xml"
  last=$((items - 1))
  printf '%s\n' "set-registry CurrentFile big.doc" "open big.doc" > "$work/open.run"
  # One run first, untimed, checks that the merge filled the last item's bookmark.
  cp "$work/big.doc" "$work/OAWork/big.doc"
  printf '%s\n' "show bookmarks" > "$work/check.run"
  cat "$work/open.run" "$work/check.run" > "$work/verify.run"
  QNMURO_WORKDIR="$work/OAWork" QNMURO_REGISTRY="$work/registry.reg" \
    "$qnmuro" run "$work/verify.run" > "$work/out" 2>&1 || { tail "$work/out"; exit 1; }
  grep -q "^BOOKMARK Field$last .*\"第${last}项的值\"" "$work/out" ||
    { echo "the merge did not fill Field$last:"; tail "$work/out"; exit 1; }
  times=()
  peak=0
  for _ in $(seq "$runs"); do
    cp "$work/big.doc" "$work/OAWork/big.doc"
    rm -f "$work/OAWork/comlog.txt"
    start=$EPOCHREALTIME
    QNMURO_WORKDIR="$work/OAWork" QNMURO_REGISTRY="$work/registry.reg" \
      /usr/bin/time -f "%M" -o "$work/time" "$qnmuro" run "$work/open.run" > "$work/out" 2>&1 ||
      { tail "$work/out"; exit 1; }
    end=$EPOCHREALTIME
    times+=("$(awk -v a="$start" -v b="$end" 'BEGIN{ printf "%.4f", b - a }')")
    kib=$(tail -n 1 "$work/time")
    [ "$kib" -gt "$peak" ] && peak=$kib
  done
  echo "RESULT $kind $n $(spread "${times[@]}") $peak"
  rm -rf "$work"
 done
done
