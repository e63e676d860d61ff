#!/usr/bin/env bash
# What a frame costs end to end, as users run veldra, beside programs that
# do the same work on the same frames:
#
#   - CPU seconds (user + system) of `veldra render -j1` over 8 grainy
#     1920 x 1080 frames, against ffmpeg's `perspective` filter with a
#     similar squeeze (PNG at deflate level 1 on both sides), and for EXR
#     against `oiiotool` merely copying the frames;
#   - start-up: `veldra render` of a 64 x 36 PNG and TIFF;
#   - `veldra.turn` in Python against ProcessFrame's own time on the same
#     frame (render_benchmark);
#   - `-j2` against `-j1` in wall time on 16-bit PNG and TIFF.
#
#   bench/frame-cost.sh [BUILD]       (default: build/native)
#
# Frames are made on the fly in a memory-backed folder, repetitions of the
# programs interleaved, each figure the best of 3 (other work only ever
# slows a run down). Not part of the tests: its figures are the machine's,
# printed with the load average; run it on a quiet machine.
set -euo pipefail
cd "$(dirname "$0")/.."

build="$(realpath "${1:-build/native}")"
veldra="$build/bin/veldra"
[ -x "$veldra" ] || { echo "no $veldra: build the native preset first" >&2; exit 1; }
for tool in ffmpeg oiiotool; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: scripts/install-deps.sh --bench" >&2; exit 1; }
done
repeats=3
frames=8
scratch="${TMPDIR:-$( [ -d /dev/shm ] && echo /dev/shm || echo /tmp )}"
work="$(mktemp -d "$scratch/veldra-frame-cost.XXXXXX")"
trap 'rm -rf "$work"' EXIT

load() { cut -d' ' -f1-3 /proc/loadavg; }
calc() { awk "BEGIN { print $1 }"; }
min() { calc "($1 < $2) ? $1 : $2"; }
# CPU seconds (user + system) of a command, its output discarded.
cpu() {
  local TIMEFORMAT='%U %S'
  { time "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }; } 2>"$work/time"
  awk '{ print $1 + $2 }' "$work/time"
}
wall() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  end=$(date +%s.%N)
  calc "$end - $start"
}

echo "Making $frames grainy 1920 x 1080 frames in each format (load average $(load))"
cd "$work"
mkdir -p in out
for f in $(seq 1 $frames); do
  n=$(printf %04d "$f")
  # Smooth 16-bit gradients, a half-transparent lower half and grain, as a
  # rendered frame has; each frame its own grain.
  oiiotool --pattern fill:topleft=0.1,0.2,0.3,1:topright=0.9,0.5,0.1,1:bottomleft=0.2,0.8,0.4,0.5:bottomright=1,1,1,0.5 \
           1920x1080 4 --pattern "noise:type=gaussian:mean=0:stddev=0.02:seed=$f" 1920x1080 4 --add \
           -d uint16 --compression none -o "in/rgba16.$n.tif" \
           -d uint16 --attrib png:compressionLevel 1 -o "in/rgba16.$n.png" \
           -d half --compression zip -o "in/half.$n.exr" \
           --ch R,G,B -d uint8 --attrib png:compressionLevel 1 -o "in/rgb8.$n.png"
done
oiiotool "in/rgba16.0001.png" --resize 64x36 -o in/tiny.png -o in/tiny.tif

turn=(--axis y --pivot center --start 30 --end 30)
squeeze="perspective=x0=W*0.07:y0=H*0.03:x1=W*0.93:y1=0:x2=W*0.07:y2=H*0.97:x3=W*0.93:y3=H"
ours() { "$veldra" render "in/$1.####.$2" "out/$1.####.$2" "${turn[@]}" -j "${3:-1}" --quiet; }
theirs() {
  case "$2" in
    exr) oiiotool --frames "1-$frames" "in/$1.%04d.exr" -o "out/copy.%04d.exr" ;;
    tif) ffmpeg -v error -y -i "in/$1.%04d.tif" -vf "$squeeze" -compression_algo raw "out/ff.%04d.tif" ;;
    *) ffmpeg -v error -y -i "in/$1.%04d.$2" -vf "$squeeze" -compression_level 1 "out/ff.%04d.$2" ;;
  esac
}

