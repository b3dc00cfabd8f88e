#!/usr/bin/env bash
#SBATCH --job-name=morphsweep
#SBATCH --cpus-per-task=1
#SBATCH --requeue
#SBATCH --signal=B:USR1@300
# Runs a sweep manifest as a Slurm job array: array task i runs line OFFSET + i of the
# manifest (OFFSET 0 unless given), in the folder the job was submitted from.
#
# Points outlive the time limit: --submit writes MANIFEST.results (each line's 3DV result),
# and a task whose line has one there runs its point with --checkpoint (every
# SWEEP_CHECKPOINT_CYCLES cycles, default 10). The scheduler's warning (--signal=B:USR1@S,
# S seconds before the limit; 300 unless the submission says otherwise) reaches this shell,
# which passes it on: the point checkpoints after its cycle and stops with status 75, and
# the task requeues itself; started again, it resumes from the checkpoint.
#
# usage: sbatch --array=1-N[%M] [sbatch options] sweep-slurm.sh MANIFEST [OFFSET]
#        sweep-slurm.sh --submit [--chunk N] [--build DIR] MANIFEST [-- sbatch options]
#        sweep-slurm.sh --record [--build DIR] MANIFEST
#   --submit     submit the whole manifest from here: arrays of at most --chunk tasks
#                (default 1000, below Slurm's usual MaxArraySize), then one job that
#                writes the run record (MANIFEST.run.json, from the rows the tasks leave in
#                MANIFEST.rows/) and renders the contact sheet (MANIFEST.png) once every
#                array has ended
#   --build DIR  the build folder with morphsweep-plan and morphview (default: build/
#                beside this script's folder)
# A failed task ends with the point's exit status; `sacct -j JOB` names it, and
# `sbatch --array=<its numbers> sweep-slurm.sh MANIFEST [OFFSET]` runs those points again.
set -euo pipefail

usage() {
  echo "usage: sbatch --array=1-N[%M] [sbatch options] sweep-slurm.sh MANIFEST [OFFSET]" >&2
  echo "       sweep-slurm.sh --submit [--chunk N] [--build DIR] MANIFEST [-- sbatch options]" >&2
  echo "       sweep-slurm.sh --record [--build DIR] MANIFEST" >&2
  exit 1
}

