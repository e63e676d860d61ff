#!/usr/bin/env bash
# A single-node Slurm cluster on this machine, for trying `veldra farm` and
# for its tests. Everything lives under build/local-slurm: its own
# slurm.conf, munge key and socket, state and spool folders, logs and the
# PIDs of the daemons it started. Nothing listens beyond 127.0.0.1, and the
# ports are not Slurm's defaults, so it does not meet a real cluster.
#
#   scripts/local-slurm.sh start    start munged, slurmctld and slurmd
#   scripts/local-slurm.sh stop     cancel its jobs, stop what it started
#   scripts/local-slurm.sh status   say whether it runs, and its node's state
#   scripts/local-slurm.sh env      print the line to eval: export SLURM_CONF=...
#   scripts/local-slurm.sh stop-controller, start-controller
#                                   stop or start slurmctld alone (the node
#                                   and its jobs go on), as in an outage
#   scripts/local-slurm.sh freeze-controller, thaw-controller
#                                   hold slurmctld still (SIGSTOP) and let it
#                                   go on (SIGCONT): a controller that takes
#                                   requests and answers them only later
#
# VELDRA_SLURM_DIR and VELDRA_SLURM_PORT (the controller's port; slurmd takes
# the next) choose another folder and ports, e.g. for two clusters at once.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
dir="${VELDRA_SLURM_DIR:-$root/build/local-slurm}"
ctld_port="${VELDRA_SLURM_PORT:-17817}"
slurmd_port=$((ctld_port + 1))
conf="$dir/slurm.conf"
socket="$dir/munge-socket/munge.socket"
# Without SLURM_CONF the Slurm commands look for a controller through DNS.
export SLURM_CONF="$conf"

running() { [ -f "$dir/$1.pid" ] && kill -0 "$(cat "$dir/$1.pid")" 2>/dev/null; }

# Starts `$@` in the background, records its PID as $dir/NAME.pid.
launch() {
  local name="$1"
  shift
  "$@" >>"$dir/log/$name.out" 2>&1 &
  echo $! >"$dir/$name.pid"
}

# Waits up to 10 s for `$@` to succeed.
wait_for() {
  local i
  for i in $(seq 100); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

write_conf() {
  # The node as slurmd sees this machine, with a little less memory than it
  # reports: a node that claims more than it has is marked invalid.
  local node cpus sockets cores threads memory
  node="$(slurmd -C | head -1)"
  field() { sed -n "s/.*\b$1=\([0-9]*\).*/\1/p" <<<"$node"; }
  cpus="$(field CPUs)"
  sockets="$(field SocketsPerBoard)"
  cores="$(field CoresPerSocket)"
  threads="$(field ThreadsPerCore)"
  memory=$(($(field RealMemory) * 9 / 10))
  cat >"$conf" <<EOF
# Written by scripts/local-slurm.sh: a one-node cluster on 127.0.0.1.
ClusterName=veldra-local
SlurmctldHost=localhost(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
CommunicationParameters=NoCtldInAddrAny,NoInAddrAny
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$socket,cred_expire=10
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/run/slurmctld.pid
SlurmdPidFile=$dir/run/slurmd.pid
SlurmctldLogFile=$dir/log/slurmctld.log
SlurmdLogFile=$dir/log/slurmd.log
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
SlurmdTimeout=30
NodeName=localhost NodeAddr=127.0.0.1 CPUs=$cpus Sockets=$sockets CoresPerSocket=$cores ThreadsPerCore=$threads RealMemory=$memory State=UNKNOWN
PartitionName=local Nodes=localhost Default=YES MaxTime=INFINITE State=UP
EOF
}

start() {
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
  write_conf

  launch munged munged --foreground --force --socket="$socket" --key-file="$dir/munge.key" \
    --pid-file="$dir/munge/munged.pid" --seed-file="$dir/munge/munged.seed" --log-file="$dir/log/munged.log"
  wait_for test -S "$socket" || { echo "local-slurm: munged did not start (see $dir/log/munged.log)" >&2; stop; exit 1; }
  launch slurmctld slurmctld -D -f "$conf"
  wait_for scontrol ping || { echo "local-slurm: slurmctld did not start (see $dir/log/slurmctld.log)" >&2; stop; exit 1; }
  launch slurmd slurmd -D -N localhost -f "$conf"
  if ! wait_for node_ready; then
    echo "local-slurm: the node did not come up (see $dir/log/slurmd.log)" >&2
    stop
    exit 1
  fi
  scancel --user=root 2>/dev/null || true
  echo "local-slurm: running; use it with: eval \"\$($0 env)\""
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

node_ready() { sinfo -h -n localhost -o %t | grep -Eq '^(idle|mix|alloc)'; }

stop() {
  # A frozen controller would not hear its TERM.
  running slurmctld && kill -CONT "$(cat "$dir/slurmctld.pid")"
  # Batch steps outlive a stopped slurmd and ignore SIGTERM: end the jobs
  # while the daemons still run.
  if running slurmctld; then
    scancel --user=root 2>/dev/null || true
    local i
    for i in $(seq 50); do
      [ -z "$(squeue -h -o %i 2>/dev/null)" ] && break
      sleep 0.2
    done
  fi
  local name pid
  for name in slurmd slurmctld munged; do
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
  for name in munged slurmctld slurmd; do
    if running "$name"; then echo "$name: running (pid $(cat "$dir/$name.pid"))"; else echo "$name: stopped"; state=1; fi
  done
  [ "$state" -eq 0 ] && sinfo -N -o '%N %T %c %m'
  return "$state"
}

case "${1:-}" in
  start) start ;;
  stop) stop ;;
  status) status ;;
  env) echo "export SLURM_CONF=$(printf %q "$conf")" ;;
  stop-controller) stop_controller ;;
  start-controller) start_controller ;;
  freeze-controller) signal_controller STOP ;;
  thaw-controller) signal_controller CONT ;;
  *) echo "usage: $0 start|stop|status|env|stop-controller|start-controller|freeze-controller|thaw-controller" >&2
     exit 2 ;;
esac
