#!/usr/bin/env bash
# Runs every point of a sweep manifest (one morphsweep call per line) with GNU parallel,
# here or across machines, keeping a job log so that a later call can re-run only the
# points that failed; then writes the run record (MANIFEST.run.json), renders the contact
# sheet of the sweep and writes the table of shape measures, one row per point, beside it
# (MANIFEST.csv, by morphstats). The points
# run in the folder the manifest was planned in, where its relative paths are read on every
# machine: this folder when every input template is found from here, else the nearest
# folder above the manifest from which all are found; none such is refused up front.
#
# usage: sweep-run.sh [options] MANIFEST; the options are in help() below (sweep-run.sh --help).
# Exit status: 0 every point done and the sheet written; 1 bad command line or missing
# tool; 2 the manifest was refused or the sheet, table or run record could not be written;
# 3 a point failed (the sheet and table are still written, failed points crossed out or
# marked).
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

help() {
  cat <<'EOF'
usage: sweep-run.sh [-j N] [--sshloginfile FILE] [--resume-failed] [--joblog FILE]
                    [--checkpoint N] [--build DIR] [--sheet OUT.png | --no-sheet] MANIFEST
       sweep-run.sh --help | --version
Runs every point of MANIFEST with GNU parallel, in the folder it was planned in, then
writes the run record (MANIFEST.run.json: build, machine, times, inputs with their SHA-256,
each point's command and status), draws the contact sheet (MANIFEST.png) and writes the
table of measures (MANIFEST.csv).
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
  --sheet OUT.png     the contact sheet (default MANIFEST.png)
  --no-sheet          draw no contact sheet
  --help              this text
  --version           the release and the commit of the build's tools
Example, from the folder the sweep was planned in:
  scripts/sweep-run.sh -j 2 day/manifest
Exit status: 0 every point done; 1 bad command line or a tool missing; 2 the manifest
refused, an input template missing, or the sheet, table or run record not written; 3 a
point failed.
EOF
  exit 0
}

source "$(dirname "$0")/runrecord.sh"

# pointFinished RESULT CHECKPOINT LINE: whether the point of manifest line LINE has written
# every result (its 3DV RESULT, the OBJ beside it, and the template when its -t is not 0;
# a growth point its 3DV alone), each whole and newer than its CHECKPOINT: the case
# morphsweep's resume refuses as finished.
# The 3DV is whole when its lines match its counts (two per vertex and per triangle); the
# others, written the same way (a temporary renamed once complete), when they are not empty.
# (sweep-slurm.sh has the same test: its tasks run a copy of it with no scripts beside it.)
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
showVersion=0
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
    -h | --help) help ;;
    --version) showVersion=1; shift ;;
    --) shift; (($# == 1)) && [[ -z $manifest ]] || usage; manifest=$1; shift ;;
    -*) echo "sweep-run: unknown option '$1'" >&2; usage ;;
    *) [[ -z $manifest ]] || usage; manifest=$1; shift ;;
  esac
done
if ((showVersion)); then
  # The scripts belong to the build whose tools they run.
  version=$("$build/morphsweep/morphsweep-plan" --version 2>/dev/null) ||
    { echo "sweep-run: $build/morphsweep/morphsweep-plan is missing; build first (or give --build)" >&2; exit 1; }
  echo "sweep-run.sh${version#morphsweep-plan}"
  exit 0
