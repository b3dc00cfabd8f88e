#!/usr/bin/env bash
# A 3 x 3 growth sweep (red threshold by green threshold, one seed) planned, run through
# sweep-run.sh with checkpoints, tabulated by morphstats and reported by morphview: every
# point is the embryo morphseed grows alone, and the tiles are labelled by their values. A
# Slurm task of one of its points follows it too.
# usage: growth_sweep_test.sh BUILD_DIR SCRIPTS_DIR SEED_FILE
set -euo pipefail
build=$1
scripts=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/growth_sweep_test.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
cp "$3" indexed_icosa
failures=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what" >&2; failures=$((failures + 1)); fi
}

cat >growth.def <<'DEF'
# red threshold by green threshold, embryo 1000
program        = morphseed
seed           = 1000
growthCycles   = 6
redThreshold   = 30, 50, 70
greenThreshold = 51, 65, 80
DEF
"$build/morphsweep/morphsweep-plan" growth.def >manifest 2>plan.err
check "the planner is silent about the shape" test ! -s plan.err
bash "$scripts/sweep-run.sh" --build "$build" -j 2 --checkpoint 3 manifest 2>run.err ||
  { cat run.err >&2; exit 1; }
"$build/morphsweep/morphsweep-plan" --points manifest >points
name=embryo.1000.red-threshold50.green-threshold65.3dv
check "the points are labelled by the swept values" \
  test "$(sed -n '1p;6p' points)" = $'result\tredThreshold\tgreenThreshold\n'"$name"$'\t50\t65'
check "nine results and no checkpoint left" \
  test "$(ls embryo.1000.*.3dv | wc -l) $(ls ./*.ckpt 2>/dev/null | wc -l)" = "9 0"
check "the table's columns are the swept values" \
  test "$(cut -d, -f1-4 manifest.csv | sed -n '1p;10p')" = $'point,redThreshold,greenThreshold,status\n9,70,80,ok'
check "the contact sheet is a PNG" test "$(head -c 4 manifest.png | tail -c 3)" = PNG
# A point is the embryo morphseed grows alone, its choices given in any order.
mkdir alone && cp indexed_icosa alone/
(cd alone && "$build/morphseed/morphseed" -s 1000 -b 1 6 --episodes green.threshold=65,red.threshold=50 2>/dev/null)
check "a point is the embryo grown alone" cmp -s "alone/$name" "$name"
# A Slurm task whose point left a stale checkpoint beside its whole result (killed after
# writing it) counts it done: the 3DV is all a growth point writes.
touch -d '1 hour ago' "${name%.3dv}.ckpt"
"$build/morphsweep/morphsweep-plan" --results manifest >manifest.results
SLURM_ARRAY_TASK_ID=5 SLURM_JOB_ID=9 SWEEP_CHECKPOINT_CYCLES=3 \
  bash "$scripts/sweep-slurm.sh" manifest >/dev/null 2>slurm.err || true
check "a Slurm task finds its growth point finished" grep -q "^sweep-slurm: point 5 had finished" slurm.err
if "$build/morphview/morphview" --html report.html --manifest manifest --definition growth.def 2>report.err; then
  for value in "redThreshold 30" "greenThreshold 80"; do
    check "the report labels tiles by $value" grep -q "$value" report.html
  done
else
  grep -q "built without three.js" report.err || { cat report.err >&2; failures=$((failures + 1)); }
fi
((failures == 0)) || { echo "$failures checks failed" >&2; exit 1; }
echo "growth sweep: all checks passed"
