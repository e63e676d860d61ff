#!/usr/bin/env bash
# The installed program: `cmake --install` into a temporary prefix, moved
# elsewhere and run from another folder, must find its module and host
# libraries; `cpack -G DEB` must package the same files with the package
# dependencies of the libraries they link. With PYTHON and the Python
# package's folder (relative to the prefix), the moved tree's package must
# import and turn a picture, and the package must not be in the .deb.
# Usage: check-install.sh BUILD_FOLDER [PYTHON PYTHON_FOLDER]
set -euo pipefail
build="$1"
python="${2:-}"
python_folder="${3:-}"
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
if [ -n "$python" ]; then
  PYTHONPATH="$work/moved/$python_folder" "$python" -c '
import numpy, veldra
turned = veldra.turn(numpy.full((4, 6, 3), 200, numpy.uint8), veldra.Params(axis="z", start=30, end=30))
assert turned.shape == (4, 6, 3) and veldra.module_info()["module"].startswith("'"$work/moved/lib/veldra/"'")
' || fail "the installed Python package does not import or turn a picture"
fi
if readelf -d "$veldra" "$work"/moved/lib/veldra/* ${python:+"$work/moved/$python_folder"/veldra*.so} \
    | grep -E 'R(UN)?PATH' | grep -q "$build"; then
  fail "an installed file still points into the build folder"
fi

cd "$build"
cpack -G DEB -B "$work/package" >/dev/null || fail "cpack -G DEB failed"
deb="$(ls "$work"/package/*.deb)"
contents="$(dpkg-deb -c "$deb" | awk '{print $6}')"
for file in ./usr/bin/veldra ./usr/lib/veldra/VELDRA.FLT ./usr/lib/veldra/libflt.so ./usr/lib/veldra/libbmm.so \
            ./usr/lib/veldra/libcore.so ./usr/lib/veldra/libgeom.so ./usr/lib/veldra/libwin32stub.so; do
  grep -qx "$file" <<<"$contents" || fail "$file is not in the package"
done
grep -q python <<<"$contents" && fail "the package holds the Python package, which needs dependencies of its own"
depends="$(dpkg-deb -f "$deb" Depends)"
for package in libopenimageio libstdc++6 libc6; do
  grep -q "$package" <<<"$depends" || fail "the package does not depend on $package: $depends"
done
echo "check-install: installed tree and package are complete"
