#!/usr/bin/env bash
# The main job: installs what the native demo needs, builds veldra and the
# module, and runs `veldra demo` in the folder this script was started from
# (DIR, default veldra-demo, is taken from there too).
set -euo pipefail
here="$PWD"
project="$(cd "$(dirname "$0")/.." && pwd)"

"$project/scripts/install-deps.sh" --demo
cd "$project"
cmake --preset native >/dev/null
cmake --build --preset native --target veldra
cd "$here"
"$project/build/native/bin/veldra" demo "$@"
