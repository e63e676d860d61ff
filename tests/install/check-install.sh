#!/usr/bin/env bash
# The installed program and the Debian package. `cmake --install` into a
# temporary prefix, moved elsewhere and run from another folder, must find
# its module and host libraries and bring the manual page and the bash
# completion. The package must pass Debian's own checker (lintian) without
# an error or a warning, and, unpacked into a scratch root, run, load its
# module and show a manual page that has every command and option of the
# program's help. With PYTHON and the Python package's folder (relative to
# the prefix), the Python package must import from the moved tree and from
# its own package, python3-veldra, likewise clean, and turn a picture with
# the module installed beside it.
# Usage: check-install.sh BUILD_FOLDER VERSION [PYTHON PYTHON_FOLDER]
set -euo pipefail
build="$1"
version="$2"
python="${3:-}"
python_folder="${4:-}"
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "check-install: $*" >&2; exit 1; }
# python_turns FOLDER PREFIX: the package in FOLDER imports, loads
# PREFIX/lib/veldra/VELDRA.FLT and turns a picture.
python_turns() {
  PYTHONPATH="$1" "$python" -c '
import sys, numpy, veldra
turned = veldra.turn(numpy.full((4, 6, 3), 200, numpy.uint8), veldra.Params(axis="z", start=30, end=30))
assert turned.shape == (4, 6, 3), turned.shape
assert veldra.module_info()["module"] == sys.argv[1] + "/lib/veldra/VELDRA.FLT", veldra.module_info()["module"]
' "$2"
}

cmake --install "$build" --prefix "$work/prefix" >/dev/null
mv "$work/prefix" "$work/moved"
mkdir "$work/elsewhere"
cd "$work/elsewhere"
veldra="$work/moved/bin/veldra"
"$veldra" --version | grep -q '^veldra ' || fail "--version"
"$veldra" info >/dev/null || fail "the installed veldra does not load its module"
"$veldra" demo out -q -j 1 >/dev/null || fail "the installed veldra does not run the demo"
[ -s out/contact-sheet.png ] || fail "no contact sheet from the installed veldra"
if [ -n "$python" ]; then
  python_turns "$work/moved/$python_folder" "$work/moved" || fail "the installed Python package does not work"
  for file in __init__.pyi py.typed; do
    [ -f "$work/moved/$python_folder/veldra/$file" ] || fail "the installed Python package has no $file"
  done
fi
if readelf -d "$veldra" "$work"/moved/lib/veldra/* ${python:+"$work/moved/$python_folder"/veldra/*.so} \
    | grep -E 'R(UN)?PATH' | grep -q "$build"; then
  fail "an installed file still points into the build folder"
fi
for file in share/man/man1/veldra.1 share/bash-completion/completions/veldra; do
  [ -s "$work/moved/$file" ] || fail "cmake --install did not install $file"
done
# veldra hands pictures and movies to the image program, so that it starts
# without loading the image and movie libraries; the image program loads
# them with its formats plugin only when a file needs them.
[ -x "$work/moved/lib/veldra/veldra-images" ] || fail "no image program in lib/veldra"
[ -f "$work/moved/lib/veldra/veldra-formats.so" ] || fail "no formats plugin in lib/veldra"
if readelf -d "$veldra" | grep NEEDED | grep -qE 'OpenImageIO|libav|libswscale'; then
  fail "veldra loads the image or movie libraries at start; only veldra-images may"
fi
if readelf -d "$work/moved/lib/veldra/veldra-images" | grep NEEDED | grep -qE 'OpenImageIO\.|libav|libswscale'; then
  fail "veldra-images loads the image or movie libraries at start; only its formats plugin may"
fi
# The plugin takes veldra's own code from the program: a second copy of it
# would hold state of its own (and its globals are defined twice).
defined() { nm -D --defined-only "$1" | awk '$2 ~ /^[TDBR]$/ {print $3}' | sort -u; }
twice="$(comm -12 <(defined "$work/moved/lib/veldra/veldra-images") <(defined "$work/moved/lib/veldra/veldra-formats.so"))"
[ -z "$twice" ] || fail "the formats plugin defines code the image program has too: $(head -3 <<<"$twice" | c++filt | tr '\n' ' ')"

debs="$("$here/../../packaging/debian/make-deb.sh" "$build" "$version" "$work/package" 2>"$work/make-deb.log")" \
  || { cat "$work/make-deb.log" >&2; fail "make-deb.sh failed"; }
deb="$(head -n 1 <<<"$debs")"
[ "$(basename "$deb")" = "veldra_${version}_$(dpkg --print-architecture).deb" ] || fail "package named $deb"
for package in $debs; do
  lintian --fail-on error,warning "$package" >"$work/lintian.log" 2>&1 \
    || { grep -v 'running with root privileges' "$work/lintian.log" >&2; fail "lintian finds errors or warnings in $package"; }
  [ "$(dpkg-deb -f "$package" Version)" = "$version" ] || fail "the version of $package is not $version"
done
depends="$(dpkg-deb -f "$deb" Depends)"
for package in libopenimageio libavcodec libstdc++6 libc6; do
  grep -q "$package" <<<"$depends" || fail "the package does not depend on $package: $depends"
done
! dpkg-deb -c "$deb" | grep -q dist-packages || fail "veldra's package holds the Python package"

root="$work/root"
for package in $debs; do
  dpkg-deb -x "$package" "$root"
done
"$root/usr/bin/veldra" --version | grep -qx "veldra $version .*" || fail "the packaged veldra is not $version"
"$root/usr/bin/veldra" info >/dev/null || fail "the packaged veldra does not load its module"
[ -s "$root/usr/share/bash-completion/completions/veldra" ] || fail "no bash completion in the package"
[ -x "$root/usr/lib/veldra/veldra-images" ] || fail "no image program in the package"
[ -f "$root/usr/lib/veldra/veldra-formats.so" ] || fail "no formats plugin in the package"
for dll in "$root"/usr/lib/veldra/* "$root"/usr/lib/python3/dist-packages/veldra/*.so; do
  [ -e "$dll" ] || continue
  [ -z "$(readelf -d "$dll" | grep -E 'R(UN)?PATH' | grep -v '\$ORIGIN')" ] || fail "$dll has a run path outside the package"
done
if [ -n "$python" ]; then
  python_deb="$(grep python3-veldra <<<"$debs")" || fail "no python3-veldra package"
  python_depends="$(dpkg-deb -f "$python_deb" Depends)"
  for package in "veldra (= $version)" python3-numpy "python3 (>= " "python3 (<< " libopenimageio; do
    grep -qF "$package" <<<"$python_depends" || fail "python3-veldra does not depend on $package: $python_depends"
  done
  # The extension is built for this machine's Python: its bounds must hold it.
  python_version="$(dpkg-query -W -f '${Version}' python3)"
  while read -r relation bound; do
    dpkg --compare-versions "$python_version" "$relation" "$bound" ||
      fail "python3-veldra asks for python3 ($relation $bound), which excludes this machine's $python_version"
  done < <(grep -oE 'python3 \([<>=]+ [^)]+\)' <<<"$python_depends" | sed -E 's/python3 \(([^ ]+) ([^)]+)\)/\1 \2/')
  python_turns "$root/usr/lib/python3/dist-packages" "$root/usr" || fail "the packaged Python package does not work"
  [ -f "$root/usr/lib/python3/dist-packages/veldra/py.typed" ] || fail "the packaged Python package has no py.typed"
fi

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
echo "check-install: installed tree and packages are complete; lintian is clean"
