#!/usr/bin/env bash
# Every benchmark in one command: builds in release mode (build-bench/, apart from the normal
# build), runs the simulated word processor's, the merge's and the data source's benchmarks,
# the opening of a handed-over draft through `qnmuro run` and the transfer comparison with
# curl, the clerk's draft session in Writer beside the simulated word processor, Writer with its
# window from its start to the handed-over notice on screen (plain and with the extension), and
# prints each median beside its target and, for the transfers, beside curl measured in the same
# run.
#   bench/run.sh [RUNS] [SIZE_MIB]      (default 5 runs, transfers of 256 MiB)
# Spreads are min-max over RUNS. The load average before and after says whether the machine
# was busy; medians taken at a load near or above the number of cores are not comparable.
# Exits 1 when a benchmark failed or a median missed its target (marked MISSED).
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-5}
size_mib=${2:-256}
build=build-bench

launcher=()
if command -v ccache > /dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
mkdir -p "$build"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DQNMURO_BENCH=ON -DQNMURO_TESTS=OFF \
  "${launcher[@]}" > "$build/configure.log" 2>&1 || { cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j "${JOBS:-2}" --target qnmuro simhost_bench merge_bench datasource_bench \
  > "$build/build.log" 2>&1 || { tail -40 "$build/build.log"; exit 1; }
if [ -f "$build/libqnmuro_lohost.a" ]; then  # the extension, for Writer with a window
  cmake --build "$build" -j "${JOBS:-2}" --target qnmuro_oxt >> "$build/build.log" 2>&1 ||
    { tail -40 "$build/build.log"; exit 1; }
fi

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
model=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//')
echo "$(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores ($model), $(awk '/MemTotal/ { printf "%.0f GiB", $2 / 1048576 }' /proc/meminfo)"
echo "load average before: $load_before"
echo
printf "%-58s %10s  %-21s %9s %8s\n" "benchmark" "median" "spread (min-max)" "target" "of it"

# The targets: benchmark name (as Google Benchmark prints it) and milliseconds.
target_of() {
  case $1 in
    BM_DataMerge) echo 200 ;;
    BM_Open | BM_Save) echo 500 ;;
    BM_MergeDataSource/10000) echo 300 ;;
    *) echo "" ;;
  esac
}
describe() {
  case $1 in
    BM_DataMerge) echo "simhost: replace 10,000 bookmarks as a merge does" ;;
    BM_Open) echo "simhost: open the 10,000-bookmark document" ;;
    BM_Save) echo "simhost: save the 10,000-bookmark document" ;;
    BM_MergeDataSource/*) echo "MergeDataSource, ${1#*/} items into as many bookmarks" ;;
    BM_LoadAndLookUpEveryDesc/*) echo "data source: load + one lookup per item, ${1#*/} items" ;;
    BM_LookUpEveryDesc/*) echo "data source: lookups alone, ${1#*/} items" ;;
    *) echo "$1" ;;
  esac
}

# Google Benchmark's CSV rows of each repetition ("name",iterations,real_time,... in ms), less
# its aggregates and complexity fits.
failed=0
for bench in simhost_bench merge_bench datasource_bench; do
  "$build/$bench" --benchmark_repetitions="$runs" --benchmark_format=csv > "$build/$bench.csv" \
    2> "$build/$bench.err" || failed=1
  grep -v -E '_(mean|median|stddev|cv|BigO|RMS)"|^name,' "$build/$bench.csv" | grep '^"' |
    awk -F, '{ gsub(/"/, "", $1); sub(/\/iterations:[0-9]+/, "", $1); sub(/\/repeats:[0-9]+/, "", $1)
               print $1, $3 }' | sort -k1,1V -k2,2g |
    awk '{ n[$1]++; v[$1, n[$1]] = $2; if (!($1 in order)) { order[$1] = ++k; names[k] = $1 } }
         END { for (i = 1; i <= k; i++) { b = names[i]; c = n[b]
               m = (c % 2) ? v[b, (c + 1) / 2] : (v[b, c / 2] + v[b, c / 2 + 1]) / 2
               print b, m, v[b, 1], v[b, c], c } }' > "$build/$bench.summary"
  while read -r name median low high count; do
    target=$(target_of "$name")
    share=""
    if [ -n "$target" ]; then
      share=$(awk -v m="$median" -v t="$target" 'BEGIN{ printf "%.0f %%", 100 * m / t }')
      if awk -v m="$median" -v t="$target" 'BEGIN{ exit !(m > t) }'; then
        share="$share MISSED"
        failed=1
      fi
      target="$target ms"
    fi
    printf "%-58s %7.1f ms  %-21s %9s %8s\n" "$(describe "$name")" "$median" \
      "$(printf "%.1f-%.1f ms, %d runs" "$low" "$high" "$count")" "${target:--}" "${share:--}"
  done < "$build/$bench.summary"
