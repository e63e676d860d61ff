#!/usr/bin/env bash
# The Windows installer under Wine, silent as a deployment script runs it,
# on 64-bit Windows (and once on 32-bit Windows for its default): refusals
# that change nothing (no folder given, a missing folder, an unknown width, a
# read-only folder, the module in use, a folder whose other filters are of
# the other width, a folder of a release that kept one folder while
# installing elsewhere), an older release upgraded in place into the
# remembered folder with the remembered width, a 64-bit and a 32-bit
# installation side by side, each module byte-identical to its build's with
# its version resource read back by Windows, the default width (the folder's
# filters', else the system's), and uninstalls that remove what each
# installed and keep everything else. Prints what the installer said.
# Usage: check-installer.sh INSTALLER OLDER_INSTALLER MODULE_X86 MODULE_X64 SHOW_VERSION_INFO HOLD_FILE VERSION
set -euo pipefail
installer="$1" older="$2" module_x86="$3" module_x64="$4" show_version="$5" hold="$6" version="$7"
scripts="$(cd "$(dirname "$0")/../../scripts" && pwd)"
texts="$(dirname "$installer")/packaging/windows"

# Everything runs on 64-bit Windows unless `windows=` says otherwise.
windows=--win64
wine_run() { "$scripts/wine-run.sh" $windows "$@"; }
windows_path() { wine_run winepath -w "$1" | tr -d '\r'; }
# The installer is a 32-bit program: it keeps its settings in the registry's
# 32-bit view.
product_key='HKLM\Software\Veldra'
folders_key='HKLM\Software\Veldra\Folders'
uninstall_root='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
# registry_value KEY NAME: the value's data, empty when it is not there.
registry_value() {
  wine_run reg query "$1" /v "$2" /reg:32 2>/dev/null | tr -d '\r' |
    name="$2" awk 'index($0, "    " ENVIRON["name"] "    REG_") == 1 { sub(/^.*    REG_[A-Z_]+    /, ""); print }'
}
# uninstall_keys: the installer's entries in "Apps & features", one a line.
uninstall_keys() {
  wine_run reg query "$uninstall_root" /reg:32 2>/dev/null | tr -d '\r' | grep -i '\\Veldra' || true
}
# entry FOLDER: the "Apps & features" entry that lists the installation in
# FOLDER, "Key=KEY" and a "NAME=DATA" line a value; empty when there is none.
entry() {
  wine_run reg query "$uninstall_root" /s /reg:32 2>/dev/null | tr -d '\r' | folder="$1" awk '
    function flush() { if (location == ENVIRON["folder"]) printf "Key=%s\n%s", key, values; values = location = "" }
    /^HKEY_/ { flush(); key = $0; next }
    /^    [^ ]/ && (at = index($0, "    REG_")) > 0 {
      name = substr($0, 5, at - 5); data = substr($0, at + 4); sub(/^REG_[A-Z_]+ */, "", data)
      values = values name "=" data "\n"
      if (name == "InstallLocation") location = data
    }
    END { flush() }'
}
# value NAME: the data of NAME in the lines of an entry on standard input.
value() { sed -n "s/^$1=//p"; }
forget_installation() {
  local key
  wine_run reg delete "$product_key" /f /reg:32 >/dev/null 2>&1 || true
  for key in $(uninstall_keys); do wine_run reg delete "$key" /f /reg:32 >/dev/null 2>&1 || true; done
}

work="$(mktemp -d)"
readonly_folder="$work/read-only"
holder=""
cleanup() {
  [ -n "$holder" ] && { rm -f "$work/ready"; wait "$holder" || true; }
  mountpoint -q "$readonly_folder" 2>/dev/null && umount "$readonly_folder"
  chmod -R u+w "$work" 2>/dev/null || true
  rm -rf "$work"
  forget_installation
  windows=""
  forget_installation
}
trap cleanup EXIT
fail() { echo "check-installer: $*" >&2; exit 1; }

