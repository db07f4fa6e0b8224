# The Windows package's tests, sourced by scripts/windows_tests.sh after scripts/com_tests.sh
# (which provide check, $scratch, com_export, com_registry_unchanged, com_registered,
# com_addin_keys and com_script), on the 64-bit side:
#   - msiexec /i dist/QNMuroWPS.msi /qn, as a roll-out runs it: the files, both servers' classes
#     in their own registry views, the add-in's load keys for every user (HKLM, the 32-bit view)
#     and none for the installing user, the identity key made and the rights of the machine's
#     users on it and the work directory in the package; qnmuro.exe runs, writes and clears
#     CurrentFile, and its health check passes; the 64-bit server's classes load by ProgID
#     under cscript; the rows are the ones the DLL's own registration writes;
#   - msiexec /x: the registry is as it was before installing, and the files are gone;
#   - ADDIN_SCOPE=user: the load keys for the installing user instead, and gone again at /x.
# The 32-bit server is installed and its rows checked, but not loaded where the machine runs no
# 32-bit programs. Wine keeps no access lists: the rights are checked in the package, not used.

msi_c() {  # the prefix's Linux path of a file on its C: drive
  printf '%s' "$WINEPREFIX/drive_c/$1"
}

# The installer makes its own bookkeeping keys the first time it installs anything, and its
# removal of a 32-bit class takes the then empty 32-bit CLSID key with it (a 64-bit-only prefix
# has no other 32-bit classes): a small package that does both runs first.
msi_warm_up() {
  local dir=$scratch/msi-warm-up
  mkdir -p "$dir"
  cat >"$dir/warm.wxs" <<'EOF'
<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="QNMuroWarmUp" Manufacturer="QNMuroWPS" Version="1.0" Language="1033"
           UpgradeCode="7C58D835-BD75-47B3-BF8E-13E67797295D">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"/>
    <Directory Id="TARGETDIR" Name="SourceDir"/>
    <DirectoryRef Id="TARGETDIR">
      <Component Id="Warm" Guid="242EEFF5-3649-48D7-AD61-1B32091834C8" Win64="no">
        <RegistryValue Root="HKCR" Key="CLSID\{8E34898C-3958-450F-8DF8-CC39652CBFC4}"
                       Type="string" Value="QNMuroWarmUp" KeyPath="yes"/>
      </Component>
    </DirectoryRef>
    <Feature Id="Warm" Level="1"><ComponentRef Id="Warm"/></Feature>
  </Product>
</Wix>
EOF
  (cd "$dir" && wixl -a x64 -o warm.msi warm.wxs) &&
    com_wine msiexec /i "Z:$dir/warm.msi" /qn && com_wine msiexec /x "Z:$dir/warm.msi" /qn
}

# present: the three files and the work directory; absent: the folder gone, and the work
# directory only there if it was before installing (it stays when it holds anything).
msi_installed_files() {  # present|absent
  local f
  if [ "$1" = absent ]; then
    [ ! -e "$(msi_c "Program Files/QNMuroWPS")" ] ||
      { echo "left behind: C:/Program Files/QNMuroWPS"; return 1; }
    [ ! -d "$(msi_c OAWork)" ] || [ "$msi_work_before" = 1 ] ||
      { echo "left behind: C:/OAWork"; return 1; }
    return 0
  fi
  for f in "Program Files/QNMuroWPS/x86/QNMuroWPS.dll" "Program Files/QNMuroWPS/x64/QNMuroWPS.dll" \
           "Program Files/QNMuroWPS/qnmuro.exe"; do
    [ -f "$(msi_c "$f")" ] || { echo "missing: C:/$f"; return 1; }
  done
  [ -d "$(msi_c OAWork)" ] || { echo "missing: C:/OAWork"; return 1; }
}

# Each server's class in its own view, pointing at its own file.
msi_both_views() {
  local key='HKCR\CLSID\{D254544F-ABC6-4D4E-810E-8C328BF6B946}\InprocServer32' view arch
  for view in 32 64; do
    arch=$([ "$view" = 32 ] && echo x86 || echo x64)
    com_wine reg query "$key" /ve "/reg:$view" | grep -qi "QNMuroWPS\\\\$arch\\\\QNMuroWPS\\.dll" ||
      { echo "$key (/reg:$view) does not name the $arch server"; return 1; }
  done
}

# The package's rows are the DLL's own: registering the installed 64-bit server over them (and
# writing the add-in keys again) changes nothing.
# regsvr32 straight after msiexec has once failed in a new prefix under Wine (and passed on
# the next run): a failing registration says how it ended and gets one more try.
msi_register() {  # ARGS...
  local status=0
  com_wine regsvr32 "$@" || status=$?
  [ "$status" = 0 ] && return
  echo "(regsvr32 $* ended with status $status: once more)"
  sleep 2
  com_wine regsvr32 "$@"
}

msi_addin_key='Software\Microsoft\Office\Word\Addins\QNMuroWPS.WPSaddin'

msi_values() {  # ROOT [/reg:32]: the value lines of the add-in's load key
  com_wine reg query "$1\\$msi_addin_key" "${@:2}" 2>/dev/null | grep REG_ | tr -d '\r' | sort
}

