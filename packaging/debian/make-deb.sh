#!/usr/bin/env bash
# Makes veldra's Debian packages from a native build folder: veldra, the
# tree that `cmake --install --strip` gives under /usr, with the manual page
# compressed; and, when the build has the Python package, python3-veldra,
# the install's python component, which needs veldra's module and host
# libraries. Each has the copyright and changelog Debian asks for, and a
# control file whose dependencies dpkg-shlibdeps reads off the binaries. The
# packages' dates are the changelog's, so the same build gives the same
# bytes. Prints the path of each package made, veldra's first.
# Usage: make-deb.sh BUILD_FOLDER VERSION OUTPUT_FOLDER
set -euo pipefail
build="$(cd "$1" && pwd)"
version="$2"
mkdir -p "$3"
output="$(cd "$3" && pwd)"
here="$(cd "$(dirname "$0")" && pwd)"
fail() { echo "make-deb.sh: $*" >&2; exit 1; }

changelog_version="$(dpkg-parsechangelog -l "$here/changelog" -S Version)"
[ "$changelog_version" = "$version" ] \
  || fail "the project version is $version but packaging/debian/changelog starts at $changelog_version: add an entry"

umask 022
stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
architecture="$(dpkg --print-architecture)"
mkdir -p "$stage/debian"
touch "$stage/debian/control"  # dpkg-shlibdeps works in a source package's folder

# stage_package PACKAGE COMPONENT: the install's component under debian/PACKAGE/usr,
# with the package's documents; nothing when the component is empty.
stage_package() {
  local root="$stage/debian/$1"
  DESTDIR="$root" cmake --install "$build" --prefix /usr --strip --component "$2" >/dev/null
  [ -d "$root/usr" ] || return 0
  chmod 755 "$root"
  install -d "$root/usr/share/doc/$1" "$root/DEBIAN"
  install -m 644 "$here/copyright" "$root/usr/share/doc/$1/copyright"
  gzip -9n <"$here/changelog" >"$root/usr/share/doc/$1/changelog.gz"
}

# shlibs_depends PACKAGE FILE...: the packages the files' libraries come
# from. The libraries in /usr/lib/veldra are the veldra package's own and
# need no dependency; that their names carry no version is no news.
shlibs_depends() {
  local package="$1" depends
  shift
  depends="$(cd "$stage" && dpkg-shlibdeps -O -ldebian/veldra/usr/lib/veldra "$@" 2>"$stage/shlibdeps.log" \
    | sed -n 's/^shlibs:Depends=//p')"
  grep -v "can't extract name and version from library name" "$stage/shlibdeps.log" >&2 || true
  [ -n "$depends" ] || fail "dpkg-shlibdeps found no dependencies for $package"
  echo "$depends"
}

# build PACKAGE: the checksums, then the package; prints its path.
build() {
  local root="$stage/debian/$1"
  local deb="$output/${1}_${version}_${architecture}.deb"
  (cd "$root" && find usr -type f -print0 | sort -z | xargs -0 md5sum >DEBIAN/md5sums)
  chmod 644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"
  SOURCE_DATE_EPOCH="$(dpkg-parsechangelog -l "$here/changelog" -S Timestamp)" \
    dpkg-deb --root-owner-group --build "$root" "$deb" >/dev/null
  echo "$deb"
}

root="$stage/debian/veldra"
stage_package veldra Unspecified
[ -f "$root/usr/share/man/man1/veldra.1" ] || fail "no manual page in $build (install help2man and build again)"
gzip -9n "$root/usr/share/man/man1/veldra.1"
depends="$(shlibs_depends veldra "$root/usr/bin/veldra" "$root"/usr/lib/veldra/*)"
cat >"$root/DEBIAN/control" <<CONTROL
Package: veldra
Version: $version
Architecture: $architecture
Maintainer: Veldra developers <dev@veldra.example>
Installed-Size: $(du -sk --exclude=DEBIAN "$root" | cut -f1)
Depends: $depends
Section: graphics
Priority: optional
Homepage: https://veldra.example
Description: command-line host for the Veldra turn filter
 veldra runs pictures and image sequences through VELDRA.FLT, an image-filter
 module for a 3-D application's post-production queue, exactly as that queue
 does: each frame is turned about X, Y or Z through a pivot, by an angle that
 moves from a start to an end angle across the filter's frame range, with a
 simple perspective.
 .
 It reads and writes what OpenImageIO reads and writes (PNG, TIFF, OpenEXR,
 DPX, JPEG), keeps channel formats, alpha and metadata, never leaves half a
 file behind, and renders on one machine or as a Slurm job array. The
 package holds the native build of the module and the host libraries it
 imports.
CONTROL
build veldra

# python3-veldra: Debian's Python finds packaged modules in
# /usr/lib/python3/dist-packages, and the package's extension's name carries
# the version of Python it is for (cpython-311: 3.11). From there, as from
# where `cmake --install` puts it, its run path leads to /usr/lib/veldra.
python_root="$stage/debian/python3-veldra"
stage_package python3-veldra python
[ -d "$python_root/usr" ] || exit 0
packaged="$python_root/usr/lib/python3/dist-packages"
install -d "$packaged"
find "$python_root/usr/lib" -path "$packaged" -prune -o -type d -path '*-packages/veldra' -exec mv {} "$packaged" \; -prune
find "$python_root/usr/lib" -mindepth 1 -type d -empty -delete
module="$(ls "$packaged"/veldra/__init__.cpython-*.so)"
python="$(sed -E 's/.*cpython-([0-9])([0-9]+)-.*/\1.\2/' <<<"$module")"
python_next="${python%.*}.$((${python#*.} + 1))"
depends="$(shlibs_depends python3-veldra "$module")"
cat >"$python_root/DEBIAN/control" <<CONTROL
Package: python3-veldra
Source: veldra
Version: $version
Architecture: $architecture
Maintainer: Veldra developers <dev@veldra.example>
Installed-Size: $(du -sk --exclude=DEBIAN "$python_root" | cut -f1)
Depends: veldra (= $version), python3 (>= $python~), python3 (<< $python_next), python3-numpy, $depends
Section: python
Priority: optional
Homepage: https://veldra.example
Description: Veldra turn filter for Python programs
 The veldra module runs NumPy arrays (and image files and sequences) through
 VELDRA.FLT, the image-filter module of the veldra package, with the values
 and files the veldra command writes for the same pictures: each frame is
 turned about X, Y or Z through a pivot, by an angle that moves from a start
 to an end angle across the filter's frame range.
 .
 For pipeline tools: no program started per frame, the GIL released while
 the filter works, so threads turn frames in parallel.
CONTROL
build python3-veldra
