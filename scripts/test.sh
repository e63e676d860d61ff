#!/usr/bin/env bash
# Runs every test: the native build, the sanitizer build and the 32-bit
# Windows build under Wine. Installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/wine-prefix.sh >/dev/null

for preset in native sanitize windows; do
  echo "== $preset: build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "== $preset: test"
  ctest --preset "$preset"
done
echo "All tests passed in the native, sanitize and windows builds."
