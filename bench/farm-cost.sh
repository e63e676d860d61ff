#!/usr/bin/env bash
# What `veldra farm` costs over rendering on the machine itself: the same
# shot through `veldra render -j CORES` and through a one-node Slurm
# cluster on the same cores (`veldra farm submit ... --chunk FRAMES/CORES
# --wait`, one task a core, from submission to the end of the wait), for
# 48 frames of 640 x 360 and 48 of 1920 x 1080 (16-bit RGBA PNG). Also the
# start-up of veldra itself (`--version`, `farm status` of a finished run).
# Prints a table of best and median times over RUNS runs, with the
# machine's load before and after.
#
#   bench/farm-cost.sh [VELDRA]      (default: build/native/bin/veldra)
#   RUNS=5 bench/farm-cost.sh        (default 3)
#
# It uses the cluster SLURM_CONF names when that one answers; otherwise it
# starts a one-node cluster of its own (scripts/local-slurm.sh, in its
# scratch folder, ports VELDRA_SLURM_PORT and the next, default 17837) and
# stops it at the end. Not part of the tests: it takes a few minutes and
# its figures depend on what else the machine is doing.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
veldra="$(realpath "${1:-$root/build/native/bin/veldra}")"
[ -x "$veldra" ] || { echo "no $veldra: build the native preset first" >&2; exit 1; }
runs="${RUNS:-3}"
cores="$(nproc)"
frames=48
scratch="${TMPDIR:-$( [ -d /dev/shm ] && echo /dev/shm || echo /tmp )}"
work="$(mktemp -d "$scratch/veldra-farm-bench.XXXXXX")"
own_cluster=""
finish() {
  if [ -n "$own_cluster" ]; then
    VELDRA_SLURM_DIR="$work/slurm" VELDRA_SLURM_PORT="$own_cluster" "$root/scripts/local-slurm.sh" stop >/dev/null || true
  fi
  rm -rf "$work"
}
trap finish EXIT
cd "$work"

if [ -z "${SLURM_CONF:-}" ] || ! scontrol ping >/dev/null 2>&1; then
  own_cluster="${VELDRA_SLURM_PORT:-17837}"
  VELDRA_SLURM_DIR="$work/slurm" VELDRA_SLURM_PORT="$own_cluster" "$root/scripts/local-slurm.sh" start >/dev/null
  eval "$(VELDRA_SLURM_DIR="$work/slurm" VELDRA_SLURM_PORT="$own_cluster" "$root/scripts/local-slurm.sh" env)"
fi

now() { date +%s.%N; }
calc() { awk "BEGIN { print $1 }"; }
# "best median" of the times (seconds) on standard input.
stats() { sort -g | awk '{ t[NR] = $1 } END { printf "%.2f %.2f", t[1], t[int((NR + 1) / 2)] }'; }
load() { cut -d' ' -f1-3 /proc/loadavg; }

# One shot's figures: WIDTHxHEIGHT; prints a table row.
shot() {
  local size="$1" name="shot-$1" i start local_times="" farm_times=""
  mkdir -p "$name/in"
  oiiotool --pattern fill:topleft=0.1,0.2,0.3,1:topright=0.9,0.5,0.1,1:bottomleft=0.2,0.8,0.4,0.5:bottomright=1,1,1,0.5 \
           "$size" 4 -d uint16 --attrib png:compressionLevel 1 -o "$name/base.png"
  for i in $(seq 1 $frames); do cp "$name/base.png" "$name/in/f.$(printf %04d "$i").png"; done
  cd "$name"
  for i in $(seq 1 "$runs"); do
    rm -rf local && mkdir local
    start=$(now)
    "$veldra" render in/f.####.png local/f.####.png --axis y --end 90 -j "$cores" --quiet 2>/dev/null
    local_times+="$(calc "$(now) - $start")"$'\n'
    rm -rf out && mkdir out
    start=$(now)
    # One chunk a core (at least one frame a chunk on a machine with more
    # cores than frames).
    "$veldra" farm submit in/f.####.png out/f.####.png --axis y --end 90 \
      --chunk $(((frames + cores - 1) / cores)) --wait >farm.log 2>&1 ||
      { echo "the farm run failed:" >&2; cat farm.log >&2; exit 1; }
    farm_times+="$(calc "$(now) - $start")"$'\n'
    cmp -s out/f.0048.png local/f.0048.png || { echo "farm and local frames differ" >&2; exit 1; }
  done
  cd ..
  read -r local_best local_median <<<"$(printf %s "$local_times" | stats)"
  read -r farm_best farm_median <<<"$(printf %s "$farm_times" | stats)"
  printf '| %s x %s | %s / %s | %s / %s | %.2f |\n' "${size%x*}" "${size#*x}" "$local_best" "$local_median" \
         "$farm_best" "$farm_median" "$(calc "$farm_median / $local_median")"
}

# Best and median of RUNS x 10 runs of a command, in milliseconds.
startup() {
  local i start times=""
  for i in $(seq 1 $((runs * 10))); do
    start=$(now)
    "$@" >/dev/null 2>&1 || true
    times+="$(calc "($(now) - $start) * 1000")"$'\n'
  done
  printf %s "$times" | stats
}

echo "veldra farm cost: $frames frames, $cores cores, $runs runs each; load before: $(load)"
echo
echo "| shot | veldra render -j $cores (best / median, s) | farm submit --wait (best / median, s) | farm / render (medians) |"
echo "|---|---|---|---|"
shot 640x360
shot 1920x1080
run="$(ls -d shot-640x360/out/.veldra-farm/* | tail -1)"
echo
echo "| start-up | best / median (ms) |"
echo "|---|---|"
printf '| veldra --version | %s / %s |\n' $(startup "$veldra" --version)
printf '| veldra farm status (48 frames, finished) | %s / %s |\n' $(startup "$veldra" farm status "$run")
echo
echo "load after: $(load)"
