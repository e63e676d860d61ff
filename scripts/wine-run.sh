#!/usr/bin/env bash
# Runs a Windows program of the build under Wine, in the project's prefix:
# the 32-bit one, or with --win64 first the 64-bit one.
#
#   wine-run.sh [--win64] PROGRAM [ARGUMENTS...]
set -euo pipefail
flags=()
[ "${1:-}" != --win64 ] || { flags=(--win64); shift; }
prefix="$("$(dirname "$0")/wine-prefix.sh" "${flags[@]}")"
export WINEPREFIX="$prefix" WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="mscoree,mshtml="
exec wine "$@"
