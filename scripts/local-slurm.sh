#!/usr/bin/env bash
# A Slurm cluster of one or more nodes on this machine, for trying `veldra
# farm` and for its tests. Everything lives under build/local-slurm: its own
# slurm.conf, munge key and socket, state folder, each node's spool folder,
# logs and the PIDs of the daemons it started. Nothing listens beyond
# 127.0.0.1, and the ports are not Slurm's defaults, so it does not meet a
# real cluster.
#
#   scripts/local-slurm.sh start [--nodes N]
#                                   start munged, slurmctld and a slurmd for
#                                   each of the nodes node1..nodeN (1 by default)
#   scripts/local-slurm.sh stop     cancel its jobs, stop what it started
#   scripts/local-slurm.sh status   say whether it runs, and its nodes' states
#   scripts/local-slurm.sh env      print the line to eval: export SLURM_CONF=...
#   scripts/local-slurm.sh stop-controller, start-controller
#                                   stop or start slurmctld alone (the nodes
#                                   and their jobs go on), as in an outage
#   scripts/local-slurm.sh freeze-controller, thaw-controller
#                                   hold slurmctld still (SIGSTOP) and let it
#                                   go on (SIGCONT): a controller that takes
#                                   requests and answers them only later
#   scripts/local-slurm.sh kill-node NAME
#                                   the node dies: its slurmd and every
#                                   process it started are killed at once
#   scripts/local-slurm.sh freeze-node NAME, thaw-node NAME
#                                   stop or continue the node's slurmd alone:
#                                   the controller loses the node, whose jobs
#                                   go on, as behind a network partition
#   scripts/local-slurm.sh start-node NAME
#                                   start a killed node's slurmd again
#
# VELDRA_SLURM_DIR and VELDRA_SLURM_PORT (the controller's port; node K
# takes the K-th after it) choose another folder and ports, e.g. for two
# clusters at once. VELDRA_SLURM_NODE_TIMEOUT is how many seconds a node
# may not answer before the controller counts it down (30 by default).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${VELDRA_SLURM_DIR:-$root/build/local-slurm}"
ctld_port="${VELDRA_SLURM_PORT:-17817}"
node_timeout="${VELDRA_SLURM_NODE_TIMEOUT:-30}"
conf="$dir/slurm.conf"
socket="$dir/munge-socket/munge.socket"
# Without SLURM_CONF the Slurm commands look for a controller through DNS.
export SLURM_CONF="$conf"

running() { [ -f "$dir/$1.pid" ] && kill -0 "$(cat "$dir/$1.pid")" 2>/dev/null; }

# The nodes of the cluster as its configuration names them.
nodes() { sed -n 's/^NodeName=\([^ ]*\) .*/\1/p' "$conf" 2>/dev/null; }

# Starts `$@` in the background, records its PID as $dir/NAME.pid.
launch() {
  local name="$1"
  shift
  "$@" >>"$dir/log/$name.out" 2>&1 &
  echo $! >"$dir/$name.pid"
}

