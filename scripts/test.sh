#!/usr/bin/env bash
# Runs every test: the format check, the native build, the sanitizer build
# and the 32-bit Windows build under Wine. Installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/wine-prefix.sh >/dev/null

echo "== format"
scripts/check-format.sh

for preset in native sanitize windows; do
  echo "== $preset: build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "== $preset: test"
  ctest --preset "$preset"
done
echo "== fuzz: build, then run the render pass fuzzer for 60 seconds"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
mkdir -p build/fuzz/corpus
build/fuzz/bin/render_fuzzer -max_total_time=60 -print_final_stats=1 build/fuzz/corpus tests/fuzz/seeds
echo "All tests passed in the native, sanitize and windows builds; the fuzzer found nothing."
