#!/usr/bin/env bash
# The Windows installer under Wine, silent as a deployment script runs it:
# refusals that change nothing (no folder given, a missing folder, a
# read-only folder, the module in use, a second folder while installed),
# an older release upgraded in place into the remembered folder, the
# installed module byte-identical to the build's with its version resource
# read back by Windows, and an uninstall that removes what was installed and
# keeps everything else.
# Usage: check-installer.sh INSTALLER OLDER_INSTALLER MODULE SHOW_VERSION_INFO HOLD_FILE VERSION
set -euo pipefail
installer="$1" older="$2" module="$3" show_version="$4" hold="$5" version="$6"
scripts="$(cd "$(dirname "$0")/../../scripts" && pwd)"
texts="$(dirname "$installer")/packaging/windows"
export WINEPREFIX
WINEPREFIX="$("$scripts/wine-prefix.sh")"

wine_run() { "$scripts/wine-run.sh" "$@"; }
windows_path() { wine_run winepath -w "$1" | tr -d '\r'; }
product_key='HKLM\Software\Veldra'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Veldra'
# registry_value KEY NAME: the value's data, empty when it is not there.
registry_value() {
  wine_run reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | awk -v name="$2" '$1 == name { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'
}
forget_installation() {
  wine_run reg delete "$product_key" /f >/dev/null 2>&1 || true
  wine_run reg delete "$uninstall_key" /f >/dev/null 2>&1 || true
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
}
trap cleanup EXIT
fail() { echo "check-installer: $*" >&2; exit 1; }

# snapshot FOLDER: every file's name, size, mode, time and checksum.
snapshot() {
  (cd "$1" && find . -printf '%p %s %m %T@\n' | sort && find . -type f -exec md5sum {} + | sort)
}
# install_expecting STATUS INSTALLER ARGUMENTS...: runs the installer silently.
install_expecting() {
  local expected="$1" status=0
  shift
  wine_run "$@" || status=$?
  [ "$status" = "$expected" ] || fail "$(basename "$1") ${*:2}: exit status $status, expected $expected"
}

forget_installation
plugins="$work/plugins"
mkdir "$plugins"
echo "another filter" >"$plugins/other.flt"

# Refused without a folder (none remembered yet) and with a missing one.
install_expecting 2 "$installer" /S
install_expecting 2 "$installer" /S "/D=$(windows_path "$work/missing")"
[ ! -e "$work/missing" ] || fail "the installer made a missing folder"

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

# An older release, then this one over it into the remembered folder.
install_expecting 0 "$older" /S "/D=$(windows_path "$plugins")"
[ "$(registry_value "$uninstall_key" DisplayVersion)" = "0.9.0" ] || fail "the older release is not listed"
install_expecting 0 "$installer" /S
cmp -s "$module" "$plugins/VELDRA.FLT" || fail "the upgrade did not replace VELDRA.FLT with the build's"
cmp -s "$texts/README.txt" "$plugins/README.txt" || fail "README.txt is not the build's"
cmp -s "$texts/LICENSE.txt" "$plugins/LICENSE.txt" || fail "LICENSE.txt is not the build's"
[ "$(cat "$plugins/other.flt")" = "another filter" ] || fail "the upgrade touched another file"
expected_files="$(printf '%s\n' LICENSE.txt README.txt VELDRA.FLT other.flt veldra-uninstall.exe)"
[ "$(ls "$plugins")" = "$expected_files" ] || fail "unexpected files after install: $(ls "$plugins" | tr '\n' ' ')"
for dll in flt.dll bmm.dll core.dll geom.dll; do
  [ ! -e "$plugins/$dll" ] || fail "the installer put the stand-in $dll into the plug-in folder"
done

# What Windows lists and remembers.
folder="$(windows_path "$plugins")"
[ "$(registry_value "$product_key" PluginFolder)" = "$folder" ] || fail "the plug-in folder is not remembered"
[ "$(registry_value "$uninstall_key" DisplayVersion)" = "$version" ] || fail "Apps & features does not list $version"
[ "$(registry_value "$uninstall_key" UninstallString)" = "\"$folder\\veldra-uninstall.exe\"" ] \
  || fail "the uninstall command is $(registry_value "$uninstall_key" UninstallString)"
size="$(registry_value "$uninstall_key" EstimatedSize)"
[ $((size)) -ge $(($(stat -c %s "$module") / 1024)) ] || fail "the listed size $size KB is less than the module's"

# The installed module's version resource, as Windows reads it.
info="$(wine_run "$show_version" "$folder\\VELDRA.FLT" | tr -d '\r')"
for line in "FileVersion=$version" "ProductVersion=$version" "OriginalFilename=VELDRA.FLT" "FileType=dll" \
            "FileVersionNumbers=$version.0"; do
  grep -qxF "$line" <<<"$info" || fail "the version resource lacks $line: $info"
done
grep -q "^LegalCopyright=.*Apache License, Version 2.0" <<<"$info" || fail "no licence line in the version resource"
grep -q "^FileDescription=." <<<"$info" || fail "no description in the version resource"

# A second folder while installed here: refused, nothing written there.
mkdir "$work/second"
install_expecting 2 "$installer" /S "/D=$(windows_path "$work/second")"
[ -z "$(ls -A "$work/second")" ] || fail "a refused install wrote into the second folder"

# The module in use by a running application: installer and uninstaller
# refuse and change nothing.
wine_run "$hold" "$folder\\VELDRA.FLT" "$(windows_path "$work/ready")" &
holder=$!
for _ in $(seq 100); do [ -e "$work/ready" ] && break; sleep 0.1; done
[ -e "$work/ready" ] || fail "hold-file did not take hold of VELDRA.FLT"
before="$(snapshot "$plugins")"
install_expecting 2 "$installer" /S
install_expecting 2 "$plugins/veldra-uninstall.exe" /S "_?=$folder"
[ "$(snapshot "$plugins")" = "$before" ] || fail "a refusal while VELDRA.FLT was in use changed the folder"
[ "$(registry_value "$uninstall_key" DisplayVersion)" = "$version" ] || fail "a refused uninstall changed the registry"
rm "$work/ready"
wait "$holder"
holder=""

# Uninstalled: what the installer wrote is gone, the rest and the folder
# stay. The uninstaller finishes from a copy of itself: wait for Wine's
# processes to end.
install_expecting 0 "$plugins/veldra-uninstall.exe" /S
wineserver --wait
[ "$(ls "$plugins")" = "other.flt" ] || fail "after uninstall the folder holds: $(ls "$plugins" | tr '\n' ' ')"
[ "$(cat "$plugins/other.flt")" = "another filter" ] || fail "the uninstall touched another file"
[ -z "$(registry_value "$uninstall_key" DisplayName)" ] || fail "Apps & features still lists Veldra"
[ -z "$(registry_value "$product_key" PluginFolder)" ] || fail "the uninstall left the remembered folder"
echo "check-installer: refusals, upgrade, version resource and uninstall as expected"