# Waits for `$@` to succeed, up to two minutes: daemons start slowly on a
# loaded machine, and only one that never answers should fail the start.
wait_for() {
  local i
  for i in $(seq 1200); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

write_conf() {
  # Each node as slurmd sees this machine, with a little less memory than
  # it reports: a node that claims more than it has is marked invalid.
  local count="$1" node cpus sockets cores threads memory i names
  node="$(slurmd -C | head -1)"
  field() { sed -n "s/.*\b$1=\([0-9]*\).*/\1/p" <<<"$node"; }
  cpus="$(field CPUs)"
  sockets="$(field SocketsPerBoard)"
  cores="$(field CoresPerSocket)"
  threads="$(field ThreadsPerCore)"
  memory=$(($(field RealMemory) * 9 / 10))
  names="node1"
  [ "$count" -gt 1 ] && names="node[1-$count]"
  # %n in a path is the node's name: each slurmd has its own spool folder,
  # PID file and log.
  cat >"$conf" <<EOF
# Written by scripts/local-slurm.sh: a cluster of $count node(s) on 127.0.0.1.
ClusterName=veldra-local
SlurmctldHost=localhost(127.0.0.1)
SlurmctldPort=$ctld_port
CommunicationParameters=NoCtldInAddrAny,NoInAddrAny
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$socket,cred_expire=10
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool/%n
SlurmctldPidFile=$dir/run/slurmctld.pid
SlurmdPidFile=$dir/run/slurmd-%n.pid
SlurmctldLogFile=$dir/log/slurmctld.log
SlurmdLogFile=$dir/log/slurmd-%n.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
SchedulerParameters=batch_sched_delay=0,sched_interval=2
AccountingStorageType=accounting_storage/none
JobAcctGatherType=jobacct_gather/none
JobCompType=jobcomp/filetxt
JobCompLoc=$dir/log/jobcomp.txt
MpiDefault=none
ReturnToService=2
SlurmctldTimeout=30
SlurmdTimeout=$node_timeout
EOF
  for i in $(seq "$count"); do
    echo "NodeName=node$i NodeHostname=$(hostname) NodeAddr=127.0.0.1 Port=$((ctld_port + i)) CPUs=$cpus" \
      "Sockets=$sockets CoresPerSocket=$cores ThreadsPerCore=$threads RealMemory=$memory State=UNKNOWN" >>"$conf"
  done
  echo "PartitionName=local Nodes=$names Default=YES MaxTime=INFINITE State=UP" >>"$conf"
}

# `sinfo` says the node takes jobs.
node_ready() { sinfo -h -n "$1" -o %t | grep -Eq '^(idle|mix|alloc)$'; }

# Starts the slurmd of node NAME and waits until it takes jobs.
start_slurmd() {
  mkdir -p "$dir/spool/$1"
  launch "slurmd-$1" slurmd -D -N "$1" -f "$conf"
  wait_for node_ready "$1"
}

start() {
  local count=1
  if [ "${1:-}" = "--nodes" ]; then
    count="${2:-}"
    [[ "$count" =~ ^[1-9][0-9]?$ ]] || { echo "local-slurm: --nodes takes a number from 1 to 99" >&2; exit 2; }
  elif [ -n "${1:-}" ]; then
    echo "local-slurm: start takes only --nodes N" >&2
    exit 2
  fi
  if running slurmctld; then
    echo "local-slurm: already running ($conf)"
    return 0
  fi
  command -v slurmctld >/dev/null || { echo "local-slurm: slurmctld not found (run scripts/install-deps.sh)" >&2; exit 1; }
  # The controller's state is kept, so that job ids are never handed out
  # twice (farm folders refer to them); jobs left from a session that was
  # not stopped are cancelled once it is up.
  mkdir -p "$dir/state" "$dir/spool" "$dir/run" "$dir/log" "$dir/munge"
  chmod 0700 "$dir/munge"
  # munged refuses a key readable by others, and runs as root only with its
  # own key; its socket folder must be searchable by everyone.
  [ -f "$dir/munge.key" ] || mungekey --create --keyfile="$dir/munge.key"
  chmod 0600 "$dir/munge.key"
  mkdir -p "$dir/munge-socket"
  chmod 0755 "$dir/munge-socket"
  write_conf "$count"

  launch munged munged --foreground --force --socket="$socket" --key-file="$dir/munge.key" \
    --pid-file="$dir/munge/munged.pid" --seed-file="$dir/munge/munged.seed" --log-file="$dir/log/munged.log"
  wait_for test -S "$socket" || { echo "local-slurm: munged did not start (see $dir/log/munged.log)" >&2; stop; exit 1; }
  launch slurmctld slurmctld -D -f "$conf"
  wait_for scontrol ping || { echo "local-slurm: slurmctld did not start (see $dir/log/slurmctld.log)" >&2; stop; exit 1; }
  local name
  for name in $(nodes); do
    if ! start_slurmd "$name"; then
      echo "local-slurm: node $name did not come up (see $dir/log/slurmd-$name.log)" >&2
      stop
      exit 1
    fi
  done
  scancel --user=root 2>/dev/null || true
  echo "local-slurm: running $count node(s); use it with: eval \"\$($0 env)\""
}

stop_controller() {
  local pid i
  running slurmctld || { echo "local-slurm: the controller is not running" >&2; return 1; }
  pid="$(cat "$dir/slurmctld.pid")"
  kill -CONT "$pid"
  kill "$pid"
  for i in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && kill -KILL "$pid"
  rm -f "$dir/slurmctld.pid"
  echo "local-slurm: controller stopped"
}

start_controller() {
  running slurmctld && { echo "local-slurm: the controller is running already"; return 0; }
  running munged || { echo "local-slurm: not started (scripts/local-slurm.sh start)" >&2; return 1; }
  launch slurmctld slurmctld -D -f "$conf"
  wait_for scontrol ping || { echo "local-slurm: slurmctld did not start (see $dir/log/slurmctld.log)" >&2; return 1; }
  echo "local-slurm: controller running"
}

# Sends `$1` (STOP or CONT) to the controller.
signal_controller() {
  running slurmctld || { echo "local-slurm: the controller is not running" >&2; return 1; }
  kill "-$1" "$(cat "$dir/slurmctld.pid")"
}

# Exits unless NAME is a node of the cluster.
known_node() {
  nodes | grep -qx -- "$1" || { echo "local-slurm: no node '$1' (nodes: $(nodes | tr '\n' ' '))" >&2; exit 2; }
}

# The processes started under PID, deepest first.
descendants() {
  local child
  for child in $(pgrep -P "$1"); do
    descendants "$child"
    echo "$child"
  done
}

# The job step daemons of node NAME. slurmd starts each step daemon
# detached from itself, but every one keeps its node's log open.
step_daemons() {
  local pid
  for pid in $(pgrep -f '^slurmstepd: '); do
    if ls -l "/proc/$pid/fd" 2>/dev/null | grep -qF -- "-> $dir/log/slurmd-$1.log"; then echo "$pid"; fi
  done
}

kill_node() {
  known_node "$1"
  running "slurmd-$1" || { echo "local-slurm: node $1 is not running" >&2; return 1; }
  local pid steps step doomed=()
  pid="$(cat "$dir/slurmd-$1.pid")"
  steps="$(step_daemons "$1")"
  # Stopped first, so that none of them starts anything or notices the
  # others go; then everything at once, as when a machine loses power.
  kill -STOP "$pid" $steps 2>/dev/null || true
  for step in $steps; do doomed+=($(descendants "$step") "$step"); done
  kill -KILL "${doomed[@]}" "$pid" 2>/dev/null || true
  rm -f "$dir/slurmd-$1.pid"
  echo "local-slurm: node $1 killed"
}

freeze_node() {
  known_node "$1"
  running "slurmd-$1" || { echo "local-slurm: node $1 is not running" >&2; return 1; }
  kill -STOP "$(cat "$dir/slurmd-$1.pid")"
  echo "local-slurm: node $1 frozen (its slurmd stopped; its jobs go on)"
}

thaw_node() {
  known_node "$1"
  running "slurmd-$1" || { echo "local-slurm: node $1 is not running" >&2; return 1; }
  kill -CONT "$(cat "$dir/slurmd-$1.pid")"
  echo "local-slurm: node $1 thawed"
}

start_node() {
  known_node "$1"
  running "slurmd-$1" && { echo "local-slurm: node $1 is running already"; return 0; }
  running slurmctld || { echo "local-slurm: the controller is not running" >&2; return 1; }
  start_slurmd "$1" || { echo "local-slurm: node $1 did not come back (see $dir/log/slurmd-$1.log)" >&2; return 1; }
  echo "local-slurm: node $1 running"
}

stop() {
  # A frozen controller would not hear its TERM.
  running slurmctld && kill -CONT "$(cat "$dir/slurmctld.pid")"
  # Batch steps outlive a stopped slurmd and ignore SIGTERM: end the jobs
  # while the daemons still run. A frozen node is thawed first.
  local name pid i
  for name in $(nodes); do
    if running "slurmd-$name"; then kill -CONT "$(cat "$dir/slurmd-$name.pid")"; fi
  done
  if running slurmctld; then
    scancel --user=root 2>/dev/null || true
    for i in $(seq 50); do
      [ -z "$(squeue -h -o %i 2>/dev/null)" ] && break
      sleep 0.2
    done
  fi
  for name in $(nodes | sed 's/^/slurmd-/') slurmctld munged; do
    [ -f "$dir/$name.pid" ] || continue
    pid="$(cat "$dir/$name.pid")"
    if kill -0 "$pid" 2>/dev/null; then
      kill "$pid"
      for i in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
      kill -0 "$pid" 2>/dev/null && kill -KILL "$pid"
    fi
    rm -f "$dir/$name.pid"
  done
  echo "local-slurm: stopped"
}

status() {
  local name state=0
  for name in munged slurmctld $(nodes | sed 's/^/slurmd-/'); do
    if running "$name"; then echo "$name: running (pid $(cat "$dir/$name.pid"))"; else echo "$name: stopped"; state=1; fi
  done
  [ "$state" -eq 0 ] && sinfo -N -o '%N %T %c %m'
  return "$state"
}

case "${1:-}" in
  start) start "${@:2}" ;;
  stop) stop ;;
  status) status ;;
  env) echo "export SLURM_CONF=$(printf %q "$conf")" ;;
  stop-controller) stop_controller ;;
  start-controller) start_controller ;;
  freeze-controller) signal_controller STOP ;;
  thaw-controller) signal_controller CONT ;;
  kill-node | freeze-node | thaw-node | start-node)
    [ -n "${2:-}" ] || { echo "usage: $0 $1 NAME" >&2; exit 2; }
    "${1//-/_}" "$2"
    ;;
  *)
    echo "usage: $0 start [--nodes N]|stop|status|env|stop-controller|start-controller|freeze-controller" \
      "|thaw-controller|kill-node NAME|freeze-node NAME|thaw-node NAME|start-node NAME" >&2
    exit 2
    ;;
esac
