#!/usr/bin/env bash
# The installed program and the Debian package. `cmake --install` into a
# temporary prefix, moved elsewhere and run from another folder, must find
# its module and host libraries and bring the manual page and the bash
# completion. The package must pass Debian's own checker (lintian) without
# an error or a warning, and, unpacked into a scratch root, run, load its
# module and show a manual page that has every command and option of the
# program's help.
# Usage: check-install.sh BUILD_FOLDER VERSION
set -euo pipefail
build="$1"
version="$2"
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "check-install: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/prefix" >/dev/null
mv "$work/prefix" "$work/moved"
mkdir "$work/elsewhere"
cd "$work/elsewhere"
veldra="$work/moved/bin/veldra"
"$veldra" --version | grep -q '^veldra ' || fail "--version"
"$veldra" info >/dev/null || fail "the installed veldra does not load its module"
"$veldra" demo out -q -j 1 >/dev/null || fail "the installed veldra does not run the demo"
[ -s out/contact-sheet.png ] || fail "no contact sheet from the installed veldra"
if readelf -d "$veldra" "$work"/moved/lib/veldra/* | grep -E 'R(UN)?PATH' | grep -q "$build"; then
  fail "an installed file still points into the build folder"
fi
for file in share/man/man1/veldra.1 share/bash-completion/completions/veldra; do
  [ -s "$work/moved/$file" ] || fail "cmake --install did not install $file"
done
# veldra hands pictures to the image program, so that it starts without
# loading the image library.
[ -x "$work/moved/lib/veldra/veldra-images" ] || fail "no image program in lib/veldra"
if readelf -d "$veldra" | grep NEEDED | grep -q OpenImageIO; then
  fail "veldra loads the image library at start; only veldra-images may"
fi

deb="$("$here/../../packaging/debian/make-deb.sh" "$build" "$version" "$work/package" 2>"$work/make-deb.log")" \
  || { cat "$work/make-deb.log" >&2; fail "make-deb.sh failed"; }
[ "$(basename "$deb")" = "veldra_${version}_$(dpkg --print-architecture).deb" ] || fail "package named $deb"
lintian --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 \
  || { grep -v 'running with root privileges' "$work/lintian.log" >&2; fail "lintian finds errors or warnings"; }
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the package's version is not $version"
depends="$(dpkg-deb -f "$deb" Depends)"
for package in libopenimageio libstdc++6 libc6; do
  grep -q "$package" <<<"$depends" || fail "the package does not depend on $package: $depends"
done

root="$work/root"
dpkg-deb -x "$deb" "$root"
"$root/usr/bin/veldra" --version | grep -qx "veldra $version .*" || fail "the packaged veldra is not $version"
"$root/usr/bin/veldra" info >/dev/null || fail "the packaged veldra does not load its module"
[ -s "$root/usr/share/bash-completion/completions/veldra" ] || fail "no bash completion in the package"
[ -x "$root/usr/lib/veldra/veldra-images" ] || fail "no image program in the package"
for dll in "$root"/usr/lib/veldra/*; do
  [ -z "$(readelf -d "$dll" | grep -E 'R(UN)?PATH' | grep -v '\$ORIGIN')" ] || fail "$dll has a run path outside the package"
done

# The manual page renders without a complaint and holds every command and
# subcommand the help lists (but help itself), each with every option of its
# own help.
manual="$(LC_ALL=C MANWIDTH=200 man --warnings -l "$root/usr/share/man/man1/veldra.1.gz" 2>"$work/man-warnings")"
[ ! -s "$work/man-warnings" ] || fail "man warns: $(cat "$work/man-warnings")"
packaged="$root/usr/bin/veldra"
# listed PREFIX HELP: the words that follow "veldra PREFIX" on the help's indented lines.
listed() { sed -n -E "s/^ +veldra $1([a-z]+).*/\1/p" <<<"$2" | sort -u; }
check_manual() {  # COMMAND...
  local help option
  help="$("$packaged" "$@" --help)"
  grep -q "^VELDRA ${*^^}\$" <<<"$manual" || fail "the manual page has no section for veldra $*"
  for option in $(grep -o -E -- '(^|[ ,])--[a-z][a-z-]+' <<<"$help" | tr -d ' ,' | sort -u); do
    grep -q -- "$option\b" <<<"$manual" || fail "the manual page does not mention veldra $* $option"
  done
}
commands="$(listed "" "$("$packaged" --help)" | grep -vx help)"
[ -n "$commands" ] || fail "no commands in veldra --help"
for command in $commands; do
  check_manual "$command"
  for sub in $(listed "$command " "$("$packaged" "$command" --help)"); do
    check_manual "$command" "$sub"
  done
done
echo "check-install: installed tree and package are complete; lintian is clean"
