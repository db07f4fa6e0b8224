#!/usr/bin/env bash
# The Windows build: cross-compiles the 32-bit (i686, the form the word processor loads) and
# 64-bit (x86_64) binaries with mingw-w64 and runs their tests under Wine, headless: the whole
# suite on x86_64, the COM server's tests on both.
#   scripts/windows.sh             install, build both, run the Windows tests
#   scripts/windows.sh --no-test   install and build only
# Builds go to build-win/<arch>/; the Wine prefix lives in build-win/wineprefix, never in ~/.wine.
# The Linux build (build/) provides the development OA server the transfer tests talk to.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
root=$PWD
run_tests=1
[ "${1:-}" = "--no-test" ] && run_tests=0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

# No i386 architecture and no 32-bit Wine: the i686 binaries are built and checked here, not
# run (docs/windows.md), and their type library imports the stdole2.tlb that wine64 ships.
windows_packages=(cmake ccache g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
                  mingw-w64-tools googletest libcli11-dev wine wine64 libwine-dev
                  locales wixl msitools)

# GoogleTest from Debian's source package, built once per architecture with the cross compiler.
build_googletest() {
  local arch=$1 prefix=$root/build-win/$1/googletest
  [ -f "$prefix/lib/cmake/GTest/GTestConfig.cmake" ] && return
  cmake -S /usr/src/googletest -B "$root/build-win/$arch/googletest-build" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_GMOCK=OFF -DCMAKE_CXX_COMPILER_LAUNCHER=ccache
  cmake --build "$root/build-win/$arch/googletest-build" -j2 --target install
}

build_arch() {
  local arch=$1
  build_googletest "$arch"
  cmake -S . -B "build-win/$arch" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" -DQNMURO_TESTS=ON \
    -DCMAKE_FIND_ROOT_PATH="$root/build-win/$arch/googletest" -DCMAKE_CXX_COMPILER_LAUNCHER=ccache
  # The COM server and its tests for both; the command and the whole suite on x86_64 only (the
  # portable code is the same for both bitnesses, and the package ships the 64-bit command).
  local targets=(QNMuroWPS qnmuro_com_tests qnmuro_com_road)
  [ "$arch" = x86_64 ] && targets+=(qnmuro qnmuro_tests)
  cmake --build "build-win/$arch" -j2 --target "${targets[@]}"
}

# Code page 936 for the tests: Wine takes the ANSI code page from LC_ALL.
ensure_locale() {
  locale -a 2>/dev/null | grep -qix 'zh_CN.utf8' && return
  $sudo sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen
  $sudo locale-gen
}