# snapshot FOLDER: every file's name, size, mode, time and checksum.
snapshot() {
  (cd "$1" && find . -printf '%p %s %m %T@\n' | sort && find . -type f -exec md5sum {} + | sort)
}
# install_expecting STATUS PROGRAM ARGUMENTS...: runs an installer or
# uninstaller, shows what it said (the output a deployment script logs) and
# checks its exit status.
install_expecting() {
  local expected="$1" status=0
  shift
  echo "\$ $(basename "$1") ${*:2}"
  wine_run "$@" >"$work/said" 2>&1 || status=$?
  show_said
  [ "$status" = "$expected" ] || fail "$(basename "$1") ${*:2}: exit status $status, expected $expected"
}
# uninstall FOLDER: runs the folder's uninstaller silently, as "Apps &
# features" does. It finishes from a copy of itself, which says what it did:
# wait for Wine's processes to end first.
uninstall() {
  echo "\$ veldra-uninstall.exe /S    (in $1)"
  wine_run "$1/veldra-uninstall.exe" /S >"$work/said" 2>&1 || fail "the uninstaller in $1 did not start"
  WINEPREFIX="$("$scripts/wine-prefix.sh" $windows)" wineserver --wait
  show_said
}
show_said() { tr -d '\r' <"$work/said" | sed 's/^/  /'; }
said() { grep -qF "$1" "$work/said" || fail "the installer did not say: $1"; }

# check_installed FOLDER MODULE WIDTH-NAME: the folder holds the build's
# files with MODULE as VELDRA.FLT, listed as WIDTH-NAME, and Windows reads
# the module's version resource.
check_installed() {
  local plugins="$1" module="$2" width="$3" folder listed info line
  cmp -s "$module" "$plugins/VELDRA.FLT" || fail "$plugins/VELDRA.FLT is not $module"
  cmp -s "$texts/README.txt" "$plugins/README.txt" || fail "README.txt is not the build's"
  cmp -s "$texts/LICENSE.txt" "$plugins/LICENSE.txt" || fail "LICENSE.txt is not the build's"
  for dll in flt.dll bmm.dll core.dll geom.dll; do
    [ ! -e "$plugins/$dll" ] || fail "the installer put the stand-in $dll into the plug-in folder"
  done
  folder="$(windows_path "$plugins")"
  listed="$(entry "$folder")"
  [ -n "$listed" ] || fail "Apps & features does not list $folder"
  [ "$(value DisplayName <<<"$listed")" = "Veldra image filter ($width) in $folder" ] ||
    fail "Apps & features lists $folder as $(value DisplayName <<<"$listed")"
  [ "$(value DisplayVersion <<<"$listed")" = "$version" ] || fail "Apps & features does not list $version"
  [ "$(value UninstallString <<<"$listed")" = "\"$folder\\veldra-uninstall.exe\"" ] ||
    fail "the uninstall command is $(value UninstallString <<<"$listed")"
  size="$(value EstimatedSize <<<"$listed")"
  [ $((size)) -ge $(($(stat -c %s "$module") / 1024)) ] || fail "the listed size $size KB is less than the module's"

  info="$(wine_run "$show_version" "$folder\\VELDRA.FLT" | tr -d '\r')"
  for line in "FileVersion=$version" "ProductVersion=$version" "OriginalFilename=VELDRA.FLT" "FileType=dll" \
              "FileVersionNumbers=$version.0"; do
    grep -qxF "$line" <<<"$info" || fail "the $width version resource lacks $line: $info"
  done
  grep -q "^LegalCopyright=.*Apache License, Version 2.0" <<<"$info" || fail "no licence line in the $width module"
  grep -q "^FileDescription=." <<<"$info" || fail "no description in the $width version resource"
}

forget_installation
plugins64="$work/plugins64" plugins32="$work/plugins32"
mkdir "$plugins64" "$plugins32"
echo "another filter" >"$plugins64/other.flt" # not a module: it says nothing of a width
cp "$module_x64" "$plugins64/other64.flt"
cp "$hold" "$plugins32/other32.flt"
folder64="$(windows_path "$plugins64")" folder32="$(windows_path "$plugins32")"

