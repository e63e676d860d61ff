#!/usr/bin/env bash
# Runs a Windows program of the build under Wine, in the project's prefix.
set -euo pipefail
prefix="$("$(dirname "$0")/wine-prefix.sh")"
export WINEPREFIX="$prefix" WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="mscoree,mshtml="
exec wine "$@"
