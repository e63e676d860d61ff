#!/usr/bin/env bash
# veldra turning a movie against ffmpeg turning it: a 1920 x 1080 ProRes
# 4444 movie of 48 frames turned into a ProRes 4444 movie and into an H.264
# one, by `veldra render` (a constant Y turn of 30 degrees) and by
# `ffmpeg -vf perspective` onto the corners of about that turn, with the
# same codec, both on every core. Runs are interleaved, RUNS of each
# (default 3); prints medians of frames per second, the time ratio, and
# peak memory (resident, of the one process).
#
#   bench/movie-throughput.sh [VELDRA]      (default: build/native/bin/veldra)
#   RUNS=5 bench/movie-throughput.sh
#
# Not part of the tests: a few minutes, and its figures depend on what else
# the machine is doing (the load average is printed before and after).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
veldra="$(realpath "${1:-$root/build/native/bin/veldra}")"
[ -x "$veldra" ] || { echo "no $veldra: build the native preset first" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "no ffmpeg (scripts/install-deps.sh installs it)" >&2; exit 1; }
runs="${RUNS:-3}"
frames=48
scratch="${TMPDIR:-$( [ -d /dev/shm ] && echo /dev/shm || echo /tmp )}"
work="$(mktemp -d "$scratch/veldra-movie-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT
cd "$work"

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
ffmpeg -nostdin -v error -y -f lavfi -i "testsrc2=size=1920x1080:rate=24:duration=2" \
  -vf "format=yuva444p10le,setparams=color_primaries=bt709:color_trc=bt709:colorspace=bt709:range=tv" \
  -c:v prores_ks -profile:v 4444 -pix_fmt yuva444p10le source.mov

# The corners of a turn of 30 degrees about the vertical axis through the
# centre, with the filter's perspective: narrowed by cos 30, the left edge
# taller and the right one shorter.
perspective="perspective=x0=128.6:y0=-67.5:x1=1791.4:y1=67.5:x2=128.6:y2=1147.5:x3=1791.4:y3=1012.5:sense=destination"
declare -A codec=([mov]="-c:v prores_ks -profile:v 4444 -pix_fmt yuva444p10le" [mp4]="-c:v libx264 -pix_fmt yuv420p")

# Runs a command; prints "seconds kilobytes".
measure() {
  /usr/bin/time -f "%e %M" -o time.txt "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  cat time.txt
}
median() { sort -g | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'; }

printf "\n| %-26s | %12s | %12s | %12s | %10s | %10s |\n" "case (48 x 1920 x 1080)" "veldra fps" "ffmpeg fps" "time ratio" "veldra MB" "ffmpeg MB"
printf "|%s|%s|%s|%s|%s|%s|\n" "----------------------------" "--------------" "--------------" "--------------" "------------" "------------"
for out in mov mp4; do
  : >veldra.txt
  : >ffmpeg.txt
  for run in $(seq 1 "$runs"); do
    # Interleaved, each starting first in turn.
    for tool in $([ $((run % 2)) -eq 1 ] && echo "veldra ffmpeg" || echo "ffmpeg veldra"); do
      if [ "$tool" = veldra ]; then
        measure "$veldra" render source.mov "turned.$out" -a y -s 30 -e 30 -q >>veldra.txt
      else
        # shellcheck disable=SC2086
        measure ffmpeg -nostdin -v error -y -i source.mov -vf "$perspective" ${codec[$out]} "turned.$out" >>ffmpeg.txt
      fi
    done
  done
  vt="$(cut -d' ' -f1 veldra.txt | median)"
  ft="$(cut -d' ' -f1 ffmpeg.txt | median)"
  vm="$(cut -d' ' -f2 veldra.txt | median)"
  fm="$(cut -d' ' -f2 ffmpeg.txt | median)"
  name="ProRes 4444 to $([ $out = mov ] && echo "ProRes 4444" || echo "H.264")"
  awk -v n="$name" -v f="$frames" -v vt="$vt" -v ft="$ft" -v vm="$vm" -v fm="$fm" 'BEGIN {
    printf "| %-26s | %12.1f | %12.1f | %12.2f | %10.0f | %10.0f |\n", n, f / vt, f / ft, vt / ft, vm / 1024, fm / 1024 }'
done
echo
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg); $(nproc) cores, $runs runs of each, medians"
