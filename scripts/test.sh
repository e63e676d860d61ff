#!/usr/bin/env bash
# Runs every test: the format check, the native build, the sanitizer build
# and the 64-bit and 32-bit Windows builds under Wine (the 32-bit build's
# installer holds the 64-bit build's module too). Installs what it needs
# first.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/wine-prefix.sh >/dev/null
scripts/wine-prefix.sh --win64 >/dev/null

echo "== format"
scripts/check-format.sh

# The native build's farm tests run against a Slurm cluster of two nodes on
# this machine; it is stopped on the way out, whatever happens.
stop_cluster() { scripts/local-slurm.sh stop >/dev/null || true; }

for preset in native sanitize windows64 windows; do
  echo "== $preset: build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "== $preset: test"
  if [ "$preset" = native ]; then
    started=""
    if ! scripts/local-slurm.sh status >/dev/null 2>&1; then
      trap stop_cluster EXIT
      scripts/local-slurm.sh start --nodes 2
      started=1
    fi
    (eval "$(scripts/local-slurm.sh env)" && VELDRA_REQUIRE_CLUSTER=1 ctest --preset "$preset")
    if [ -n "$started" ]; then
      stop_cluster
      trap - EXIT
    fi
  else
    env -u SLURM_CONF ctest --preset "$preset"
  fi
done
echo "== fuzz: build, then run the render pass fuzzer for 60 seconds"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
mkdir -p build/fuzz/corpus
build/fuzz/bin/render_fuzzer -max_total_time=60 -print_final_stats=1 build/fuzz/corpus tests/fuzz/seeds
echo "All tests passed in the native, sanitize, windows64 and windows builds; the fuzzer found nothing."