# dist/QNMuroWPS.msi from scripts/msi/ (both servers, qnmuro.exe, the add-in keys).
build_msi() {
  local version upgrade msi=dist/QNMuroWPS.msi
  version=$(sed -n 's/^project(qnmuro VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
  rm -f "$msi"
  wixl -a x64 -D Dist=dist -D "Version=$version" -I scripts/msi -o "$msi" scripts/msi/QNMuroWPS.wxs
  # wixl leaves the code page unset and cannot store Chinese text: set it, then put the
  # data-source class's description where the package has its marker.
  printf '\r\n\r\n936\t_ForceCodepage\r\n' >build-win/_ForceCodepage.idt
  msibuild "$msi" -i build-win/_ForceCodepage.idt
  LC_ALL=C.UTF-8 msibuild "$msi" -q "UPDATE \`Registry\` SET \`Value\` = \
'Word、WPS用来处理XML形式的数据源的一个类。' WHERE \`Value\` = 'QNMURO_DATASOURCE_TEXT'"
  # A new build of the same version replaces the installed one (wixl's upgrade row stops below
  # it), so the DLLs are never left at an earlier build's.
  upgrade=$(sed -n 's/.*UpgradeCode="\([0-9A-F-]*\)".*/\1/p' scripts/msi/QNMuroWPS.wxs)
  msibuild "$msi" -q "DELETE FROM \`Upgrade\` WHERE \`ActionProperty\` = 'WIX_UPGRADE_DETECTED'" \
    -q "INSERT INTO \`Upgrade\` (\`UpgradeCode\`, \`VersionMax\`, \`Attributes\`, \
\`ActionProperty\`) VALUES ('{$upgrade}', '$version', 513, 'WIX_UPGRADE_DETECTED')"
  # What wixl cannot write: the load keys' components by ADDIN_SCOPE (the machine's by default,
  # the installing user's with ADDIN_SCOPE=user); the identity key ("+": created if absent,
  # left at uninstall, it holds the OA client's values); and the rights of the machine's users
  # on it and on the work directory, as SDDL with well-known SIDs (SY system, BA
  # administrators, BU users; 0x1301bf modify, 0x2001f read, set values and make subkeys),
  # protected from the rights of the folders above.
  # A removal takes both (the property is not remembered; Wine's installer, unlike Windows',
  # applies a component's condition at removal too).
  msibuild "$msi" \
    -q "UPDATE \`Component\` SET \`Condition\` = 'ADDIN_SCOPE<>\"user\" OR REMOVE~=\"ALL\"' \
WHERE \`Component\` = 'AddInKeysMachine'" \
    -q "UPDATE \`Component\` SET \`Condition\` = 'ADDIN_SCOPE=\"user\" OR REMOVE~=\"ALL\"' \
WHERE \`Component\` = 'AddInKeys'" \
    -q "INSERT INTO \`Registry\` (\`Registry\`, \`Root\`, \`Key\`, \`Name\`, \`Component_\`) \
VALUES ('IdentityKey', 2, 'SOFTWARE\\zuzozer\\web', '+', 'IdentityKey')"
  local folder_rights='D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1301bf;;;BU)'
  local key_rights='D:PAI(A;CI;KA;;;SY)(A;CI;KA;;;BA)(A;CI;0x2001f;;;BU)'
  printf '%s\r\n' "MsiLockPermissionsEx	LockObject	Table	SDDLText	Condition" \
    "s72	s72	s32	l0	S255" "MsiLockPermissionsEx	MsiLockPermissionsEx" \
    "WorkDirUsers	WorkDir	CreateFolder	$folder_rights	" \
    "IdentityKeyUsers	IdentityKey	Registry	$key_rights	" >build-win/MsiLockPermissionsEx.idt
  msibuild "$msi" -i build-win/MsiLockPermissionsEx.idt
  echo "windows.sh: $msi built"
}

export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root} CCACHE_DIR=${CCACHE_DIR:-$root/build-win/.ccache}
install_packages "${windows_packages[@]}"
start=$SECONDS
for arch in i686 x86_64; do build_arch "$arch"; done
echo "windows.sh: built both in $((SECONDS - start)) s"
# The i686 type library must describe a 32-bit server (SYSKIND 1, SYS_WIN32, in the low bits
# of the MSFT header's flags at byte 20).
syskind=$(( $(od -An -tu4 -j20 -N4 build-win/i686/com/qnmurowps.tlb) & 15 ))
[ "$syskind" = 1 ] || {
  echo "windows.sh: build-win/i686/com/qnmurowps.tlb has SYSKIND $syskind, not 1 (32-bit)"
  exit 1
}

# dist/: the two servers and the 64-bit command, without debugging information, the install
# script and the package QNMuroWPS.msi (docs/msi.md).
mkdir -p dist/x86 dist/x64
i686-w64-mingw32-strip -o dist/x86/QNMuroWPS.dll build-win/i686/QNMuroWPS.dll
x86_64-w64-mingw32-strip -o dist/x64/QNMuroWPS.dll build-win/x86_64/QNMuroWPS.dll
x86_64-w64-mingw32-strip -o dist/x64/qnmuro.exe build-win/x86_64/qnmuro.exe
cp scripts/install_windows.cmd dist/install.cmd
build_msi
[ "$run_tests" = 1 ] || exit 0

ensure_locale
# The transfer tests talk to the Linux build's development OA server.
[ -x build/qnmuro ] || bash scripts/setup.sh
exec bash scripts/windows_tests.sh
