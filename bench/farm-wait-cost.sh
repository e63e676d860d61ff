#!/usr/bin/env bash
# What `veldra farm submit ... --wait` costs while it watches a long shot:
# 50,000 frames of 16 x 16 in chunks of 50 (1,000 tasks), with the
# stand-ins for sbatch and squeue of the farm's tests (tests/farm/fake-slurm)
# and no cluster. A driver plays the farm: two tasks run at a time (each a
# real `veldra farm task` with the variables Slurm sets on nodes node1 and
# node2), the others wait in the queue, and squeue says so. After a first
# minute, when --wait has settled into its pace, it watches for
# SECONDS_WATCHED seconds (60 by default) and prints the CPU time --wait
# used in them, how often it asked squeue and how many frames the driver
# finished meanwhile.
#
#   bench/farm-wait-cost.sh [VELDRA]      (default: build/native/bin/veldra)
#   SECONDS_WATCHED=120 bench/farm-wait-cost.sh
#
# Not part of the tests: it takes a few minutes and its figures depend on
# what else the machine is doing.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
veldra="$(realpath "${1:-$root/build/native/bin/veldra}")"
[ -x "$veldra" ] || { echo "no $veldra: build the native preset first" >&2; exit 1; }
watched="${SECONDS_WATCHED:-60}"
frames=50000
chunk=50
tasks=$((frames / chunk))

work="$(mktemp -d "${TMPDIR:-/tmp}/veldra-wait-bench.XXXXXX")"
waiter=""
finish() {
  [ -z "$waiter" ] || kill "$waiter" 2>/dev/null || true
  rm -rf "$work"
}
trap finish EXIT
cd "$work"

# squeue counts its calls, then answers as the stand-in does.
mkdir slurm bin in out
cp "$root/tests/farm/fake-slurm/"* bin/
mv bin/squeue bin/squeue-answer
cat >bin/squeue <<'EOF'
#!/bin/sh
echo >>"$FAKE_SLURM_DIR/squeue-calls"
exec "$(dirname "$0")/squeue-answer" "$@"
EOF
chmod +x bin/squeue
export PATH="$work/bin:$PATH" FAKE_SLURM_DIR="$work/slurm"

# The queue while tasks FIRST and FIRST+1 run: array job 100, report 101.
say_queue() {
  local first="$1" next=$(($1 + 2))
  {
    echo "100|$first|RUNNING|None|0|"
    echo "100|$((first + 1))|RUNNING|None|0|"
    [ "$next" -ge "$tasks" ] || echo "100|$next-$((tasks - 1))|PENDING|Resources|0|"
    echo "101|N/A|PENDING|Dependency|0|"
  } >slurm/queue.new
  mv slurm/queue.new slurm/queue
}

echo "making $frames input frames (links to one picture)"
oiiotool --pattern fill:color=0.2,0.4,0.6,1 16x16 4 -d uint16 -o base.png
for ((frame = 1; frame <= frames; frame++)); do
  printf -v name 'in/shot.%05d.png' "$frame"
  ln base.png "$name"
done

say_queue 0
start=$(date +%s.%N)
"$veldra" farm submit in/shot.#####.png out/shot.#####.png --axis y --end 90 --chunk "$chunk" --wait \
  >wait.log 2>&1 &
waiter=$!
until [ -s slurm/sbatch-101.txt ]; do sleep 0.2; done
echo "submitted in $(awk "BEGIN { printf \"%.1f\", $(date +%s.%N) - $start }") s; watching for 60 + $watched s"
run="$(ls -d out/.veldra-farm/*)"

# CPU seconds --wait has used so far: its own, and its own with that of
# the commands it ran (squeue), from fields 14 to 17 of its stat.
cpu() {
  sed 's/^.*) //' "/proc/$waiter/stat" |
    awk -v t="$(getconf CLK_TCK)" '{ printf "%.2f %.2f\n", ($12 + $13) / t, ($12 + $13 + $14 + $15) / t }'
}

# The farm: two tasks at a time, one on each node, until the time is up;
# the count starts after the first minute.
watch_start=$(($(date +%s) + 60))
first=0
own0=""
while [ $(($(date +%s) - watch_start)) -lt "$watched" ] && [ "$first" -lt "$tasks" ]; do
  if [ -z "$own0" ] && [ "$(date +%s)" -ge "$watch_start" ]; then
    read -r own0 all0 < <(cpu)
    t0=$(date +%s.%N)
    : >slurm/squeue-calls
    frames0=$(grep -rl "^state=ok" "$run/status" | wc -l)
  fi
  say_queue "$first"
  runners=()
  for node in 1 2; do
    SLURM_ARRAY_JOB_ID=100 SLURM_ARRAY_TASK_ID=$((first + node - 1)) SLURMD_NODENAME="node$node" \
      "$veldra" farm task "$run" 0 >/dev/null 2>&1 &
    runners+=($!)
  done
  wait "${runners[@]}" || true
  first=$((first + 2))
done
say_queue "$first"
while [ $(($(date +%s) - watch_start)) -lt "$watched" ]; do sleep 1; done

kill -0 "$waiter" 2>/dev/null || { echo "--wait ended early:" >&2; cat wait.log >&2; exit 1; }
read -r own1 all1 < <(cpu)
seconds=$(awk "BEGIN { print $(date +%s.%N) - $t0 }")
calls=$(wc -l <slurm/squeue-calls)
done_frames=$(($(grep -rl "^state=ok" "$run/status" | wc -l) - frames0))
awk -v o="$(awk "BEGIN { print $own1 - $own0 }")" -v a="$(awk "BEGIN { print $all1 - $all0 }")" \
    -v w="$seconds" -v c="$calls" -v d="$done_frames" 'BEGIN {
  printf "--wait over %.0f s: %.2f s of CPU (%.2f s a minute), %.2f s with the squeue it ran;\n", w, o, o * 60 / w, a
  printf "squeue every %.1f s; %d frames done meanwhile\n", c ? w / c : 0, d }'
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
