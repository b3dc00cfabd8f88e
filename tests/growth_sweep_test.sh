#!/usr/bin/env bash
# A 3 x 3 growth sweep (red threshold by green threshold, one seed) planned, run through
# sweep-run.sh with checkpoints, tabulated by morphstats and reported by morphview: every
# point is the embryo morphseed grows alone, and the tiles are labelled by their values.
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
check "the points are labelled by the swept values" \
  test "$(sed -n '1p;6p' points)" = $'result\tredThreshold\tgreenThreshold\nembryo.1000.red-threshold50.green-threshold65.3dv\t50\t65'
check "nine results and no checkpoint left" test "$(ls embryo.1000.*.3dv | wc -l) $(ls ./*.ckpt 2>/dev/null | wc -l)" = "9 0"
check "the table's columns are the swept values" \
  test "$(cut -d, -f1-4 manifest.csv | sed -n '1p;10p')" = $'point,redThreshold,greenThreshold,status\n9,70,80,ok'
check "the contact sheet is a PNG" test "$(head -c 4 manifest.png | tail -c 3)" = PNG
# A point is the embryo morphseed grows alone, its choices given in any order.
mkdir alone && cp indexed_icosa alone/
(cd alone && "$build/morphseed/morphseed" -s 1000 -b 1 6 --episodes green.threshold=65,red.threshold=50 2>/dev/null)
name=embryo.1000.red-threshold50.green-threshold65.3dv
check "a point is the embryo grown alone" cmp -s "alone/$name" "$name"
if "$build/morphview/morphview" --html report.html --manifest manifest --definition growth.def 2>report.err; then
  for value in "redThreshold 30" "greenThreshold 80"; do
    check "the report labels tiles by $value" grep -q "$value" report.html
  done
else
  grep -q "built without three.js" report.err || { cat report.err >&2; failures=$((failures + 1)); }
fi
((failures == 0)) || { echo "$failures checks failed" >&2; exit 1; }
echo "growth sweep: all checks passed"
