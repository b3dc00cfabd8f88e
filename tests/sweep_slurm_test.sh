#!/usr/bin/env bash
# The Slurm array script: a task runs its own manifest line, and --submit splits a
# manifest into arrays and a sheet job after them. A stand-in sbatch records what is
# submitted; the test then runs the tasks as Slurm would.
# usage: sweep_slurm_test.sh BUILD_DIR SCRIPTS_DIR SEED_FILE
set -euo pipefail
build=$1
scripts=$2
seedFile=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/sweep_slurm_test.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

failures=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what" >&2; failures=$((failures + 1)); fi
}

cp "$seedFile" indexed_icosa
"$build/morphseed/morphseed" -t 1 -s 7 -b 1 6 2>/dev/null
cat >sweep.def <<'EOF'
inputTemplate = embryo.7.3dvTemplate
growthCycles = 1
modificationCount = 1
templateSwitch = 0
redLifespan = 40
redThreshold = 120
redSecretor = 5
greenLifespan = 40
greenThreshold = 120
greenSecretor = 17
blueLifespan = 40
blueThreshold = 120
blueSecretor = 33
repulsion = 1:6:1
attraction = 2
EOF
"$build/morphsweep/morphsweep-plan" sweep.def >manifest
mapfile -t results < <("$build/morphsweep/morphsweep-plan" --results manifest)

# Task 2 of an array submitted with offset 3 runs line 5, and only that.
SLURM_ARRAY_TASK_ID=2 bash "$scripts/sweep-slurm.sh" manifest 3 >/dev/null 2>task.err
check "task 2 at offset 3 wrote point 5" test -f "${results[4]}"
check "and no other point" test "$(find . -name '*.kh.*.3dv' | wc -l)" -eq 1
check "it names its line" grep -q "^sweep-slurm: point 5: " task.err
status=0
SLURM_ARRAY_TASK_ID=7 bash "$scripts/sweep-slurm.sh" manifest 2>task.err || status=$?
check "a task past the end fails with status 2" test "$status" -eq 2
check "naming the missing line" grep -q "manifest has no line 7" task.err
status=0
env -u SLURM_ARRAY_TASK_ID bash "$scripts/sweep-slurm.sh" manifest 2>task.err || status=$?
check "outside an array task it refuses with status 1" test "$status" -eq 1
# The point's own status is the task's, so Slurm marks the task failed.
sed -n 1p manifest | sed 's/embryo.7.3dvTemplate$/absent.3dvTemplate/' >broken.manifest
status=0
SLURM_ARRAY_TASK_ID=1 bash "$scripts/sweep-slurm.sh" broken.manifest 2>task.err || status=$?
check "a failing point fails its task with morphsweep's status" test "$status" -eq 2

# A stop that reaches the task as it starts (Slurm may send the warning at once) is kept until
# the point runs and then waits for the point's handler: the point writes its checkpoint and
# the task requeues itself through a stand-in scontrol, rather than either dying of the signal.
mkdir -p bin
printf '#!/usr/bin/env bash\necho "$*" >>"%s/scontrol.log"\n' "$work" >bin/scontrol
chmod +x bin/scontrol
# The point starts through a wrapper that takes a while before it runs morphsweep, so the
# stop surely comes before the program has set up its handler.
printf '#!/usr/bin/env bash\nsleep 0.5\nexec "%s/morphsweep/morphsweep" "$@"\n' "$build" >bin/slowstart
chmod +x bin/slowstart
sed -n 1p manifest | sed "s| -n 1 | -n 40 |; s|^[^ ]*morphsweep |$work/bin/slowstart |" >long.manifest
"$build/morphsweep/morphsweep-plan" --results long.manifest >long.manifest.results
# The stop is sent by a stand-in date, which the task runs (to time its point) before it
# starts the point.
mkdir early
printf '#!/usr/bin/env bash\nkill -USR1 "$PPID"\nexec %q "$@"\n' "$(command -v date)" >early/date
chmod +x early/date
status=0
PATH="$work/early:$work/bin:$PATH" SLURM_ARRAY_TASK_ID=1 SLURM_JOB_ID=9 SWEEP_CHECKPOINT_CYCLES=1 \
  bash "$scripts/sweep-slurm.sh" long.manifest >/dev/null 2>stop.err || status=$?