help() {
  cat <<'EOF'
usage: sbatch --array=1-N[%M] [sbatch options] sweep-slurm.sh MANIFEST [OFFSET]
       sweep-slurm.sh --submit [--chunk N] [--build DIR] MANIFEST [-- sbatch options]
       sweep-slurm.sh --record [--build DIR] MANIFEST
       sweep-slurm.sh --help | [--build DIR] --version
Runs a sweep manifest as a Slurm job array: array task i runs line OFFSET + i of MANIFEST
(OFFSET 0 unless given) in the folder the job was submitted from, with OMP_NUM_THREADS set
to the task's CPUs, and ends with the point's own exit status.
  --submit     submit the whole manifest from here: arrays of at most --chunk tasks, then
               one job that writes the run record (MANIFEST.run.json) and draws the
               contact sheet (MANIFEST.png) once every array ended
  --record     write the run record of a submitted manifest from the rows its tasks left
               in MANIFEST.rows/ (the last job of --submit does this)
  --chunk N    tasks per array (default 1000, below Slurm's usual MaxArraySize)
  --build DIR  the build folder with morphsweep-plan and morphview (default: build/ beside
               this script's folder)
  --help       this text
  --version    the release and the commit of the build's tools
Example, from the folder the sweep was planned in (9 points, 4 at a time):
  sbatch --array=1-9%4 --time=10 scripts/sweep-slurm.sh day/manifest
Exit status: that of the point a task ran; 1 bad command line or no array task; 2 the
manifest has no such line or was refused.
EOF
  exit 0
}

version() {
  local build version
  build="$(cd "$(dirname "$0")" && pwd)/../build"
  if [[ ${1:-} == --build ]]; then build=$2; fi
  version=$("$build/morphsweep/morphsweep-plan" --version 2>/dev/null) ||
    { echo "sweep-slurm: $build/morphsweep/morphsweep-plan is missing; build first (or give --build)" >&2; exit 1; }
  echo "sweep-slurm.sh${version#morphsweep-plan}"
  exit 0
}

# The cycles between checkpoints, SWEEP_CHECKPOINT_CYCLES (default 10), as a decimal count
# morphsweep takes (bash would read a leading 0 as octal); anything else stops the sweep
# before any point. Sets `every`.
checkpointCycles() {
  every=${SWEEP_CHECKPOINT_CYCLES:-10}
  if [[ $every =~ ^[0-9]+$ ]]; then
    every=${every#"${every%%[!0]*}"}
    ((${#every} > 0 && ${#every} <= 10 && 10#$every <= 2147483647)) && return 0
  fi
  echo "sweep-slurm: SWEEP_CHECKPOINT_CYCLES needs a count of cycles from 1 to 2147483647, not '${SWEEP_CHECKPOINT_CYCLES}'" >&2
  exit 1
}

# pointFinished RESULT CHECKPOINT LINE: whether the point of manifest line LINE has written
# every result (its 3DV RESULT, the OBJ beside it, and the template when its -t is not 0;
# a growth point its 3DV alone), each whole and newer than its CHECKPOINT: the case
# morphsweep's resume refuses as finished.
# The 3DV is whole when its lines match its counts (two per vertex and per triangle); the
# others, written the same way (a temporary renamed once complete), when they are not empty.
# (As in sweep-run.sh: a task runs a copy of this script, with no scripts beside it.)
pointFinished() {
  local stem=${1%.3dv} switch file files
  # The line's own words as the shell reads them; a manifest line expands nothing.
  if bash -c "set -- $3 && [[ \${2-} == -s ]]" 2>/dev/null; then
    files=("$1")  # a growth sweep's morphseed point writes its 3DV alone
  else
    switch=$(bash -c "set -- $3 && [[ \${6-} == -t ]] && printf '%s' \"\$7\"" 2>/dev/null) || return 1
    files=("$1" "$stem.obj")
    # morphsweep reads the switch as strtol does: 0 unless it starts with a digit other than 0.
    [[ $switch =~ ^[[:space:]]*[+-]?0*([^0-9].*)?$ ]] || files+=("$stem.3dvTemplate")
  fi
  for file in "${files[@]}"; do [[ -f $file && -s $file && $file -nt $2 ]] || return 1; done
  awk 'NR == 1 { v = $1 } NR == 2 { t = $1 } END { exit !(NR > 2 && NR == 2 + 2 * v + 2 * t) }' "$1" 2>/dev/null
}

submit() {
  local here build chunk=1000 manifest="" extra=()
  here=$(cd "$(dirname "$0")" && pwd)
  build="$here/../build"
  while (($#)); do
    case "$1" in
      --chunk) (($# > 1)) || usage; chunk=$2; shift 2 ;;
      --build) (($# > 1)) || usage; build=$2; shift 2 ;;
      --) shift; extra=("$@"); break ;;
      -*) echo "sweep-slurm: unknown option '$1'" >&2; usage ;;
      *) [[ -z $manifest ]] || usage; manifest=$1; shift ;;
    esac
  done
  [[ -n $manifest ]] || usage
  [[ $chunk =~ ^[1-9][0-9]*$ ]] || { echo "sweep-slurm: --chunk needs a count of 1 or more" >&2; exit 1; }
  local every
  checkpointCycles
  command -v sbatch >/dev/null || { echo "sweep-slurm: sbatch not found; is this a Slurm login node?" >&2; exit 1; }
  local plan="$build/morphsweep/morphsweep-plan"
  [[ -x $plan ]] || { echo "sweep-slurm: $plan is missing; build first (or give --build)" >&2; exit 1; }
  local points
  "$plan" --results "$manifest" >"$manifest.results" || exit 2
  points=$(wc -l <"$manifest.results")
  ((points > 0)) || { echo "sweep-slurm: $manifest holds no point" >&2; exit 2; }

  # A new submission's record holds its own points only.
  rm -rf -- "$manifest.rows"
  local self ids=() offset size id
  self="$here/$(basename "$0")"
  for ((offset = 0; offset < points; offset += chunk)); do
    size=$((points - offset < chunk ? points - offset : chunk))
    id=$(sbatch --parsable --array="1-$size" "${extra[@]}" "$self" "$manifest" "$offset")
    ids+=("${id%%;*}")
    echo "sweep-slurm: job ${id%%;*} runs points $((offset + 1))..$((offset + size))" >&2
  done
  local after
  after=$(IFS=:; echo "${ids[*]}")
  # The sheet job takes the array's options, the scheduler's warning among them; it has no
  # checkpoint to write, so the warning must not end it (ignored, as its children inherit).
  id=$(sbatch --parsable --job-name=morphsweep-sheet --dependency="afterany:$after" "${extra[@]}" \
    --wrap="trap '' USR1; $(printf '%q ' "$self" --record --build "$build" "$manifest"); $(printf '%q ' "$here/sweep-sheet.sh" --build "$build" "$manifest")")
  echo "sweep-slurm: job ${id%%;*} writes $manifest.run.json and renders $manifest.png after them" >&2
}

task() {
  # The warning can come as the task starts (Slurm sends it at its first check once the time
  # left is under the warning plus that check's period): until the point runs, only note it.
  stopAsked=0
  trap 'stopAsked=1' USR1
  (($# >= 1 && $# <= 2)) || usage
  local manifest=$1 offset=${2:-0}
  [[ -n ${SLURM_ARRAY_TASK_ID:-} ]] || {
    echo "sweep-slurm: not an array task; submit with sbatch --array=1-N, or use --submit" >&2
    exit 1
  }
  [[ $SLURM_ARRAY_TASK_ID =~ ^[0-9]+$ && $offset =~ ^[0-9]+$ ]] || usage
  local number=$((offset + SLURM_ARRAY_TASK_ID)) line
  line=$(awk -v n="$number" 'NR == n { print; found = 1; exit } END { exit !found }' "$manifest") || {
    echo "sweep-slurm: $manifest has no line $number" >&2
    exit 2
  }
  # A task has its own cores, as many as Slurm gave it.
  export OMP_NUM_THREADS=${SLURM_CPUS_PER_TASK:-1}
  echo "sweep-slurm: point $number: $line" >&2
  local result=""
  [[ ! -f $manifest.results ]] || result=$(awk -v n="$number" 'NR == n { print; exit }' "$manifest.results")
  if [[ -z $result ]]; then
    # No checkpoints: the warning must not end the point (an ignored signal stays ignored).
    trap '' USR1
    exec bash -c "$line"
  fi

  local checkpoint=${result%.3dv}.ckpt every
  checkpointCycles
  local words=" --checkpoint $every" started
  started=$(date +%s.%N)
  if [[ -f $checkpoint ]] && pointFinished "$result" "$checkpoint" "$line"; then
    # Stopped after its results were in place but before it removed its checkpoint (a kill
    # in between): finished, and morphsweep would refuse to resume it on every retry.
    rm -f -- "$checkpoint"
    echo "sweep-slurm: point $number had finished (its results are newer than $checkpoint); the checkpoint is removed and the point counted done" >&2
    keepRow 0
    exit 0
  fi
  if [[ -f $checkpoint ]]; then
    echo "sweep-slurm: point $number resumes from $checkpoint" >&2
    words+=" --resume $(printf '%q' "$checkpoint")"
  fi
  bash -c "exec $line$words" &
  point=$!
  local status=0
  # The warning, or the limit's SIGTERM, goes to the point, which stops after its cycle.
  trap forwardStop USR1 TERM
  ((stopAsked == 0)) || forwardStop
  while :; do
    status=0
    wait "$point" || status=$?
    kill -0 "$point" 2>/dev/null || break
  done
  trap - USR1 TERM
  if ((status == 75)); then
    echo "sweep-slurm: point $number stopped at its checkpoint; requeued" >&2
    scontrol requeue "${SLURM_ARRAY_JOB_ID:-$SLURM_JOB_ID}_$SLURM_ARRAY_TASK_ID"
    exit 0
  fi
  keepRow "$status"
  exit "$status"
}

# keepRow STATUS: the point's row for the run record, as GNU parallel's job log has it (a
# status past 128 is a signal), one file per point so that tasks on many nodes never write
# one file. Reads task()'s manifest, number, started, line and words.
keepRow() {
  local status=$1 exitval=$1 signal=0 rows=$manifest.rows
  ((status <= 128)) || { signal=$((status - 128)); exitval=0; }
  if mkdir -p "$rows" && printf '%s\t%s\t%s\t%.3f\t0\t0\t%s\t%s\t%s\n' "$number" "$(hostname)" "$started" \
    "$(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { print b - a }')" "$exitval" "$signal" "$line$words" >"$rows/$number.tmp"; then
    mv -f "$rows/$number.tmp" "$rows/$number"
  else
    echo "sweep-slurm: cannot keep point $number's row for the run record in $rows" >&2
  fi
}

# The sheet job's first step: the run record (MANIFEST.run.json) from the rows the tasks left
# in MANIFEST.rows/. A point without a row did not finish (not run, or still requeued).
recordRun() {
  local here build manifest=""
  here=$(cd "$(dirname "$0")" && pwd)
  build="$here/../build"
  while (($#)); do
    case "$1" in
      --build) (($# > 1)) || usage; build=$2; shift 2 ;;
      -*) echo "sweep-slurm: unknown option '$1'" >&2; usage ;;
      *) [[ -z $manifest ]] || usage; manifest=$1; shift ;;
    esac
  done
  [[ -n $manifest ]] || usage
  # Not in an array task: Slurm runs a copy of this script from its spool, where the
  # scripts beside it are not; the sheet job calls it by its own path.
  source "$here/runrecord.sh"
  local plan="$build/morphsweep/morphsweep-plan" joblog inputs start ok record=$manifest.run.json
  private=$(mktemp -d "${TMPDIR:-/tmp}/sweep-slurm.XXXXXX")  # global: the exit trap removes it
  trap 'rm -rf -- "$private"' EXIT
  joblog=$private/joblog
  printf 'Seq\tHost\tStarttime\tJobRuntime\tSend\tReceive\tExitval\tSignal\tCommand\n' >"$joblog"
  find "$manifest.rows" -maxdepth 1 -type f -regex '.*/[0-9]+' -exec cat {} + >>"$joblog" 2>/dev/null || true
  "$plan" --results -- "$manifest" >"$private/results" || exit 2
  inputs=$("$plan" --inputs -- "$manifest") || exit 2
  mapfile -t inputs <<<"$inputs"
  # The run began with its first point.
  start=$(awk -F'\t' -v now="$(date +%s)" 'NR > 1 && (min == "" || $3 < min) { min = $3 } END { print int(min == "" ? now : min) }' "$joblog")
  ok=$(awk -F'\t' 'NR > 1 && $7 == 0 && $8 == 0' "$joblog" | wc -l)
  if ((ok == 0)) && [[ -e $record ]]; then
    echo "sweep-slurm: every point failed; the run record goes to ${record%.run.json}.failed.run.json, and $record is kept" >&2
    record=${record%.run.json}.failed.run.json
  fi
  writeRunRecord sweep-slurm "$record" "$manifest" "$joblog" "$private/results" "$(date -u -d "@$start" +%Y-%m-%dT%H:%M:%SZ)" \
    0 "$(date -u +%Y-%m-%dT%H:%M:%SZ)" 0 "${SLURM_CPUS_PER_TASK:-1}" "${SWEEP_CHECKPOINT_CYCLES:-10}" 0 "" \
    "$build/morphsweep/morphsweep" "${inputs[@]}" || exit 2
}

# Passes a stop on to the point once it listens for it. Until the program has set up its
# handler (it starts by restarting itself) the signal would end it with no checkpoint, as
# when a task started late gets the warning at once: wait, up to a minute, for the handler
# to show in the process's caught signals (SigCgt: SIGUSR1 is bit 9).
forwardStop() {
  local tries=0 mask
  while ((tries++ < 1200)) && kill -0 "$point" 2>/dev/null; do
    mask=$(awk '/^SigCgt:/ { print $2 }' "/proc/$point/status" 2>/dev/null) || mask=""
    if [[ -n $mask ]] && (((16#$mask >> 9) & 1)); then break; fi
    sleep 0.05
  done
  kill -USR1 "$point" 2>/dev/null || true
}

if [[ ${1:-} == -h || ${1:-} == --help ]]; then
  help
elif [[ ${1:-} == --version ]]; then
  version
elif [[ ${1:-} == --build && ${3:-} == --version && $# == 3 ]]; then
  version --build "$2"
elif [[ ${1:-} == --submit ]]; then
  shift
  submit "$@"
elif [[ ${1:-} == --record ]]; then
  shift
  recordRun "$@"
else
  task "$@"
fi