done

echo
echo "opening a handed-over draft through qnmuro run, whole process (bookmarks merged from as many items):"
bench/open_bench.sh "$build/qnmuro" "$runs" 1000 10000 50000 > "$build/open.txt" 2>&1 || {
  cat "$build/open.txt"
  failed=1
}
# Targets for the largest draft only; the smaller ones show how close to linear it grows.
rm -f "$build/open.growth"
while read -r _ _ n median low high kib; do
  time_target="" mem_target=""
  [ "$n" = 50000 ] && time_target=2000 && mem_target=200
  for what in time memory; do
    if [ "$what" = time ]; then
      value=$(awk -v s="$median" 'BEGIN{ printf "%.1f", s * 1000 }')
      shown=$(printf "%7.1f ms" "$value")
      range=$(awk -v a="$low" -v b="$high" -v r="$runs" 'BEGIN{ printf "%.1f-%.1f ms, %d runs", a * 1000, b * 1000, r }')
      target=$time_target unit=ms
    else
      value=$(awk -v k="$kib" 'BEGIN{ printf "%.1f", k / 1024 }')
      shown=$(printf "%6.1f MiB" "$value")
      range="peak of $runs runs"
      target=$mem_target unit=MiB
    fi
    share=""
    if [ -n "$target" ]; then
      share=$(awk -v m="$value" -v t="$target" 'BEGIN{ printf "%.0f %%", 100 * m / t }')
      if awk -v m="$value" -v t="$target" 'BEGIN{ exit !(m > t) }'; then
        share="$share MISSED"
        failed=1
      fi
      target="$target $unit"
    fi
    printf "%-58s %10s  %-21s %9s %8s\n" "open draft, $(printf "%'d" "$n") bookmarks: $what" "$shown" \
      "$range" "${target:--}" "${share:--}"
  done
  echo "$n $median $kib" >> "$build/open.growth"
done < <(grep '^RESULT open ' "$build/open.txt")
[ -f "$build/open.growth" ] && awk 'NR > 1 {
    printf "growth from %d to %d bookmarks (x%.0f): time x%.1f, peak memory x%.1f\n",
      n, $1, $1 / n, $2 / t, $3 / k }
  { n = $1; t = $2; k = $3 }' "$build/open.growth"
# The same drafts with a data source that fills only the first bookmark.
grep '^RESULT open-unfilled ' "$build/open.txt" | awk -v r="$runs" '{
    printf "%-58s %7.1f ms  %-21s\n", sprintf("open draft, %d bookmarks, one filled: time", $3),
      $4 * 1000, sprintf("%.1f-%.1f ms, %d runs", $5 * 1000, $6 * 1000, r)
    if (n) printf "growth from %d to %d bookmarks (x%.0f): time x%.1f\n", n, $3, $3 / n, $4 / t
    n = $3; t = $4 }'

echo
echo "transfers of $size_mib MiB against the development OA server, curl doing the same requests:"
bench/transfer_bench.sh "$build/qnmuro" "$size_mib" "$runs" > "$build/transfer.txt" 2>&1 || {
  cat "$build/transfer.txt"
  failed=1
}
printf "%-34s %10s  %-21s %9s %-17s %s\n" "transfer (time)" "qnmuro" "spread (min-max)" "curl" \
  "spread" "qnmuro/curl"
for direction in download upload; do
  read -r _ _ _ q_med q_min q_max _ < <(grep "^RESULT $direction qnmuro" "$build/transfer.txt")
  read -r _ _ _ c_med c_min c_max _ < <(grep "^RESULT $direction curl" "$build/transfer.txt")
  label=$direction
  [ "$direction" = upload ] && label="upload and its confirmation"
  awk -v l="$label" -v m="$size_mib" -v q="$q_med" -v ql="$q_min" -v qh="$q_max" -v c="$c_med" \
    -v cl="$c_min" -v ch="$c_max" 'BEGIN{
      printf "%-34s %8.3f s  %-21s %7.3f s %-17s %.2f\n", l, q, sprintf("%.3f-%.3f s", ql, qh), c,
        sprintf("(%.3f-%.3f)", cl, ch), q / c }'
