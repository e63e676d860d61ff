#!/usr/bin/env bash
# Throughput of `veldra render` on a 100-frame 1920 x 1080 16-bit RGBA
# sequence, as PNG and as uncompressed TIFF: with one job and with one job
# per core, beside `oiiotool` merely reading and writing the same sequence
# in the same format. Prints frames per second and the ratios.
#
#   bench/cli-throughput.sh [VELDRA]     (default: build/native/bin/veldra)
#
# Not part of the tests: it takes a minute or two and its figures depend on
# the machine and on what else runs on it.
set -euo pipefail
cd "$(dirname "$0")/.."

veldra="$(realpath "${1:-build/native/bin/veldra}")"
[ -x "$veldra" ] || { echo "no $veldra: build the native preset first" >&2; exit 1; }
frames=100
cores="$(nproc)"
# In memory where there is room, so that the figures measure the programs
# rather than the disk's write-back (TMPDIR overrides).
scratch="${TMPDIR:-$( [ -d /dev/shm ] && echo /dev/shm || echo /tmp )}"
work="$(mktemp -d "$scratch/veldra-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
cd "$work"

# A frame with smooth 16-bit gradients, a half-transparent lower half and a
# little grain in the low bits, as a rendered frame has.
oiiotool --pattern fill:topleft=0.1,0.2,0.3,1:topright=0.9,0.5,0.1,1:bottomleft=0.2,0.8,0.4,0.5:bottomright=1,1,1,0.5 \
         1920x1080 4 \
         --pattern noise:type=gaussian:mean=0:stddev=0.0005 1920x1080 4 --add \
         -d uint16 --compression none -o base.tif
oiiotool base.tif --attrib png:compressionLevel 1 -o base.png

calc() { awk "BEGIN { print $1 }"; }
seconds() { local start end; start=$(date +%s.%N); "$@" >/dev/null; end=$(date +%s.%N); calc "$end - $start"; }
# The best of N runs: other work on the machine only ever slows a run.
best() {
  local n=$1 t fastest; shift
  fastest=$(seconds "$@")
  for _ in $(seq 2 "$n"); do
    t=$(seconds "$@")
    fastest=$(calc "($t < $fastest) ? $t : $fastest")
  done
  echo "$fastest"
}
fps() { printf '%.1f' "$(calc "$frames / $1")"; }

echo "veldra render throughput: $frames frames of 1920 x 1080, 16-bit RGBA, $cores cores"
for ext in tif png; do
  runs=$([ "$ext" = tif ] && echo 2 || echo 1)  # PNG runs take minutes
  mkdir -p "in-$ext" "out-$ext" "copy-$ext"
  for i in $(seq 1 $frames); do cp "base.$ext" "in-$ext/f.$(printf %04d "$i").$ext"; done
  sync

  copy=$(best "$runs" oiiotool --frames 1-$frames "in-$ext/f.#.$ext" --attrib png:compressionLevel 1 -o "copy-$ext/f.#.$ext")
  one=$(best "$runs" "$veldra" render "in-$ext/f.####.$ext" "out-$ext/f.####.$ext" --axis y --start 0 --end 90 --jobs 1 --quiet)
  all=$(best "$runs" "$veldra" render "in-$ext/f.####.$ext" "out-$ext/f.####.$ext" --axis y --start 0 --end 90 --jobs "$cores" --quiet)

  name=$([ "$ext" = tif ] && echo "uncompressed TIFF" || echo "PNG (deflate level 1)")
  echo
  echo "$name"
  printf '  oiiotool copy          %6.2f s  %6s fps\n' "$copy" "$(fps "$copy")"
  printf '  veldra --jobs 1        %6.2f s  %6s fps\n' "$one" "$(fps "$one")"
  printf '  veldra --jobs %-2s       %6.2f s  %6s fps\n' "$cores" "$all" "$(fps "$all")"
  printf '  veldra --jobs %s time / oiiotool copy time: %.2f (target: at most 1.0 for TIFF)\n' "$cores" \
         "$(calc "$all / $copy")"
  printf '  speed-up of --jobs %s over --jobs 1: %.2f (target: at least 1.7 with 2 cores)\n' "$cores" \
         "$(calc "$one / $all")"
  rm -rf "in-$ext" "out-$ext" "copy-$ext"
done

# One frame written as PNG at veldra's default level, against the library's
# default (level 6), for the cost of compression alone.
echo
for level in 1 6; do
  t=$(seconds "$veldra" render base.tif "level$level.png" --compression "$level" --quiet)
  printf 'one frame, TIFF in, PNG out at level %s: %.2f s (whole run, start-up included), %s bytes\n' \
         "$level" "$t" "$(stat -c %s "level$level.png")"
done
