#!/usr/bin/env bash
# Runs the Windows test suites (32- and 64-bit) under Wine, headless, with code page 936.
# Expects scripts/windows.sh to have built build-win/<arch>/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

export WINEPREFIX=$root/build-win/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LC_ALL=zh_CN.UTF-8
unset DISPLAY WAYLAND_DISPLAY

# A new prefix (32- and 64-bit) with the null graphics driver, so windows need no display.
if [ ! -f "$WINEPREFIX/.qnmuro-ready" ]; then
  rm -rf "$WINEPREFIX"
  wineboot -u
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null
  wineserver -w
  touch "$WINEPREFIX/.qnmuro-ready"
fi
wineserver -k 2>/dev/null || true
wineserver -p
trap 'wineserver -k 2>/dev/null || true' EXIT

status=0
for arch in i686 x86_64; do
  exe=build-win/$arch/qnmuro_tests.exe
  [ -f "$exe" ] || { echo "windows_tests.sh: $exe is missing (run scripts/windows.sh --no-test)"; exit 1; }
  echo "== $arch =="
  start=$SECONDS
  wine "$exe" --gtest_brief=1 || status=1
  echo "== $arch: $((SECONDS - start)) s =="
done
exit $status
