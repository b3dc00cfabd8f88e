#!/usr/bin/env bash
# Runs every point of a sweep manifest (one morphsweep call per line) with GNU parallel,
# here or across machines, keeping a job log so that a later call can re-run only the
# points that failed; then renders the contact sheet of the sweep and writes the table of
# shape measures, one row per point, beside it (MANIFEST.csv, by morphstats). Run it from
# the folder the manifest was planned in: its relative paths are read from there, on every
# machine.
#
# usage: sweep-run.sh [options] MANIFEST; the options are in usage() below (sweep-run.sh --help).
# Exit status: 0 every point done and the sheet written; 1 bad command line or missing
# tool; 2 the manifest was refused or the sheet or table could not be written; 3 a point
# failed (the sheet and table are still written, failed points crossed out or marked).
set -euo pipefail

usage() {
  if ((${1:-1})); then exec >&2; fi
  cat <<'EOF'
usage: sweep-run.sh [-j N] [--sshloginfile FILE] [--resume-failed] [--joblog FILE]
                    [--checkpoint N] [--build DIR] [--sheet OUT.png | --no-sheet] MANIFEST
  -j N                points run side by side on each machine (default: one per core)
  --sshloginfile FILE machines to run on, as GNU parallel reads them (":" is this one);
                      they must see this folder and the build at the same paths
  --resume-failed     run only the points the job log does not show as done; with
                      --checkpoint, a point that left a checkpoint resumes from it
  --checkpoint N      run each point with morphsweep's --checkpoint N, so that a point
                      stopped midway (SIGTERM, SIGKILL) keeps its cycles for a resume
  --joblog FILE       the job log (default MANIFEST.joblog); per-point output goes to
                      MANIFEST.logs/<line> and MANIFEST.logs/<line>.err
  --build DIR         the build folder with morphsweep-plan, morphview and morphstats
                      (default: build/ beside this script's folder)
  --sheet OUT.png     the contact sheet (default MANIFEST.png); --no-sheet skips it
EOF
  exit "${1:-1}"
}

here=$(cd "$(dirname "$0")" && pwd)
build="$here/../build"
jobs=""
sshloginfile=""
resume=0
joblog=""
every=0
sheet=""
drawSheet=1
manifest=""
while (($#)); do
  case "$1" in
    -j) (($# > 1)) || usage; jobs=$2; shift 2 ;;
    --sshloginfile) (($# > 1)) || usage; sshloginfile=$2; shift 2 ;;
    --resume-failed) resume=1; shift ;;
    --joblog) (($# > 1)) || usage; joblog=$2; shift 2 ;;
    --checkpoint) (($# > 1)) || usage; every=$2; shift 2 ;;
    --build) (($# > 1)) || usage; build=$2; shift 2 ;;
    --sheet) (($# > 1)) || usage; sheet=$2; shift 2 ;;
    --no-sheet) drawSheet=0; shift ;;
    -h | --help) usage 0 ;;
    --) shift; (($# == 1)) && [[ -z $manifest ]] || usage; manifest=$1; shift ;;
    -*) echo "sweep-run: unknown option '$1'" >&2; usage ;;
    *) [[ -z $manifest ]] || usage; manifest=$1; shift ;;
  esac
done
[[ -n $manifest ]] || usage
[[ -z $jobs || $jobs =~ ^[1-9][0-9]*$ ]] || { echo "sweep-run: -j needs a count of 1 or more" >&2; exit 1; }
[[ $every =~ ^[0-9]+$ ]] || { echo "sweep-run: --checkpoint needs a count of cycles" >&2; exit 1; }
command -v parallel >/dev/null || {
  echo "sweep-run: GNU parallel is not installed (scripts/install-deps.sh installs it)" >&2
  exit 1
}
plan="$build/morphsweep/morphsweep-plan"
[[ -x $plan ]] || { echo "sweep-run: $plan is missing; build first (or give --build)" >&2; exit 1; }
[[ -x $build/morphstats/morphstats ]] || { echo "sweep-run: $build/morphstats/morphstats is missing; build first (or give --build)" >&2; exit 1; }
# Names given by the user are data, never parallel's own option text: parallel reads
# replacement strings ({}, {#}, {=perl=}) in --results and --wd, so it sees only fixed
# names: "." for this folder, and links of fixed names in a private folder here.
absolute() { if [[ $1 == /* ]]; then printf '%s' "$1"; else printf '%s/%s' "$PWD" "$1"; fi; }
joblog=${joblog:-$manifest.joblog}
logs="$manifest.logs"

# Every line must be a morphsweep call before any point starts.
points=$("$plan" --results -- "$manifest" | wc -l) || exit 2
((points > 0)) || { echo "sweep-run: $manifest holds no point" >&2; exit 2; }

mkdir -p -- "$logs"
private=$(mktemp -d .sweep-run.XXXXXX) || { echo "sweep-run: cannot make a private folder here" >&2; exit 2; }
trap 'rm -rf -- "$private"' EXIT
ln -s -- "$(absolute "$joblog")" "$private/joblog"
ln -s -- "$(absolute "$logs")" "$private/logs"
options=(--joblog "$private/joblog" --results "$private/logs/{#}" --wd . --env OMP_NUM_THREADS)
[[ -z $jobs ]] || options+=(-j "$jobs")
if [[ -n $sshloginfile ]]; then
  ln -s -- "$(absolute "$sshloginfile")" "$private/sshlogins"
  options+=(--sshloginfile "$private/sshlogins")
fi
((resume == 0)) || options+=(--resume-failed)
# Points share the machine, so each keeps to one thread instead of each taking all cores.
export OMP_NUM_THREADS=1
# With checkpoints each line gets --checkpoint, and on a resume --resume where its point left
# a checkpoint (named like its 3DV result, .ckpt for .3dv); the log keeps the line numbers.
lines=$manifest
if ((every > 0)); then
  lines=$private/lines
  mapfile -t calls <"$manifest"
  mapfile -t named < <("$plan" --results -- "$manifest")
  for i in "${!calls[@]}"; do
    extra=" --checkpoint $every"
    checkpoint=${named[$i]%.3dv}.ckpt
    if ((resume)) && [[ -f $checkpoint ]]; then extra+=" --resume $(printf '%q' "$checkpoint")"; fi
    printf '%s%s\n' "${calls[$i]}" "$extra"
  done >"$lines"
fi
set +e
parallel "${options[@]}" <"$lines"
set -e

# The log, not parallel's status, decides: after a resume it also holds the earlier runs.
# A point counts as done when its latest row shows exit 0 and no signal.
failed=$(awk -F'\t' -v points="$points" '
  NR > 1 && $1 ~ /^[0-9]+$/ { ok[$1] = ($7 == 0 && $8 == 0); cmd[$1] = $9; code[$1] = $7; sig[$1] = $8 }
  END {
    for (s = 1; s <= points; s++) {
      if (!(s in ok)) print s "\tnot run\t"
      else if (!ok[s]) print s "\texit " code[s] (sig[s] != 0 ? ", signal " sig[s] : "") "\t" cmd[s]
    }
  }' <"$([[ -f $joblog ]] && printf '%s' "$joblog" || printf /dev/null)")

status=0
if [[ -n $failed ]]; then
  count=$(printf '%s\n' "$failed" | wc -l)
  while IFS=$'\t' read -r seq why cmd; do
    echo "sweep-run: point $seq failed ($why): $cmd" >&2
    [[ ! -s $logs/$seq.err ]] || tail -n 3 -- "$logs/$seq.err" | sed 's/^/    /' >&2
  done <<<"$failed"
  echo "sweep-run: $count of $points points failed; see $joblog, remove the cause and run again with --resume-failed" >&2
  status=3
else
  echo "sweep-run: all $points points done; log in $joblog" >&2
fi

if ((drawSheet)); then
  "$here/sweep-sheet.sh" --build "$build" -o "${sheet:-$manifest.png}" -- "$manifest" || exit 2
fi
# The numbers of every point, failed and missing ones marked in the status column.
"$build/morphstats/morphstats" --manifest "$manifest" --joblog "$joblog" -o "$manifest.csv" || exit 2
exit "$status"
