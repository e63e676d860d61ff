#!/usr/bin/env bash
# The render benchmarks in one table: ProcessFrame of the native module
# beside OpenCV's warpPerspective (interleaved, in one process), the 32-bit
# and 64-bit Windows modules under Wine on the same frames, and the native
# size curve. Builds what it needs (the native, windows and windows64
# presets) first.
#
#   bench/run-benchmarks.sh [Google Benchmark flags for the native run]
#
# Not part of the tests: it takes a few minutes, and its figures depend on
# the machine and on what else runs on it; run it on a quiet machine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --bench
for preset in native windows windows64; do
  cmake --preset "$preset" >/dev/null
done
cmake --build --preset native --target render_benchmark
cmake --build --preset windows --target windows_benchmark
cmake --build --preset windows64 --target windows_benchmark

figures="$(mktemp)" figures64="$(mktemp)"
trap 'rm -f "$figures" "$figures64"' EXIT
echo "== the 32-bit Windows module under Wine"
scripts/wine-run.sh build/windows/bin/windows_benchmark.exe | tee "$figures"
echo "== the 64-bit Windows module under Wine"
scripts/wine-run.sh --win64 build/windows64/bin/windows_benchmark.exe | tee "$figures64"
echo "== the native module, OpenCV beside it"
build/native/bin/render_benchmark --windows="$figures" --windows64="$figures64" "$@"
echo
echo "$(date -u +%Y-%m-%d), $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores," \
     "load average $(cut -d' ' -f1-3 /proc/loadavg)"
