#!/usr/bin/env bash
# Builds the whole suite from scratch with AddressSanitizer (leaks included) and
# UndefinedBehaviorSanitizer into build-san/ and runs every test. Any report fails the run, also
# one from a qnmuro process that a test starts and whose exit status the test does not look
# at: every report is written to build-san/sanitizer-reports/ and printed at the end.
#   scripts/sanitize.sh            build from scratch, then test
#   scripts/sanitize.sh --no-clean keep what build-san/ holds (a rebuild after a change)
set -euo pipefail
cd "$(dirname "$0")/.."

build=build-san
[ "${1:-}" = "--no-clean" ] || rm -rf "$build"
BUILD_DIR="$build" CMAKE_ARGS="-DQNMURO_SANITIZE=ON ${CMAKE_ARGS:-}" bash scripts/setup.sh --tests

reports="$PWD/$build/sanitizer-reports"
rm -rf "$reports"
mkdir -p "$reports"
# Halt at the first report of either sanitizer (the build also makes UBSan's checks fatal).
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:log_path=$reports/asan"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:log_path=$reports/ubsan"
export LSAN_OPTIONS="log_path=$reports/lsan"

status=0
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" || status=1
if [ -n "$(ls -A "$reports")" ]; then
  for report in "$reports"/*; do
    echo "== $report"
    cat "$report"
  done
  echo "sanitize: sanitizer reports above" >&2
  status=1
fi
[ "$status" -eq 0 ] && echo "sanitize: every test passed without a sanitizer report"
exit "$status"
