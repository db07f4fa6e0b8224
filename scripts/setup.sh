#!/usr/bin/env bash
# Installs what the build needs (Debian 12 packages) and builds into build/.
#   scripts/setup.sh           the qnmuro command only (what `qnmuro demo` needs)
#   scripts/setup.sh --tests   also GoogleTest, LibreOffice Writer with its SDK (the Writer host
#                              and its tests) and the test suite
# QNMURO_NO_WRITER=1 leaves LibreOffice out (the Writer host is then not built).
# BUILD_DIR (default build) names the build folder, CMAKE_ARGS adds options to its configuration.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
build="${BUILD_DIR:-build}"

tests=OFF
[ "${1:-}" = "--tests" ] && tests=ON

packages=(build-essential cmake pkg-config libxml2-dev libcurl4-openssl-dev libssl-dev
          libcpp-httplib-dev libcli11-dev ca-certificates)
[ "$tests" = ON ] && packages+=(googletest libgtest-dev openssl curl time)
# Writer with its window (the headless tests need one text font to lay out pages; the clerk's
# GUI suite a virtual display, a window manager, keystrokes, screenshots and Chinese fonts).
[ "$tests" = ON ] && [ -z "${QNMURO_NO_WRITER:-}" ] &&
  packages+=(libreoffice-writer libreoffice-dev fonts-dejavu-core xvfb openbox xdotool
             x11-utils imagemagick fonts-noto-cjk python3 libxfixes3)
install_packages "${packages[@]}"

# A build folder that already has the tests keeps them: a later plain setup does not drop them.
if [ "$tests" = OFF ] && grep -q '^QNMURO_TESTS:BOOL=ON' "$build/CMakeCache.txt" 2>/dev/null; then
  tests=ON
fi
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" -DQNMURO_TESTS="$tests" \
  ${CMAKE_ARGS:-}
if [ "$tests" = ON ]; then
  cmake --build "$build" -j"$(nproc)"
else
  cmake --build "$build" -j"$(nproc)" --target qnmuro
fi
