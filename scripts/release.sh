#!/usr/bin/env bash
# Builds a release into dist/: the Debian package (checked with lintian),
# the Windows installer, the source archive (git archive of HEAD) and
# SHA256SUMS over the three. Installs what it needs first. The packages are
# built from the working tree and the archive from HEAD, so the tree must
# have no uncommitted changes.
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
deb="build/native/veldra_${version}_$(dpkg --print-architecture).deb"
lintian --fail-on error,warning "$deb"

cmake --preset windows >/dev/null
cmake --build --preset windows --target veldra_installer
installer="build/windows/veldra-$version-setup.exe"

rm -rf dist
mkdir dist
cp "$deb" "$installer" dist/
git archive --format=tar.gz --prefix="veldra-$version/" -o "dist/veldra-$version.tar.gz" HEAD
(cd dist && sha256sum -- *.deb *.exe *.tar.gz >SHA256SUMS)
echo "release.sh: dist/ holds veldra $version:"
ls -l dist