# Refused without a folder (none remembered yet), with a missing one and
# with an unknown width.
install_expecting 2 "$installer" /S
install_expecting 2 "$installer" /S "/D=$(windows_path "$work/missing")"
[ ! -e "$work/missing" ] || fail "the installer made a missing folder"
before="$(snapshot "$plugins64")"
install_expecting 2 "$installer" /S /ARCH=arm64 "/D=$folder64"
said "Unknown /ARCH=arm64"
[ "$(snapshot "$plugins64")" = "$before" ] || fail "a refused width changed the folder"

# A folder it cannot write to: refused, nothing written. As root (whom
# file modes do not stop) the folder is a read-only mount.
mkdir "$readonly_folder"
echo "kept" >"$readonly_folder/kept.txt"
if [ "$(id -u)" = 0 ]; then
  mount --bind "$readonly_folder" "$readonly_folder"
  mount -o remount,bind,ro "$readonly_folder"
else
  chmod a-w "$readonly_folder"
fi
before="$(snapshot "$readonly_folder")"
install_expecting 2 "$installer" /S "/D=$(windows_path "$readonly_folder")"
[ "$(snapshot "$readonly_folder")" = "$before" ] || fail "a refused install changed the read-only folder"
[ -z "$(registry_value "$product_key" PluginFolder)" ] || fail "a refused install wrote to the registry"

# An older release for 64-bit applications, then this one over it into the
# remembered folder, with the remembered width.
install_expecting 0 "$older" /S /ARCH=x64 "/D=$folder64"
[ "$(entry "$folder64" | value DisplayVersion)" = "0.9.0" ] || fail "the older release is not listed"
install_expecting 0 "$installer" /S
said "Replacing Veldra 0.9.0 (64-bit) with $version (64-bit) in $folder64"
check_installed "$plugins64" "$module_x64" 64-bit
[ "$(cat "$plugins64/other.flt")" = "another filter" ] || fail "the upgrade touched another file"
cmp -s "$module_x64" "$plugins64/other64.flt" || fail "the upgrade touched another filter"
expected_files="$(printf '%s\n' LICENSE.txt README.txt VELDRA.FLT other.flt other64.flt veldra-uninstall.exe)"
[ "$(ls "$plugins64")" = "$expected_files" ] || fail "unexpected files after install: $(ls "$plugins64" | tr '\n' ' ')"

# A 32-bit application's folder beside it: its filters choose the width.
install_expecting 0 "$installer" /S "/D=$folder32"
said "Installing Veldra $version (32-bit) into $folder32"
check_installed "$plugins32" "$module_x86" 32-bit
[ "$(uninstall_keys | wc -l)" = 2 ] || fail "Apps & features does not list two installations: $(uninstall_keys)"
[ "$(registry_value "$folders_key" "$folder64")" = x64 ] || fail "the 64-bit folder's width is not remembered"
[ "$(registry_value "$folders_key" "$folder32")" = x86 ] || fail "the 32-bit folder's width is not remembered"
[ "$(registry_value "$product_key" PluginFolder)" = "$folder32" ] || fail "the last folder is not remembered"

# The wrong width for a folder's filters: refused, saying which filter, and
# nothing changed.
for wrong in "x64 $plugins32 other32.flt 32-bit" "x86 $plugins64 other64.flt 64-bit"; do
  read -r width plugins filter kind <<<"$wrong"
  before="$(snapshot "$plugins")"
  install_expecting 2 "$installer" /S "/ARCH=$width" "/D=$(windows_path "$plugins")"
  said "($filter is a $kind module)"
  [ "$(snapshot "$plugins")" = "$before" ] || fail "a refused width changed $plugins"
done
[ "$(registry_value "$folders_key" "$folder32")" = x86 ] || fail "a refused width changed the remembered one"

