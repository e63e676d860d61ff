#!/usr/bin/env bash
# Creates one of the project's own Wine prefixes once, quietly: no Mono or
# Gecko installer windows, and the null display driver so dialogs run
# headless. Prints the prefix's path.
#
#   wine-prefix.sh           32-bit Windows (build/wine-prefix): 32-bit programs only
#   wine-prefix.sh --win64   64-bit Windows (build/wine-prefix64): 64-bit and 32-bit programs
set -euo pipefail
build="$(cd "$(dirname "$0")/.." && pwd)/build"
if [ "${1:-}" = --win64 ]; then
  arch=win64 prefix="${VELDRA_WINEPREFIX64:-$build/wine-prefix64}"
else
  arch=win32 prefix="${VELDRA_WINEPREFIX:-$build/wine-prefix}"
fi
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
if [ ! -f "$prefix/.veldra-ready" ]; then
  export WINEPREFIX="$prefix" WINEARCH="$arch" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  rm -rf "$prefix"
  wineboot --init >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  wineserver --wait
  touch "$prefix/.veldra-ready"
fi
echo "$prefix"
