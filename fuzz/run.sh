#!/usr/bin/env bash
# Builds the fuzz targets with clang, libFuzzer and the address and undefined-behaviour
# sanitizers (in build-fuzz/, apart from the normal build) and runs each for SECONDS.
#   fuzz/run.sh [SECONDS] [TARGET...]       (default 300 s each, every target)
# Prints one line per target and "fuzz: N passed, N failed"; exits 1 when any target found
# something. Findings land in build-fuzz/artifacts/<target>/, logs in build-fuzz/logs/; the
# corpus that grows is build-fuzz/corpus/<target> (the committed seeds in fuzz/corpus/ stay as
# they are). Targets run one after another at low priority, JOBS (default 2) compile jobs.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
shift || true
build=build-fuzz
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(base64_fuzz cipher_fuzz config_fuzz datasource_fuzz fodt_fuzz http_wire_fuzz
           oa_server_fuzz registry_fuzz script_fuzz upload_reply_fuzz url_fuzz)
fi

source scripts/packages.sh
command -v clang++ >/dev/null || install_packages clang
launcher=()
if command -v ccache > /dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
mkdir -p "$build"
cmake -S . -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQNMURO_FUZZ=ON -DQNMURO_SANITIZE=ON -DQNMURO_TESTS=OFF \
  "${launcher[@]}" > "$build/configure.log" 2>&1 || { cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j "${JOBS:-2}" --target "${targets[@]}" > "$build/build.log" 2>&1 ||
  { tail -40 "$build/build.log"; exit 1; }

passed=0
failed=0
mkdir -p "$build/logs"
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  artifacts="$build/artifacts/$target/"
  log="$build/logs/$target.log"
  mkdir -p "$corpus" "$artifacts"
  start=$(date +%s)
  status=0
  nice -n 10 "$build/$target" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2560 \
    -max_len=65536 -print_final_stats=1 -artifact_prefix="$artifacts" \
    "$corpus" "fuzz/corpus/$target" > "$log" 2>&1 || status=$?
  elapsed=$(( $(date +%s) - start ))
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || echo "?")
  if [ "$status" -eq 0 ]; then
    passed=$((passed + 1))
    echo "$target: ok, ${elapsed} s, ${runs} inputs, coverage ${cov}, corpus $(ls "$corpus" | wc -l)"
  else
    failed=$((failed + 1))
    found=$(grep -m1 -E 'ERROR: |SUMMARY: |deadly signal|timeout' "$log" || echo "exit $status")
    echo "$target: FOUND after ${elapsed} s: $found; input in $artifacts, log $log"
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
