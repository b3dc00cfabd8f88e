#!/usr/bin/env bash
# The Slurm array script on a real single-node cluster: munged, slurmctld and slurmd
# started here (as root, state and configuration in a private folder), a sweep submitted
# with sweep-slurm.sh --submit under a time limit shorter than its points, which finish
# through checkpoints and requeues; the results must equal the points run unbroken.
# The jobs must end within 8 minutes. Skips (status 77) only when not root or when the Slurm
# or munge packages are missing (scripts/install-deps.sh --tests installs them).
# usage: slurm_cluster_test.sh BUILD_DIR SCRIPTS_DIR SEED_FILE
set -euo pipefail
build=$(cd "$1" && pwd)
scripts=$(cd "$2" && pwd)
seedFile=$(realpath "$3")

skip() { echo "SKIPPED: $*"; exit 77; }
((EUID == 0)) || skip "the daemons need root (CI runs as root)"
for tool in munged slurmctld slurmd sbatch squeue scontrol; do
  command -v "$tool" >/dev/null || skip "$tool is missing (scripts/install-deps.sh --tests installs slurmctld, slurmd, slurm-client, munge)"
done

work=$(mktemp -d "${TMPDIR:-/tmp}/slurm_cluster_test.XXXXXX")
chmod 755 "$work"
daemons=()
stopDaemons() {
  local pid
  for pid in "${daemons[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${daemons[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
  done
}
cleanup() {
  local status=$?
  stopDaemons
  if ((status != 0)); then
    for log in slurmctld.log slurmd.log; do
      [[ ! -f $work/$log ]] || { echo "--- $log"; tail -n 30 "$work/$log"; }
    done
    for out in "$work"/run/slurm-*.out; do [[ ! -f $out ]] || { echo "--- $out"; cat "$out"; }; done
  fi
  [[ -n ${KEEP_SLURM_TEST:-} ]] || rm -rf "$work"
}
trap cleanup EXIT

# A free TCP port for each daemon.
freePort() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

# munge, with a key and socket of its own.
mkdir -p "$work/munge" "$work/state" "$work/spool" "$work/run"
chmod 700 "$work/munge"
dd if=/dev/urandom of="$work/munge/munge.key" bs=1024 count=1 status=none
chmod 400 "$work/munge/munge.key"
munged --force --key-file="$work/munge/munge.key" --socket="$work/munge/munge.sock" \
  --pid-file="$work/munge/munged.pid" --log-file="$work/munge/munged.log" --seed-file="$work/munge/munged.seed"
for _ in $(seq 50); do [[ -s $work/munge/munged.pid ]] && break; sleep 0.1; done
daemons+=("$(cat "$work/munge/munged.pid")")

node=$(hostname -s)
export SLURM_CONF=$work/slurm.conf
cat >"$SLURM_CONF" <<EOF
ClusterName=morphtest
SlurmctldHost=$node
SlurmUser=root
SlurmdUser=root
SlurmctldPort=$(freePort)
SlurmdPort=$(freePort)
AuthType=auth/munge
# A requeued job waits out the credential lifetime before it starts again (120 s by default).
AuthInfo=socket=$work/munge/munge.sock,cred_expire=10
CredType=cred/munge
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
SchedulerParameters=defer_batch
JobCompType=jobcomp/filetxt
JobCompLoc=$work/jobcomp.txt
ReturnToService=2
MpiDefault=none
KillWait=10
MinJobAge=600
NodeName=$node CPUs=$(nproc) State=UNKNOWN
PartitionName=test Nodes=$node Default=YES MaxTime=INFINITE State=UP
EOF
slurmctld -i -f "$SLURM_CONF"
for _ in $(seq 100); do [[ -s $work/slurmctld.pid ]] && break; sleep 0.1; done
daemons+=("$(cat "$work/slurmctld.pid")")
slurmd -f "$SLURM_CONF"
for _ in $(seq 100); do [[ -s $work/slurmd.pid ]] && break; sleep 0.1; done
daemons+=("$(cat "$work/slurmd.pid")")
for _ in $(seq 120); do
  sinfo -h -o %t 2>/dev/null | grep -qx idle && break
  sleep 0.5
done
sinfo -h -o %t | grep -qx idle || { echo "FAILED: the node never became idle" >&2; exit 1; }

failures=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what" >&2; failures=$((failures + 1)); fi
}