cases=("rgba16 png 16-bit RGBA PNG" "rgb8 png 8-bit RGB PNG" "rgba16 tif 16-bit RGBA TIFF, uncompressed"
       "half exr half RGBA EXR, zip")
declare -A best_ours best_theirs
for _ in $(seq 1 $repeats); do
  for c in "${cases[@]}"; do
    read -r name ext _ <<<"$c"
    best_ours[$name.$ext]=$(min "$(cpu ours "$name" "$ext")" "${best_ours[$name.$ext]:-1e9}")
    best_theirs[$name.$ext]=$(min "$(cpu theirs "$name" "$ext")" "${best_theirs[$name.$ext]:-1e9}")
  done
done

echo
echo "CPU seconds for $frames frames, best of $repeats (load average $(load))"
echo "| frames | veldra | other | veldra / other | target |"
echo "|---|---|---|---|---|"
for c in "${cases[@]}"; do
  read -r name ext words <<<"$c"
  case "$name.$ext" in
    rgba16.png) target=0.5 other=ffmpeg ;;
    rgb8.png) target=0.6 other=ffmpeg ;;
    rgba16.tif) target=0.5 other=ffmpeg ;;
    half.exr) target=1.0 other="oiiotool copy" ;;
  esac
  o=${best_ours[$name.$ext]} t=${best_theirs[$name.$ext]}
  printf '| %s (%s) | %.2f | %.2f | %.2f | %s |\n' "$words" "$other" "$o" "$t" "$(calc "$o / $t")" "$target"
done

echo
for ext in png tif; do
  s=1e9 c=1e9
  for _ in $(seq 1 10); do
    s=$(min "$(wall "$veldra" render "in/tiny.$ext" "out/tiny.$ext" "${turn[@]}" --quiet)" "$s")
    c=$(min "$(cpu "$veldra" render "in/tiny.$ext" "out/tiny.$ext" "${turn[@]}" --quiet)" "$c")
  done
  printf 'start-up: veldra render of a 64 x 36 %s: %.3f s wall, %.3f s CPU, best of 10 (target: at most 0.06 s)\n' \
         "${ext^^}" "$s" "$c"
done

echo
for ext in png tif; do
  one=1e9 two=1e9
  for _ in $(seq 1 $repeats); do
    one=$(min "$(wall ours rgba16 "$ext" 1)" "$one")
    two=$(min "$(wall ours rgba16 "$ext" 2)" "$two")
  done
  printf 'frames in parallel, 16-bit %s: -j1 %.2f s, -j2 %.2f s wall, -j2 / -j1 %.2f (target: at most 0.55 on 2 free cores)\n' \
         "${ext^^}" "$one" "$two" "$(calc "$two / $one")"
done

echo
cd - >/dev/null
native="-"
if [ -x "$build/bin/render_benchmark" ]; then
  native=$("$build/bin/render_benchmark" '--benchmark_filter=^turn/Y 30 lower/1920x1080' 2>/dev/null |
           awk '$1 == "Y" && $2 == "30" && $4 == "1920x1080" { print $5 }')
fi
if ls "$build"/python/veldra/__init__*.so >/dev/null 2>&1; then
  python=$(PYTHONPATH="$build/python" /usr/bin/python3 - <<'EOF'
import time
import numpy as np
import veldra
rng = np.random.default_rng(0)
picture = rng.integers(0, 65536, (1080, 1920, 4), dtype=np.uint16)
picture[..., 3] = 65535
params = veldra.Params(axis="y", pivot="lower", start=30, end=30)
best = 1e9
for _ in range(15):
    start = time.perf_counter()
    veldra.turn(picture, params)
    best = min(best, time.perf_counter() - start)
print(f"{best * 1e9 / (1920 * 1080):.2f}")
EOF
)
  ratio=$( [ "$native" != "-" ] && [ -n "$native" ] && printf '%.2f' "$(calc "$python / $native")" || echo "-")
  printf 'veldra.turn of a 1080p 16-bit RGBA array (Y 30 lower): %s ns a pixel; ProcessFrame: %s; ratio %s (target: at most 1.3)\n' \
         "$python" "${native:--}" "$ratio"
else
  echo "no Python package in $build/python: veldra.turn not measured"
fi

echo
echo "$(date -u +%Y-%m-%d), $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores, load average $(load)"