check "a stop as the task starts ends it as a requeue" test "$status" -eq 0
check "after the point's checkpoint" test -f "$(sed 's/\.3dv$/.ckpt/' long.manifest.results)"
check "through scontrol requeue" grep -qs "^requeue 9_1$" scontrol.log

# Run again, the task resumes and finishes. Killed (SIGKILL) after its results were in place
# but before it removed its checkpoint, it would be refused on every retry: a retry finds the
# results there, whole and newer than the checkpoint, removes it and ends as done.
longCheckpoint=$(sed 's/\.3dv$/.ckpt/' long.manifest.results)
cp -p "$longCheckpoint" stale.ckpt
runLong() { SLURM_ARRAY_TASK_ID=1 SLURM_JOB_ID=9 SWEEP_CHECKPOINT_CYCLES=1 bash "$scripts/sweep-slurm.sh" long.manifest; }
status=0
runLong >/dev/null 2>resume.err || status=$?
check "the requeued task finishes its point (status $status)" test "$status" -eq 0 -a ! -e "$longCheckpoint"
cp -p stale.ckpt "$longCheckpoint"
finished=$(stat -c '%i %Y' "$(cat long.manifest.results)")
status=0
runLong >/dev/null 2>retry.err || status=$?
check "a retry after the kill is done (status $status)" test "$status" -eq 0
check "saying so" grep -q "^sweep-slurm: point 1 had finished (its results are newer than $longCheckpoint); the checkpoint is removed and the point counted done$" retry.err
check "without running the point again" test "$(stat -c '%i %Y' "$(cat long.manifest.results)")" = "$finished"
check "its checkpoint removed" test ! -e "$longCheckpoint"
check "its row: done, as the point ran" test "$(cut -f7- long.manifest.rows/1)" = "0	0	$(cat long.manifest) --checkpoint 1"
# With -t 1 the template is a result too: without it the point has not finished (and the
# resume goes to morphsweep, which refuses the changed word); with it, it has.
sed 's/ -t 0 / -t 1 /' long.manifest >long1.manifest
cp long.manifest.results long1.manifest.results
cp -p stale.ckpt "$longCheckpoint"
runLong1() { SLURM_ARRAY_TASK_ID=1 SLURM_JOB_ID=9 SWEEP_CHECKPOINT_CYCLES=1 bash "$scripts/sweep-slurm.sh" long1.manifest; }
status=0
runLong1 >/dev/null 2>t1.err || status=$?
check "with -t 1 and no template the point is not done (status $status)" grep -q "resumes from $longCheckpoint" t1.err
template=$(sed 's/\.3dv$/.3dvTemplate/' long.manifest.results)
echo template >"$template"
status=0
runLong1 >/dev/null 2>t1.err || status=$?
check "with its template it is (status $status)" grep -q "^sweep-slurm: point 1 had finished" t1.err
rm -f -- "$template" "$longCheckpoint"

# --submit with a stand-in sbatch that logs each call and answers job ids 101, 102, ...
cat >bin/sbatch <<'EOF'
#!/usr/bin/env bash
n=$(($(wc -l <"$SBATCH_LOG" 2>/dev/null || echo 0) + 101))
printf '%s\n' "$*" >>"$SBATCH_LOG"
printf '%s\0' "$@" >"$SBATCH_LOG.$n"
echo "$n;testcluster"
EOF
chmod +x bin/sbatch
export SBATCH_LOG=$work/sbatch.log
mkdir manifest.rows && echo stale >manifest.rows/1  # an earlier submission's row
PATH="$work/bin:$PATH" bash "$scripts/sweep-slurm.sh" --submit --chunk 4 --build "$build" manifest -- --time=5 \
  2>submit.err
