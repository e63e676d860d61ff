#!/usr/bin/env bash
# Builds a release into dist/: the Debian packages, veldra and
# python3-veldra (checked with lintian), the Windows installer (the 32-bit
# and the 64-bit module), the source archive (git archive of HEAD), the
# Python package's wheel for this platform (built from that archive, as pip
# builds it) and SHA256SUMS over them. Installs what it needs first. The
# packages are built from the working tree and the archive from HEAD, so the
# tree must have no uncommitted changes.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
  echo "release.sh: the tree has uncommitted changes; commit them so that the packages match the source archive" >&2
  exit 1
fi
scripts/install-deps.sh

cmake --preset native >/dev/null
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/native/CMakeCache.txt)"
cmake --build --preset native --target deb
debs=()
for package in veldra python3-veldra; do
  debs+=("build/native/${package}_${version}_$(dpkg --print-architecture).deb")
done
lintian --fail-on error,warning "${debs[@]}"

for preset in windows64 windows; do
  cmake --preset "$preset" >/dev/null
done
cmake --build --preset windows64 --target veldra_flt
cmake --build --preset windows --target veldra_installer
installer="build/windows/veldra-$version-setup.exe"

rm -rf dist
mkdir dist
cp "${debs[@]}" "$installer" dist/
git archive --format=tar.gz --prefix="veldra-$version/" -o "dist/veldra-$version.tar.gz" HEAD
unpacked="$(mktemp -d)"
trap 'rm -rf "$unpacked"' EXIT
tar -C "$unpacked" -xzf "dist/veldra-$version.tar.gz"
/usr/bin/python3 -m build --wheel --no-isolation --outdir dist "$unpacked/veldra-$version"
(cd dist && sha256sum -- *.deb *.exe *.tar.gz *.whl >SHA256SUMS)
echo "release.sh: dist/ holds veldra $version:"
ls -l dist
