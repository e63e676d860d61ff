#!/usr/bin/env bash
# The installed program: `cmake --install` into a temporary prefix, moved
# elsewhere and run from another folder, must find its module and host
# libraries; `cpack -G DEB` must package the same files with the package
# dependencies of the libraries they link.
# Usage: check-install.sh BUILD_FOLDER
set -euo pipefail
build="$1"
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
# veldra hands pictures to the image program, so that it starts without
# loading the image library.
[ -x "$work/moved/lib/veldra/veldra-images" ] || fail "no image program in lib/veldra"
if readelf -d "$veldra" | grep NEEDED | grep -q OpenImageIO; then
  fail "veldra loads the image library at start; only veldra-images may"
fi

cd "$build"
cpack -G DEB -B "$work/package" >/dev/null || fail "cpack -G DEB failed"
deb="$(ls "$work"/package/*.deb)"
contents="$(dpkg-deb -c "$deb" | awk '{print $6}')"
for file in ./usr/bin/veldra ./usr/lib/veldra/veldra-images ./usr/lib/veldra/VELDRA.FLT ./usr/lib/veldra/libflt.so ./usr/lib/veldra/libbmm.so \
            ./usr/lib/veldra/libcore.so ./usr/lib/veldra/libgeom.so ./usr/lib/veldra/libwin32stub.so; do
  grep -qx "$file" <<<"$contents" || fail "$file is not in the package"
done
depends="$(dpkg-deb -f "$deb" Depends)"
for package in libopenimageio libstdc++6 libc6; do
  grep -q "$package" <<<"$depends" || fail "the package does not depend on $package: $depends"
done
echo "check-install: installed tree and package are complete"
