#!/usr/bin/env bash
# Builds the whole suite from scratch with AddressSanitizer (leaks included) and
# UndefinedBehaviorSanitizer into build-san/ and runs every test. Any report fails the run:
# every report ends its process with SIGABRT, which no test expects of a qnmuro it starts;
# AddressSanitizer's reports are written to build-san/sanitizer-reports/, and the output of every
# test is searched for UndefinedBehaviorSanitizer's (its runtime here writes them to standard
# error whatever log_path says); all are printed at the end.
#   scripts/sanitize.sh            build from scratch, then test
#   scripts/sanitize.sh --no-clean keep what build-san/ holds (a rebuild after a change)
set -euo pipefail
cd "$(dirname "$0")/.."

build=build-san
[ "${1:-}" = "--no-clean" ] || rm -rf "$build"
# The Writer host runs in the plain leg: the office's own libraries are not instrumented. The
# save rounds and fault scenarios run their own share here; the plain leg runs them in full.
BUILD_DIR="$build" CMAKE_ARGS="-DQNMURO_SANITIZE=ON -DQNMURO_LIBREOFFICE=OFF -DQNMURO_LONG_TESTS=OFF ${CMAKE_ARGS:-}" \
  bash scripts/setup.sh --tests

reports="$PWD/$build/sanitizer-reports"
rm -rf "$reports"
mkdir -p "$reports"
# Halt at the first report of either sanitizer (the build also makes UBSan's checks fatal).
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:log_path=$reports/asan"
export UBSAN_OPTIONS="halt_on_error=1:abort_on_error=1:print_stacktrace=1"

status=0
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" || status=1
grep -E -B2 -A20 "runtime error:|ERROR: (Address|Leak)Sanitizer" \
  "$build/Testing/Temporary/LastTest.log" > "$reports/from-test-output" || true
[ -s "$reports/from-test-output" ] || rm -f "$reports/from-test-output"
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
