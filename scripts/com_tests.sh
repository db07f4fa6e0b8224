# The COM server's tests for one bitness, sourced by scripts/windows_tests.sh (which provides
# check, suite, $scratch and the Wine environment):
#   - regsvr32 registers QNMuroWPS.dll, and regsvr32 /u leaves the registry as it found it;
#   - DllInstall writes the add-in keys (regsvr32 /n /i) and removes them (regsvr32 /n /u /i);
#   - JScript and VBScript under cscript use both classes by ProgID; a C++ client reads the type
#     library and calls the classes by name;
#   - the simulated word processor, as an automation server, loads the add-in and runs a clerk's
#     session through it, with the same transcript as with the add-in linked in.
# cscript exits 0 even when a script dies: each script ends with the line "ALL PASSED" and
# WScript.Quit with its failure count, and both are checked.

# Wine's built-in programs (cscript, reg) of the DLL's bitness.
com_wine() {
  if [ "$com_arch" = x86_64 ]; then /usr/lib/wine/wine64 "$@"; else wine "$@"; fi
}

com_export() {  # FILE: the keys registration and DllInstall touch
  com_wine reg export 'HKLM\Software\Classes' "Z:$1.classes" /y >/dev/null &&
    com_wine reg export 'HKCU\Software' "Z:$1.user" /y >/dev/null &&
    cat "$1.classes" "$1.user" >"$1" && rm -f "$1.classes" "$1.user"
}

com_registry_unchanged() {  # BEFORE AFTER
  if ! cmp -s "$1" "$2"; then
    echo "the registry differs after unregistering:"
    diff <(iconv -f UTF-16LE -t UTF-8 "$1") <(iconv -f UTF-16LE -t UTF-8 "$2") | head -20
    return 1
  fi
}

com_registered() {
  local key
  for key in 'HKCR\QNMuroWPS.WPSaddin\CurVer' 'HKCR\QNMuroWPS.DataSource.1\CLSID' \
             'HKCR\CLSID\{EF5A77E0-3A03-44E5-ADEA-FB4143C175D9}\InprocServer32'; do
    com_wine reg query "$key" >/dev/null || { echo "missing: $key"; return 1; }
  done
  com_wine reg query 'HKCR\CLSID\{EF5A77E0-3A03-44E5-ADEA-FB4143C175D9}\InprocServer32' \
    /v ThreadingModel | grep -q Apartment
}

com_addin_keys() {
  com_wine reg query 'HKCU\Software\Microsoft\Office\Word\Addins\QNMuroWPS.WPSaddin' \
    /v LoadBehavior | grep -q '0x3'
}

com_script() {  # SCRIPT ARGS...: passes when its last line is ALL PASSED and it quit with 0
  local out=$scratch/com-script.out status=0
  timeout 120 env QNMURO_WORKDIR="$com_work" \
    "$([ "$com_arch" = x86_64 ] && echo /usr/lib/wine/wine64 || echo wine)" cscript //nologo \
    "Z:$root/tests/com/$1" "${@:2}" >"$out" 2>&1 || status=$?
  iconv -f GBK -t UTF-8 <"$out" || cat "$out"
  [ "$(tr -d '\r' <"$out" | tail -1)" = "ALL PASSED" ] && [ "$status" = 0 ]
}

com_server_tests() {
  com_arch=$1
  local dll="Z:$root/build-win/$1/QNMuroWPS.dll" data="Z:$root/examples"
  local state=$scratch/com-registry
  com_work="Z:$scratch/com-$1"
  mkdir -p "$scratch/com-$1"
  # cscript registers its own type library the first time it runs in a prefix: let it do so
  # before the registry is compared.
  printf 'WScript.Echo("ALL PASSED");\n' >"$scratch/com-warm-up.js"
  com_wine cscript //nologo "Z:$scratch/com-warm-up.js" >/dev/null 2>&1 || true
  com_export "$state.before" || { check "$1 registry export" false; return; }
  check "$1 regsvr32" wine regsvr32 /s "$dll"
  check "$1 classes registered" com_registered
  check "$1 data_source.js" com_script data_source.js "$data/notice.ds.xml" "$com_work"
  check "$1 data_source.vbs" com_script data_source.vbs "$data/notice.ds.xml" "$com_work"
  check "$1 addin.js" com_script addin.js echo
  QNMURO_COM_DLL="$dll" QNMURO_COM_DATA="$data" QNMURO_WORKDIR="$com_work" \
    suite "build-win/$1/qnmuro_com_tests.exe"
  # The word processor loads the add-in and a clerk's session runs through COM against the
  # development OA server (QNMURO_OA_SERVER, QNMURO_OA_ROOT).
  QNMURO_COM_DATA="$data" QNMURO_WORKDIR="$com_work" suite "build-win/$1/qnmuro_com_road.exe"
  # Where the 32-bit server cannot run, the 64-bit client reads the type library embedded in
  # it: the same names, order, parameters and help strings.
  if [ "$1" = x86_64 ] && [ "$wine32" = 0 ]; then
    QNMURO_COM_DLL="Z:$root/build-win/i686/QNMuroWPS.dll" filter="TypeLibraryTest.*" \
      suite "build-win/x86_64/qnmuro_com_tests.exe"
  fi
  check "$1 regsvr32 /n /i (add-in keys)" wine regsvr32 /s /n /i "$dll"
  check "$1 add-in keys written" com_addin_keys
  check "$1 regsvr32 /n /u /i" wine regsvr32 /s /n /u /i "$dll"
  check "$1 regsvr32 /u" wine regsvr32 /s /u "$dll"
  com_export "$state.after" && check "$1 registry as before" \
    com_registry_unchanged "$state.before" "$state.after"
  # dist/install.cmd (both DLLs) and its /uninstall, once, with the 64-bit views in the export.
  # It registers the 32-bit server first, so it needs a machine that runs 32-bit programs.
  if [ "$1" = x86_64 ] && [ "$wine32" = 0 ]; then
    echo "install.cmd: NOT run: it registers the 32-bit server, and this machine runs no 32-bit programs"
  elif [ "$1" = x86_64 ] && [ -f dist/install.cmd ]; then
    check "install.cmd" wine cmd /c "Z:$root/dist/install.cmd"
    check "install.cmd: add-in keys" com_addin_keys
    check "install.cmd: classes" com_registered
    check "install.cmd /uninstall" wine cmd /c "Z:$root/dist/install.cmd" /uninstall
    com_export "$state.uninstalled" && check "install.cmd /uninstall: registry as before" \
      com_registry_unchanged "$state.before" "$state.uninstalled"
  fi
}