self=$(cd "$scripts" && pwd)/sweep-slurm.sh
mapfile -t calls <sbatch.log
check "a submission clears an earlier one's rows" test ! -e manifest.rows/1
check "three jobs submitted" test "${#calls[@]}" -eq 3
check "an array of lines 1-4" test "${calls[0]}" = "--parsable --array=1-4 --time=5 $self manifest 0"
check "an array of lines 5-6" test "${calls[1]}" = "--parsable --array=1-2 --time=5 $self manifest 4"
check "a sheet job after both" grep -q -- "^--parsable --job-name=morphsweep-sheet --dependency=afterany:101:102 --time=5 --wrap=" sbatch.log

# Run what was submitted as Slurm would: every task of both arrays, then the sheet job.
rm -f -- *.kh.*
for job in 101 102; do
  mapfile -d '' -t args <"sbatch.log.$job"
  size=${args[1]#--array=1-}
  for ((task = 1; task <= size; task++)); do
    SLURM_ARRAY_TASK_ID=$task bash "${args[3]}" "${args[4]}" "${args[5]}" >/dev/null 2>&1
  done
done
for i in "${!results[@]}"; do check "point $((i + 1)) ran" test -f "${results[$i]}"; done
mapfile -d '' -t args <sbatch.log.103
bash -c "${args[4]#--wrap=}" 2>/dev/null
check "the sheet job drew the sheet" test -s manifest.png
# and wrote the run record from the rows the tasks left: every point ok, as the task ran it,
# the template's checksum that of sha256sum.
read -r sum _ < <(sha256sum embryo.7.3dvTemplate)
check "and the run record" /usr/bin/python3 - "$sum" "$(sed -n 2p manifest) --checkpoint 10" <<'PY'
import json, sys
record = json.load(open("manifest.run.json"))
assert record["counts"] == {"ok": 6, "failed": 0, "notRun": 0}, record["counts"]
assert [p["status"] for p in record["points"]] == ["ok"] * 6
assert record["points"][1]["command"] == sys.argv[2], record["points"][1]["command"]
assert record["points"][1]["seconds"] >= 0 and record["points"][1]["started"].endswith("Z")
(template,) = [i for i in record["inputs"] if i["role"] == "template"]
assert template["sha256"] == sys.argv[1], template
PY
check "as a PNG" test "$(head -c 8 manifest.png | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a

# SWEEP_CHECKPOINT_CYCLES is a decimal count, checked before any point: 08 is 8; a count
# morphsweep would refuse stops --submit and the task.
rm -f -- "${results[1]}"
SWEEP_CHECKPOINT_CYCLES=08 SLURM_ARRAY_TASK_ID=2 bash "$scripts/sweep-slurm.sh" manifest >/dev/null 2>&1
check "SWEEP_CHECKPOINT_CYCLES=08 runs with --checkpoint 8" test "$(cut -f9 manifest.rows/2)" = "$(sed -n 2p manifest) --checkpoint 8"
rm -- "${results[1]}"
for cycles in 0 2147483648 99999999999 8x; do
  status=0
  SWEEP_CHECKPOINT_CYCLES=$cycles PATH="$work/bin:$PATH" bash "$scripts/sweep-slurm.sh" --submit --build "$build" manifest \
    2>count.err || status=$?
  check "SWEEP_CHECKPOINT_CYCLES=$cycles is refused by --submit (status $status)" test "$status" -eq 1
  check "saying why" grep -qx "sweep-slurm: SWEEP_CHECKPOINT_CYCLES needs a count of cycles from 1 to 2147483647, not '$cycles'" count.err
  check "before any submission" test "$(wc -l <sbatch.log)" -eq 3
  status=0
  SWEEP_CHECKPOINT_CYCLES=$cycles SLURM_ARRAY_TASK_ID=2 bash "$scripts/sweep-slurm.sh" manifest 2>count.err || status=$?
  check "and by a task, before its point (status $status)" test "$status" -eq 1 -a ! -e "${results[1]}"
done

((failures == 0)) || { echo "$failures checks failed" >&2; exit 1; }