# Two points, each sure to outlast its first warning. The scheduler checks the limits every
# 30 s and sends the warning at the first check where the time left is under the warning plus
# those 30 s: with a two-minute limit warned 75 s before its end, between 15 and 45 s after a
# start, so every start makes progress (a one-minute limit warned 45 s before would be warned
# at its first check, at times a second after the start). The points get about 100 s of work
# each on this machine, however fast it is: nothing splits in morphsweep, and from an embryo
# of 80 cycles (9,450 vertices) each of the first 450 or so cycles costs about the same
# (400 ms on one machine) until the surface settles and cycles become cheap, so 20 cycles
# are timed here and the points grow 100 to 400 cycles. (A fixed 600 cycles from an embryo
# of 60 took 47 s on one machine and 29 s on another, where a point ended before its warning:
# that surface settles after about 320 cycles of 80 ms, then costs 12 ms a cycle.)
cd "$work/run"
cp "$seedFile" indexed_icosa
OMP_NUM_THREADS=1 "$build/morphseed/morphseed" -t 1 -s 7 -b 1 80 2>/dev/null
pointWords=(-m 1 -t 1 -r 40 120 5 -g 40 120 17 -b 40 120 33 -kr 2 -kh 3 embryo.7.3dvTemplate)
mkdir timing
cp embryo.7.3dvTemplate timing/
timed=$EPOCHREALTIME
(cd timing && OMP_NUM_THREADS=1 "$build/morphsweep/morphsweep" -n 20 "${pointWords[@]}" >/dev/null 2>&1)
cycles=$(python3 -c 'import math, sys; print(min(400, max(100, math.ceil(20 * 100 / (float(sys.argv[2]) - float(sys.argv[1]))))))' \
  "$timed" "$EPOCHREALTIME")
echo "each point grows $cycles cycles"
cat >sweep.def <<EOF
inputTemplate = embryo.7.3dvTemplate
growthCycles = $cycles
modificationCount = 1
templateSwitch = 1
redLifespan = 40
redThreshold = 120
redSecretor = 5
greenLifespan = 40
greenThreshold = 120
greenSecretor = 17
blueLifespan = 40
blueThreshold = 120
blueSecretor = 33
repulsion = 2:3:1
attraction = 3
EOF
"$build/morphsweep/morphsweep-plan" sweep.def >manifest
mapfile -t results < <("$build/morphsweep/morphsweep-plan" --results manifest)

# The unbroken runs, in a folder of their own.
mkdir whole
cp embryo.7.3dvTemplate whole/
started=$SECONDS
while read -r line; do
  (cd whole && OMP_NUM_THREADS=1 bash -c "$line" >/dev/null 2>&1) &
done <manifest
wait
echo "the unbroken runs took $((SECONDS - started)) s"

started=$SECONDS
SWEEP_CHECKPOINT_CYCLES=5 bash "$scripts/sweep-slurm.sh" --submit --build "$build" manifest -- \
  --time=2 --signal=B:USR1@75 --output=slurm-%A_%a.out 2>submit.err
cat submit.err
mapfile -t jobs < <(sed -n 's/^sweep-slurm: job \([0-9]*\) .*/\1/p' submit.err)
check "an array and a sheet job submitted" test "${#jobs[@]}" -eq 2
while [[ -n $(squeue -h -j "$(IFS=,; echo "${jobs[*]}")" 2>/dev/null) ]]; do
  ((SECONDS - started < 480)) || { echo "FAILED: the jobs did not end within 8 minutes" >&2; squeue >&2; exit 1; }
  sleep 5
done
echo "the array and the sheet job ended after $((SECONDS - started)) s"

for i in "${!results[@]}"; do
  stem=${results[$i]%.3dv}
  for ending in .3dv .obj .3dvTemplate; do
    check "point $((i + 1)): $ending equals the unbroken run's" cmp -s "$stem$ending" "whole/$stem$ending"
  done
  check "point $((i + 1)): its checkpoint is gone" test ! -e "$stem.ckpt"
  restarts=$(scontrol show job "${jobs[0]}_$((i + 1))" | sed -n 's/.*Restarts=\([0-9]*\).*/\1/p')
  check "point $((i + 1)) went through requeues (restarts: ${restarts:-none})" test "${restarts:-0}" -ge 1
done
check "the sheet job drew the sheet" test -s manifest.png
check "and wrote the run record, every point ok after its requeues" /usr/bin/python3 -c '
import json
record = json.load(open("manifest.run.json"))
assert record["status"] == "ok" and all(p["status"] == "ok" and "--resume" in p["command"] for p in record["points"])'
((failures == 0)) || { echo "$failures checks failed" >&2; exit 1; }