fi
[[ -n $manifest ]] || usage
[[ -z $jobs || $jobs =~ ^[1-9][0-9]*$ ]] || { echo "sweep-run: -j needs a count of 1 or more" >&2; exit 1; }
[[ $every =~ ^[0-9]+$ ]] || { echo "sweep-run: --checkpoint needs a count of cycles" >&2; exit 1; }
# Decimal however written (bash reads a leading 0 as octal, "08" as no number at all), and no
# more than morphsweep takes, so that a count it would refuse stops the sweep before any point.
every=${every#"${every%%[!0]*}"}
every=${every:-0}
((${#every} <= 10 && 10#$every <= 2147483647)) || {
  echo "sweep-run: --checkpoint needs a count of cycles, at most 2147483647" >&2
  exit 1
}
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

# The folder the manifest was planned in: input template names are relative to it. Started
# elsewhere, every point would fail and the sheet and table of a good run be replaced.
inputs=$("$plan" --inputs -- "$manifest") || exit 2
mapfile -t inputs <<<"$inputs"
allFound() {  # allFound FOLDER: every input template opens from FOLDER
  local f
  for f in "${inputs[@]}"; do
    if [[ $f == /* ]]; then [[ -f $f ]] || return 1; else [[ -f $1/$f ]] || return 1; fi
  done
}
runIn=""
if allFound .; then
  runIn=.
else
  folder=$(cd -- "$(dirname -- "$manifest")" && pwd)
  while :; do
    if allFound "$folder"; then runIn=$folder; break; fi
    [[ $folder != / ]] || break
    folder=$(dirname -- "$folder")
  done
fi
if [[ -z $runIn ]]; then
  missing=()
  for f in "${inputs[@]}"; do [[ -f $f ]] || missing+=("'$f'"); done
  echo "sweep-run: input templates not found: ${missing[*]}" >&2
  echo "sweep-run: looked in $PWD and in $(cd -- "$(dirname -- "$manifest")" && pwd) and each folder above it; run from the folder the manifest was planned in" >&2
  exit 2
fi
if [[ $runIn != . ]]; then
  # Every name given here is made absolute before the points run over there.
  resolved() {  # the folder part resolved where it exists, so that messages read plainly
    local folder
    if folder=$(cd -- "$(dirname -- "$1")" 2>/dev/null && pwd); then
      printf '%s/%s' "${folder%/}" "$(basename -- "$1")"
    else
      absolute "$1"
    fi
  }
  manifest=$(resolved "$manifest")
  joblog=$(resolved "$joblog")
  logs=$(resolved "$logs")
  build=$(resolved "$build")
  plan="$build/morphsweep/morphsweep-plan"
  [[ -z $sheet ]] || sheet=$(resolved "$sheet")
  [[ -z $sshloginfile ]] || sshloginfile=$(resolved "$sshloginfile")
  cd -- "$runIn"
  echo "sweep-run: the points run in $runIn, where $manifest was planned (its input templates are found from there)" >&2
fi

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
# A progress bar for a person watching; logs and pipes get none.
[[ ! -t 2 ]] || options+=(--bar)
# Points share the machine, so each keeps to one thread instead of each taking all cores.
export OMP_NUM_THREADS=1
# The run record's times; a point whose job log row starts at or after runEpoch ran in this call.
runStart=$(date -u +%Y-%m-%dT%H:%M:%SZ)
runEpoch=$(date +%s.%N)
# With checkpoints each line gets --checkpoint, and on a resume --resume where its point left
# a checkpoint (named like its 3DV result, .ckpt for .3dv); the log keeps the line numbers.
# A point stopped after its results were in place but before it removed its checkpoint has
# finished, and morphsweep refuses to resume it: its checkpoint goes, and a row of the job
# log counts it done, so that parallel leaves it alone.
lines=$manifest
if ((every > 0)); then
  lines=$private/lines
  mapfile -t calls <"$manifest"
  mapfile -t named < <("$plan" --results -- "$manifest")
  logged=" "
  if ((resume)) && [[ -f $joblog ]]; then
    logged+=$(awk -F'\t' 'NR > 1 && $1 ~ /^[0-9]+$/ { ok[$1] = ($7 == 0 && $8 == 0) }
      END { for (s in ok) if (ok[s]) printf "%s ", s }' "$joblog")
  fi
  for i in "${!calls[@]}"; do
    extra=" --checkpoint $every"
    checkpoint=${named[$i]%.3dv}.ckpt
    if ((resume)) && [[ -f $checkpoint && $logged != *" $((i + 1)) "* ]] &&
      pointFinished "${named[$i]}" "$checkpoint" "${calls[$i]}"; then
      rm -f -- "$checkpoint"
      [[ -s $joblog ]] || printf 'Seq\tHost\tStarttime\tJobRuntime\tSend\tReceive\tExitval\tSignal\tCommand\n' >>"$joblog"
      printf '%d\t:\t%.3f\t%10.3f\t0\t0\t0\t0\t%s\n' "$((i + 1))" "$(date +%s.%N)" 0 "${calls[$i]}$extra" >>"$joblog"
      echo "sweep-run: point $((i + 1)) had finished (its results are newer than $checkpoint); the checkpoint is removed and the point counted done" >&2
    elif ((resume)) && [[ -f $checkpoint ]]; then
      extra+=" --resume $(printf '%q' "$checkpoint")"
    fi
    printf '%s%s\n' "${calls[$i]}" "$extra"
  done >"$lines"
fi
set +e
parallel "${options[@]}" <"$lines"
set -e
runEnd=$(date -u +%Y-%m-%dT%H:%M:%SZ)

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

sheet=${sheet:-$manifest.png}
table=$manifest.csv
if [[ -n $failed ]] && (($(printf '%s\n' "$failed" | wc -l) == points)); then
  # Nothing of this run is worth a good run's sheet and table: those stay, the new ones go
  # beside them.
  if ((drawSheet)) && [[ -e $sheet || -e ${sheet%.png}.1.png ]]; then
    kept=$sheet
    sheet=${sheet%.png}.failed.png
    echo "sweep-run: every point failed; the sheet goes to $sheet, and $kept is kept" >&2
  fi
  if [[ -e $table ]]; then
    echo "sweep-run: every point failed; the table goes to ${table%.csv}.failed.csv, and $table is kept" >&2
    table=${table%.csv}.failed.csv
  fi
fi
# The run record: which build ran which point how, on what, when, from which inputs.
record=$manifest.run.json
if [[ -n $failed ]] && (($(printf '%s\n' "$failed" | wc -l) == points)) && [[ -e $record ]]; then
  echo "sweep-run: every point failed; the run record goes to ${record%.run.json}.failed.run.json, and $record is kept" >&2
  record=${record%.run.json}.failed.run.json
fi
recordWritten=1
"$plan" --results -- "$manifest" >"$private/results" || exit 2
writeRunRecord sweep-run "$record" "$manifest" "$joblog" "$private/results" "$runStart" "$runEpoch" "$runEnd" \
  "${jobs:-$(parallel --number-of-threads)}" "$OMP_NUM_THREADS" "$every" "$resume" "$sshloginfile" \
  "$build/morphsweep/morphsweep" "${inputs[@]}" || recordWritten=0
if ((drawSheet)); then
  "$here/sweep-sheet.sh" --build "$build" -o "$sheet" -- "$manifest" || exit 2
fi
# The numbers of every point, failed and missing ones marked in the status column.
"$build/morphstats/morphstats" --manifest "$manifest" --joblog "$joblog" -o "$table" || exit 2
((recordWritten)) || exit 2
exit "$status"