# The classes are the DLL's own: registering the installed 64-bit server over them changes
# nothing; and the load keys for every user are the ones `regsvr32 /n /i` writes for one.
msi_rows_as_registration() {
  local dll='C:\Program Files\QNMuroWPS\x64\QNMuroWPS.dll' machine user
  com_export "$scratch/msi.rows" || { echo "msi rows: the export failed"; return 1; }
  msi_register /s "$dll" || { echo "msi rows: regsvr32 failed"; return 1; }
  com_export "$scratch/msi.registered" || { echo "msi rows: the second export failed"; return 1; }
  com_registry_unchanged "$scratch/msi.rows" "$scratch/msi.registered" ||
    { echo "(the package's rows, then the DLL's registration over them)"; return 1; }
  machine=$(msi_values HKLM /reg:32)
  msi_register /s /n /i "$dll" || { echo "msi rows: regsvr32 /n /i failed"; return 1; }
  user=$(msi_values HKCU)
  msi_register /s /u /n /i "$dll" || { echo "msi rows: regsvr32 /u /n /i failed"; return 1; }
  [ -n "$machine" ] && [ "$machine" = "$user" ] ||
    { printf 'machine keys:\n%s\nuser keys:\n%s\n' "$machine" "$user"; return 1; }
}

# For every user: the machine's load keys in the 32-bit view, none for the installing user.
msi_machine_wide() {
  msi_values HKLM /reg:32 | grep -q 'LoadBehavior.*0x3' ||
    { echo "no load keys under HKLM (32-bit view)"; return 1; }
  ! com_addin_keys || { echo "load keys written for the installing user"; return 1; }
}

msi_per_user() {
  com_addin_keys || { echo "no load keys for the installing user"; return 1; }
  [ -z "$(msi_values HKLM /reg:32)" ] || { echo "load keys under HKLM"; return 1; }
}

# The identity key in the 32-bit view, and the users' rights on it and the work directory.
msi_identity_and_rights() {
  com_wine reg query 'HKLM\SOFTWARE\zuzozer\web' /reg:32 >/dev/null 2>&1 ||
    { echo "no identity key"; return 1; }
  msiinfo export dist/QNMuroWPS.msi MsiLockPermissionsEx >"$scratch/msi.rights" || return 1
  grep -q $'^WorkDirUsers\tWorkDir\tCreateFolder\t.*(A;OICI;0x1301bf;;;BU)' "$scratch/msi.rights" &&
    grep -q $'^IdentityKeyUsers\tIdentityKey\tRegistry\t.*(A;CI;0x2001f;;;BU)' "$scratch/msi.rights" ||
    { cat "$scratch/msi.rights"; return 1; }
}

# The installed qnmuro.exe, as the clerk: writes and clears CurrentFile, and finds all well.
msi_clerk() {
  local exe out=$scratch/msi-doctor.out
  exe=$(msi_c "Program Files/QNMuroWPS/qnmuro.exe")
  com_wine "$exe" registry set CurrentFile a.doc && com_wine "$exe" registry set CurrentFile '' &&
    com_wine reg query 'HKLM\SOFTWARE\zuzozer\web' /v CurrentFile /reg:32 | tr -d '\r' |
    grep -Eq 'CurrentFile +REG_SZ *$' || { echo "CurrentFile not written and cleared"; return 1; }
  env -u QNMURO_WORKDIR -u QNMURO_REGISTRY /usr/lib/wine/wine64 "$exe" doctor >"$out" 2>&1 ||
    { cat "$out"; return 1; }
}

# Once under Wine the first script after msiexec did not start at all (Wine's launcher:
# "ShellExecuteEx" failed, before any class was asked for): such a script gets one more try.
msi_script() {
  com_script "$@" && return
  grep -q ShellExecuteEx "$scratch/com-script.out" || return 1
  echo "(the script did not start: once more)"
  sleep 2
  com_script "$@"
}

msi_tests() {
  local msi="Z:$root/dist/QNMuroWPS.msi" start=$SECONDS
  [ -f dist/QNMuroWPS.msi ] || { check "QNMuroWPS.msi built" false; return; }
  check "msi warm-up" msi_warm_up
  msi_work_before=0
  [ -d "$(msi_c OAWork)" ] && msi_work_before=1
  # The package makes the identity key where there is none yet.
  com_wine reg delete 'HKLM\SOFTWARE\zuzozer\web' /reg:32 /f >/dev/null 2>&1 || true
  com_export "$scratch/msi.before" || { check "msi registry export" false; return; }
  check "msiexec /i /qn" com_wine msiexec /i "$msi" /qn
  check "msi: files" msi_installed_files present
  check "msi: classes" com_registered
  check "msi: both views" msi_both_views
  check "msi: load keys for every user" msi_machine_wide
  check "msi: identity key and rights" msi_identity_and_rights
  check "msi: qnmuro.exe" same_as_linux "$(msi_c "Program Files/QNMuroWPS/qnmuro.exe")" --version
  check "msi: CurrentFile and doctor" msi_clerk
  check "msi: WPSaddin loads" msi_script addin.js echo
  check "msi: DataSource loads" msi_script data_source.js "Z:$root/examples/notice.ds.xml" \
    "$com_work"
  check "msi: rows as the DLL registers them" msi_rows_as_registration
  check "msiexec /x" com_wine msiexec /x "$msi" /qn
  check "msi: files removed" msi_installed_files absent
  check "msi: no load keys left" test -z "$(msi_values HKLM /reg:32)"
  com_export "$scratch/msi.after" && check "msi: registry as before" \
    com_registry_unchanged "$scratch/msi.before" "$scratch/msi.after"
  check "msiexec /i ADDIN_SCOPE=user" com_wine msiexec /i "$msi" /qn ADDIN_SCOPE=user
  check "msi: load keys for the installing user" msi_per_user
  check "msiexec /x (per user)" com_wine msiexec /x "$msi" /qn
  com_export "$scratch/msi.after-user" && check "msi: registry as before (per user)" \
    com_registry_unchanged "$scratch/msi.before" "$scratch/msi.after-user"
  echo "== the package: $((SECONDS - start)) s =="
}
