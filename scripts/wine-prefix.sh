#!/usr/bin/env bash
# Creates the project's own Wine prefix once, quietly: no Mono or Gecko
# installer windows, and the null display driver so dialogs run headless.
# Prints the prefix's path.
set -euo pipefail
prefix="${VELDRA_WINEPREFIX:-$(cd "$(dirname "$0")/.." && pwd)/build/wine-prefix}"
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
if [ ! -f "$prefix/.veldra-ready" ]; then
  export WINEPREFIX="$prefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  rm -rf "$prefix"
  wineboot --init >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  wineserver --wait
  touch "$prefix/.veldra-ready"
fi
echo "$prefix"
