#!/usr/bin/env bash
# Makes veldra's Debian package from a native build folder: the tree that
# `cmake --install --strip` gives under /usr, with the manual page
# compressed, the copyright and changelog Debian asks for, and a control
# file whose dependencies dpkg-shlibdeps reads off the binaries. The
# package's dates are the changelog's, so the same build gives the same
# bytes.
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
root="$stage/debian/veldra"
DESTDIR="$root" cmake --install "$build" --prefix /usr --strip >/dev/null
chmod 755 "$root"
[ -f "$root/usr/share/man/man1/veldra.1" ] || fail "no manual page in $build (install help2man and build again)"
gzip -9n "$root/usr/share/man/man1/veldra.1"
doc="$root/usr/share/doc/veldra"
install -d "$doc"
install -m 644 "$here/copyright" "$doc/copyright"
gzip -9n <"$here/changelog" >"$doc/changelog.gz"

# dpkg-shlibdeps works in a source package's folder, where the tree lies in
# debian/PACKAGE. The private folder's libraries are the package's own and
# need no dependency; that their names carry no version is no news.
touch "$stage/debian/control"
install -d "$root/DEBIAN"
depends="$(cd "$stage" && dpkg-shlibdeps -O debian/veldra/usr/bin/veldra debian/veldra/usr/lib/veldra/* \
  2>"$stage/shlibdeps.log" | sed -n 's/^shlibs:Depends=//p')"
grep -v "can't extract name and version from library name" "$stage/shlibdeps.log" >&2 || true
[ -n "$depends" ] || fail "dpkg-shlibdeps found no dependencies"

architecture="$(dpkg --print-architecture)"
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
(cd "$root" && find usr -type f -print0 | sort -z | xargs -0 md5sum >DEBIAN/md5sums)
chmod 644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"

deb="$output/veldra_${version}_${architecture}.deb"
SOURCE_DATE_EPOCH="$(dpkg-parsechangelog -l "$here/changelog" -S Timestamp)" \
  dpkg-deb --root-owner-group --build "$root" "$deb" >/dev/null
echo "$deb"