# The module in use by a running application: installer and uninstaller
# refuse and change nothing.
wine_run "$hold" "$folder32\\VELDRA.FLT" "$(windows_path "$work/ready")" &
holder=$!
while [ ! -e "$work/ready" ] && kill -0 "$holder" 2>/dev/null; do sleep 0.1; done
[ -e "$work/ready" ] || fail "hold-file did not take hold of VELDRA.FLT"
before="$(snapshot "$plugins32")"
install_expecting 2 "$installer" /S "/D=$folder32"
install_expecting 2 "$plugins32/veldra-uninstall.exe" /S "_?=$folder32"
[ "$(snapshot "$plugins32")" = "$before" ] || fail "a refusal while VELDRA.FLT was in use changed the folder"
[ "$(entry "$folder32" | value DisplayVersion)" = "$version" ] ||
  fail "a refused uninstall changed the registry"
rm "$work/ready"
wait "$holder"
holder=""

# Uninstalled one at a time: what each installed is gone, the rest and the
# folder stay, and so does the other installation.
uninstall "$plugins64"
said "Removed Veldra $version (64-bit) from $folder64"
[ "$(ls "$plugins64")" = "$(printf '%s\n' other.flt other64.flt)" ] ||
  fail "after uninstall the folder holds: $(ls "$plugins64" | tr '\n' ' ')"
[ "$(cat "$plugins64/other.flt")" = "another filter" ] || fail "the uninstall touched another file"
[ -z "$(entry "$folder64")" ] || fail "Apps & features still lists $folder64"
[ -z "$(registry_value "$folders_key" "$folder64")" ] || fail "the uninstall left the folder's width"
check_installed "$plugins32" "$module_x86" 32-bit
uninstall "$plugins32"
said "Removed Veldra $version (32-bit) from $folder32"
[ "$(ls "$plugins32")" = other32.flt ] || fail "after uninstall the folder holds: $(ls "$plugins32" | tr '\n' ' ')"
[ -z "$(uninstall_keys)" ] || fail "Apps & features still lists Veldra"
[ -z "$(registry_value "$product_key" PluginFolder)" ] || fail "the uninstall left the remembered folder"

# A release that kept one folder (the 32-bit module, one entry named
# Veldra): installing elsewhere is refused until it is upgraded in place,
# which keeps its width and replaces its entry.
single="$work/single"
mkdir "$single"
cp "$module_x86" "$single/VELDRA.FLT"
cp "$hold" "$single/veldra-uninstall.exe"
folder_single="$(windows_path "$single")"
wine_run reg add "$uninstall_root\\Veldra" /v InstallLocation /d "$folder_single" /f /reg:32 >/dev/null
wine_run reg add "$uninstall_root\\Veldra" /v DisplayVersion /d 1.0.0 /f /reg:32 >/dev/null
wine_run reg add "$product_key" /v PluginFolder /d "$folder_single" /f /reg:32 >/dev/null
install_expecting 2 "$installer" /S "/D=$folder64"
said "is installed in $folder_single by an earlier setup"
[ "$(ls "$plugins64")" = "$(printf '%s\n' other.flt other64.flt)" ] || fail "a refused install wrote into $plugins64"
install_expecting 0 "$installer" /S
said "Replacing Veldra 1.0.0 (32-bit) with $version (32-bit) in $folder_single"
check_installed "$single" "$module_x86" 32-bit
[ -z "$(registry_value "$uninstall_root\\Veldra" InstallLocation)" ] || fail "the single folder's entry stayed"
uninstall "$single"

# Without /ARCH into a folder with no filters: the system's own width, the
# 64-bit module on 64-bit Windows and the 32-bit one on 32-bit Windows.
for windows in --win64 ""; do
  empty="$work/empty$windows"
  mkdir "$empty"
  install_expecting 0 "$installer" /S "/D=$(windows_path "$empty")"
  if [ -n "$windows" ]; then expected="$module_x64"; else expected="$module_x86"; fi
  cmp -s "$expected" "$empty/VELDRA.FLT" || fail "the default on ${windows:-32-bit} Windows is not $expected"
  uninstall "$empty"
  [ -z "$(ls "$empty")" ] || fail "after uninstall $empty holds: $(ls "$empty" | tr '\n' ' ')"
done
windows=--win64
echo "check-installer: refusals, widths, upgrades, version resources and uninstalls as expected"
