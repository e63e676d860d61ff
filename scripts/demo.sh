#!/usr/bin/env bash
# The main job: installs what it needs, builds, and runs `veldra demo`.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native
build/native/bin/veldra demo "$@"