done
grep -o "peak [0-9.]* MiB" "$build/transfer.txt" | paste -sd' ' |
  awk '{ printf "peak memory: download curl %s, qnmuro %s; upload curl %s, qnmuro %s MiB\n", $2, $5, $8, $11 }'

echo
if [ -f "$build/libqnmuro_lohost.a" ]; then
  echo "the clerk's draft session through qnmuro run, whole process (examples/open_notice.run):"
  bench/writer_bench.sh "$build/qnmuro" "$runs" > "$build/writer.txt" 2>&1 || {
    cat "$build/writer.txt"
    failed=1
  }
  read -r _ _ sim_med sim_min sim_max < <(grep "^RESULT sim " "$build/writer.txt")
  read -r _ _ lo_med lo_min lo_max < <(grep "^RESULT writer " "$build/writer.txt")
  read -r _ _ start_med _ _ < <(grep "^RESULT writer-start " "$build/writer.txt")
  read -r _ _ load_med _ _ < <(grep "^RESULT writer-start-load " "$build/writer.txt")
  awk -v sm="$sim_med" -v sl="$sim_min" -v sh="$sim_max" -v lm="$lo_med" -v ll="$lo_min" \
    -v lh="$lo_max" -v st="$start_med" -v ld="$load_med" -v r="$runs" 'BEGIN{
      printf "%-58s %8.3f s  %-21s\n", "simulated word processor", sm, sprintf("%.3f-%.3f s, %d runs", sl, sh, r)
      printf "%-58s %8.3f s  %-21s\n", "LibreOffice Writer", lm, sprintf("%.3f-%.3f s, %d runs", ll, lh, r)
      printf "of which Writer started and stopped: %.3f s (%.0f %%); with the notice opened and closed: %.3f s (%.0f %%)\n",
        st, 100 * st / lm, ld, 100 * ld / lm }'
  # A draft of 1,000 bookmarks merged at its hand-over, beside Writer's own load of it.
  if grep -q "^RESULT writer-merge " "$build/writer.txt"; then
    read -r _ _ wm_med wm_min wm_max < <(grep "^RESULT writer-merge " "$build/writer.txt")
    read -r _ _ wl_med _ _ < <(grep "^RESULT writer-merge-load " "$build/writer.txt")
    awk -v m="$wm_med" -v l="$wm_min" -v h="$wm_max" -v ld="$wl_med" 'BEGIN{
      printf "%-58s %8.3f s  %-21s %9s %8s\n", "Writer: 1,000 bookmarks merged at the hand-over", m,
        sprintf("%.3f-%.3f s", l, h), sprintf("%.3f s", 2 * ld), sprintf("%.0f %%", 50 * m / ld) }'
  fi
  # Writer with a window: soffice's start to the handed-over notice settled on screen.
  if grep -q "^RESULT writer-gui-addin " "$build/writer.txt"; then
    read -r _ _ gp_med gp_min gp_max < <(grep "^RESULT writer-gui-plain " "$build/writer.txt")
    read -r _ _ ga_med ga_min ga_max < <(grep "^RESULT writer-gui-addin " "$build/writer.txt")
    awk -v pm="$gp_med" -v pl="$gp_min" -v ph="$gp_max" -v am="$ga_med" -v al="$ga_min" \
      -v ah="$ga_max" 'BEGIN{
        printf "%-58s %8.3f s  %-21s\n", "Writer with a window: the notice on screen, plain", pm, sprintf("%.3f-%.3f s", pl, ph)
        printf "%-58s %8.3f s  %-21s\n", "Writer with a window: the handed-over notice prepared", am, sprintf("%.3f-%.3f s", al, ah)
        printf "the extension adds %.3f s before the clerk sees the prepared notice\n", am - pm }'
  else
    grep "^no timing with a window" "$build/writer.txt" || true
  fi
else
  echo "(no Writer host in this build: the Writer session is not timed)"
fi

echo
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg) ($(nproc) cores)"
exit "$failed"
