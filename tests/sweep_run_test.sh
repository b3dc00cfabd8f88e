#!/usr/bin/env bash
# A six-point sweep run here with GNU parallel, one point made to fail: the job log, the
# failure report, the run record, a resume that runs only that point, and byte-identical
# re-runs.
# usage: sweep_run_test.sh BUILD_DIR SCRIPTS_DIR SEED_FILE
set -euo pipefail
build=$1
scripts=$2
seedFile=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/sweep_run_test.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

failures=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what" >&2; failures=$((failures + 1)); fi
}
rows() { awk 'NR > 1' "$1" | wc -l; }
exitOf() { awk -F'\t' -v s="$2" 'NR > 1 && $1 == s { code = $7 } END { print code }' "$1"; }
stamp() { stat -c '%i %Y' "$@"; }
# record FILE EXPRESSION: a value of a run record, by a Python expression over it (r); the
# record must be valid JSON.
record() { python3 -c 'import json, re, sys; r = json.load(open(sys.argv[1], "rb")); print(eval(sys.argv[2]))' "$@"; }
sha() { sha256sum <"$1" | cut -d' ' -f1; }

command -v parallel >/dev/null || { echo "GNU parallel is missing: run scripts/install-deps.sh" >&2; exit 1; }

# A small template: a seed grown for a few cycles.
cp "$seedFile" indexed_icosa
"$build/morphseed/morphseed" -t 1 -s 42 -b 1 10 2>/dev/null
cat >sweep.def <<'EOF'
# attraction 1..3 against repulsion 1 and 2 on one small embryo
inputTemplate     = embryo.42.3dvTemplate
growthCycles      = 3
modificationCount = 1
templateSwitch    = 0
redLifespan       = 40
redThreshold      = 120
redSecretor       = 5
greenLifespan     = 40
greenThreshold    = 120
greenSecretor     = 17
blueLifespan      = 40
blueThreshold     = 120
blueSecretor      = 33
repulsion         = 1, 2
attraction        = 1:3:1
EOF
"$build/morphsweep/morphsweep-plan" sweep.def >manifest
check "six points planned" test "$(wc -l <manifest)" -eq 6
mapfile -t results < <("$build/morphsweep/morphsweep-plan" --results manifest)
check "six result names" test "${#results[@]}" -eq 6

# Point 4 cannot write its result: a folder stands where the file should go.
mkdir "${results[3]}"
status=0
"$scripts/sweep-run.sh" --build "$build" -j 3 manifest >run1.out 2>run1.err || status=$?
check "a failed point gives status 3" test "$status" -eq 3
check "six log rows" test "$(rows manifest.joblog)" -eq 6
check "the log shows point 4 failed" test "$(exitOf manifest.joblog 4)" -eq 2
for p in 1 2 3 5 6; do check "the log shows point $p done" test "$(exitOf manifest.joblog $p)" -eq 0; done
check "the failure is reported" grep -q "^sweep-run: point 4 failed (exit 2): .*-kr 2 -kh 1 embryo.42.3dvTemplate$" run1.err
check "with its reason" grep -q "cannot write" run1.err
check "and counted" grep -q "^sweep-run: 1 of 6 points failed" run1.err
check "the sheet is drawn anyway" test -s manifest.png
# The table of measures beside the sheet: a row for every point, the failed one marked.
check "the table is written" test -s manifest.csv
check "a header and six rows" test "$(wc -l <manifest.csv)" -eq 7
check "point 4 is marked failed with its reason" grep -q "^4,2,1,failed,exit 2: morphsweep: cannot write '" manifest.csv
check "five points are ok" test "$(grep -c '^[0-9]*,[0-9]*,[0-9]*,ok,' manifest.csv)" -eq 5
stats="$build/morphstats/morphstats"
check "a plot over the swept parameters" "$stats" --manifest manifest --plot volume --by attraction,repulsion -o volume.png
check "a heat map over them" "$stats" --manifest manifest --heatmap sphericity --by attraction,repulsion -o sphericity.png
check "both are pictures" test -s volume.png -a -s sphericity.png
for i in 0 1 2 4 5; do check "point $((i + 1)) wrote its result" test -f "${results[$i]}"; done
# The run record beside the manifest: the build, the machine, the inputs by their SHA-256,
# each point's command line as run and how it ended.
version=$("$build/morphsweep/morphsweep" --version)
while IFS='|' read -r what expression expected; do
  check "run record: $what" test "$(record manifest.run.json "$expression")" = "$expected"
done <<EOF
statuses|",".join(p["status"] for p in r["points"])|ok,ok,ok,failed,ok,ok
counts and overall status|"%(ok)d %(failed)d %(notRun)d " % r["counts"] + r["status"]|5 1 0 failed
the template's checksum|[i["sha256"] for i in r["inputs"] if i["role"] == "template"]|['$(sha embryo.42.3dvTemplate)']
the manifest's checksum|[i["sha256"] for i in r["inputs"] if i["file"] == "manifest"]|['$(sha manifest)']
the release and commit|"morphsweep " + r["release"] + (" (commit %s)" % r["commit"] if r["commit"] else "")|$version
the kernel unit|r["unit"]|$("$build/morphsweep/morphsweep" --unit)
the processor|r["processor"]|$(grep -m1 '^model name' /proc/cpuinfo | sed 's/^[^:]*: *//')
threads per point and points side by side|"%d %d" % (r["threads"], r["jobs"])|1 3
start and end in UTC|bool(re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ", r["start"])) and r["start"] <= r["end"]|True
point 4's result|r["points"][3]["result"]|${results[3]}
point 4's command as run|r["points"][3]["command"]|$(awk -F'\t' '$1 == 4 { print $9 }' manifest.joblog)
the folder the points ran in|r["folder"]|$(pwd -P)
EOF
# The same as columns of the table: the failed point with its command as run.
status=0
"$build/morphstats/morphstats" --manifest manifest --provenance manifest.run.json -o provenance.csv 2>/dev/null || status=$?
check "the table takes the record's columns (status $status)" test "$(python3 -c 'import csv, sys
rows = list(csv.DictReader(open(sys.argv[1])))
print(len(rows), rows[3]["pointStatus"], rows[0]["pointStatus"], rows[3]["pointCommand"][-21:], rows[5]["unit"] != "")' \
  provenance.csv)" = "6 failed ok embryo.42.3dvTemplate True"
before=$(stamp "${results[0]}" "${results[1]}" "${results[2]}" "${results[4]}" "${results[5]}")

# The cause removed, a resume runs point 4 alone.
rmdir "${results[3]}"
status=0
"$scripts/sweep-run.sh" --build "$build" -j 3 --resume-failed manifest >run2.out 2>run2.err || status=$?
check "the resumed sweep succeeds" test "$status" -eq 0
check "one row added" test "$(rows manifest.joblog)" -eq 7
check "the added row is point 4, done" test "$(awk -F'\t' 'END { print $1 "/" $7 }' manifest.joblog)" = 4/0
check "point 4 wrote its result" test -f "${results[3]}"
check "no other point ran again" test "$(stamp "${results[0]}" "${results[1]}" "${results[2]}" "${results[4]}" "${results[5]}")" = "$before"
check "all done is reported" grep -q "^sweep-run: all 6 points done" run2.err
check "the record shows every point done, point 4 in this run" \
  test "$(record manifest.run.json '" ".join(p["status"] for p in r["points"]) + " " + "".join(str(int(p["thisRun"])) for p in r["points"])')" = "ok ok ok ok ok ok 000100"
mkdir first
cp -- *.kh.* manifest.png first/

# Every point again, from scratch: the same bytes.
status=0
"$scripts/sweep-run.sh" --build "$build" -j 2 --joblog again.joblog --sheet again.png manifest >run3.out 2>run3.err ||
  status=$?
check "the full re-run succeeds" test "$status" -eq 0
check "six rows in its own log" test "$(rows again.joblog)" -eq 6
for f in first/*.kh.*; do check "$(basename "$f") is byte-identical" cmp -s "$f" "$(basename "$f")"; done
check "twelve result files compared" test "$(find first -name '*.kh.*' | wc -l)" -eq 12
check "the sheet is byte-identical" cmp -s first/manifest.png again.png
# A run record that cannot be written is named and makes the status 2; nothing is left of it.
mv manifest.run.json kept.run.json && mkdir manifest.run.json
status=0
"$scripts/sweep-run.sh" --build "$build" --resume-failed --no-sheet manifest >run3b.out 2>run3b.err || status=$?
check "a record that cannot be written gives status 2 (status $status)" test "$status" -eq 2
check "naming it" grep -q "^sweep-run: cannot write the run record manifest.run.json: " run3b.err
check "leaving no temporary" test -z "$(find . -maxdepth 1 -name 'manifest.run.json.tmp*')"
rmdir manifest.run.json && mv kept.run.json manifest.run.json

# With --checkpoint every point stops (SIGUSR1 once its first checkpoint is written) after
# cycle 2; the table, shorter, is written whole. The resume goes on from the checkpoints
# and writes the same bytes.
rm -f -- *.kh.*
status=0
MORPH_TEST_FAULT=signal=USR1@10000 "$scripts/sweep-run.sh" --build "$build" --checkpoint 1 --joblog ckpt.joblog \
  --no-sheet manifest >run4.out 2>run4.err || status=$?
check "stopped points count as failed (status $status)" test "$status" -eq 3
check "each stopped with status 75" test "$(exitOf ckpt.joblog 1)/$(exitOf ckpt.joblog 6)" = 75/75
check "each left its checkpoint" test "$(find . -maxdepth 1 -name '*.kh.*.ckpt' | wc -l)" -eq 6
mkdir stale
cp -p -- *.kh.*.ckpt stale/
status=0
"$scripts/sweep-run.sh" --build "$build" --checkpoint 1 --joblog ckpt.joblog --resume-failed --no-sheet manifest \
  >run5.out 2>run5.err || status=$?
check "the resume finishes them" test "$status" -eq 0
check "from their checkpoints" test "$(grep -c -- '--resume ' ckpt.joblog)" -eq 6
check "which are gone" test "$(find . -maxdepth 1 -name '*.kh.*.ckpt' | wc -l)" -eq 0
for f in first/*.kh.*; do check "resumed $(basename "$f") is byte-identical" cmp -s "$f" "$(basename "$f")"; done

# Points killed (SIGKILL) after their results were in place but before they removed their
# checkpoints: the job log shows them killed, their checkpoints are back. A retry counts a
# point done whose results are all there, whole and newer than its checkpoint, and removes
# the checkpoint; it resumes the others, and morphsweep refuses one with a result newer than
# its checkpoint but cut short (no retry can use that checkpoint: left to the user).
awk -F'\t' -v OFS='\t' '$9 ~ /--resume / && $1 ~ /^[1235]$/ { $7 = 0; $8 = 9 } 1' ckpt.joblog >killed.joblog
stem() { printf '%s' "${results[$1 - 1]%.3dv}"; }
for p in 1 2 3 5; do cp -p "stale/$(stem $p).ckpt" .; done
head -n 5 "$(stem 3).3dv" >cut && mv cut "$(stem 3).3dv"  # newer, but not whole
rm "$(stem 5).obj"                                         # one result missing
touch -r "$(stem 1).ckpt" "$(stem 1).obj"                  # one no newer than the checkpoint
finished=$(stamp "$(stem 2).3dv" "$(stem 2).obj")
status=0
"$scripts/sweep-run.sh" --build "$build" --checkpoint 1 --joblog killed.joblog --resume-failed --no-sheet manifest \
  >run5b.out 2>run5b.err || status=$?
check "the retry after the kills fails only point 3 (status $status)" test "$status" -eq 3
check "whose cut result is not taken for finished" grep -q "^sweep-run: 1 of 6 points failed" run5b.err
check "as morphsweep says" grep -q "$(stem 3).ckpt: the run it records has finished past it" run5b.err
check "it says point 2 had finished" grep -q "^sweep-run: point 2 had finished (its results are newer than $(stem 2).ckpt); the checkpoint is removed and the point counted done$" run5b.err
check "and no other" test "$(grep -c 'had finished' run5b.err)" -eq 1
check "point 2 did not run again" test "$(stamp "$(stem 2).3dv" "$(stem 2).obj")" = "$finished"
check "its log row: done, as its point ran" test "$(awk -F'\t' '$1 == 2 { row = $7 "/" $8 "/" $9 } END { print row }' killed.joblog)" = "0/0/$(sed -n 2p manifest) --checkpoint 1"
for p in 1 5; do
  check "point $p resumed from its checkpoint" test "$(awk -F'\t' -v p=$p '$1 == p { c = $9 } END { print c ~ /--resume / }' killed.joblog)" = 1
done
check "no other checkpoint is left" test "$(find . -maxdepth 1 -name '*.kh.*.ckpt')" = "./$(stem 3).ckpt"
for f in first/*.kh.*; do
  [[ $f == "first/$(stem 3)."* ]] || check "after the retry $(basename "$f") is byte-identical" cmp -s "$f" "$(basename "$f")"
done
check "the record counts the others done" test "$(record manifest.run.json '" ".join(p["status"] for p in r["points"])')" = "ok ok failed ok ok ok"
rm "$(stem 3).ckpt"

# --checkpoint is a decimal count, range-checked before any point runs.
head -n 1 manifest >one.manifest
while read -r given expected; do
  rm -f one.manifest.joblog
  status=0
  "$scripts/sweep-run.sh" --build "$build" --checkpoint "$given" --no-sheet one.manifest >count.out 2>count.err || status=$?
  if [[ $expected == refused ]]; then
    check "--checkpoint $given is refused (status $status)" test "$status" -eq 1
    check "saying why" grep -qx "sweep-run: --checkpoint needs a count of cycles, at most 2147483647" count.err
    check "before any point" test ! -e one.manifest.joblog
  else
    check "--checkpoint $given runs (status $status)" test "$status" -eq 0
    check "as --checkpoint $expected" test "$(awk -F'\t' 'NR == 2 { print $9 }' one.manifest.joblog)" = "$(cat one.manifest) --checkpoint $expected"
    check "recorded as $expected" test "$(record one.manifest.run.json 'r["checkpoint"]')" = "$expected"
  fi
done <<'EOF'
08 8
0010 10
2147483648 refused
99999999999 refused
EOF

# A manifest with a line that is no morphsweep call starts nothing.
head -n 2 manifest >bad.manifest
echo "rm -rf /tmp/anything" >>bad.manifest
status=0
"$scripts/sweep-run.sh" --build "$build" bad.manifest >bad.out 2>bad.err || status=$?
check "a bad manifest gives status 2" test "$status" -eq 2
check "naming its line" grep -q "bad.manifest:3: 3 words where a morphsweep call has 24" bad.err
check "and no job ran" test ! -e bad.manifest.joblog
status=0
"$scripts/sweep-run.sh" --build "$build" -j 0 manifest 2>/dev/null || status=$?
check "a bad -j is a command-line fault" test "$status" -eq 1

# Hostile names for the manifest, its job log and the folder they live in: GNU parallel
# sees none of them, and every tool takes them as files.
for name in '-lead' '{}' 'm{=system("touch pwned")=}' 'a:b' 'f%d' $'tab\tname'; do
  folder="dir {} {=system(\"touch pwned\")=}/$name.d"
  mkdir -p -- "$folder"
  cp -- embryo.42.3dvTemplate "$folder/"
  sed -n 1p manifest >"$folder/$name"
  status=0
  "$scripts/sweep-run.sh" --build "$build" --no-sheet --joblog "$folder/-j{}" -- "$folder/$name" >hostile.out 2>hostile.err ||
    status=$?
  check "the sweep of '$name' succeeds" test "$status" -eq 0
  check "its log went to $name.logs/1" test -f "$folder/$name.logs/1"
  check "its job log has the point" test "$(rows "$folder/-j{}")" -eq 1
  check "its table was written" test "$(wc -l <"$folder/$name.csv")" -eq 2
  check "no private folder is left" test -z "$(find "$folder" -name '.sweep-run.*')"
  "$scripts/sweep-sheet.sh" --build "$build" -o "$folder/sheet.png" -- "$folder/$name" 2>/dev/null
  check "the sheet of '$name' is drawn" test -s "$folder/sheet.png"
  check "with the result found" test "$(grep -c ',ok,' "$folder/$name.csv")" -eq 1
done
check "no name ran as code" test -z "$(find . -name pwned)"

# Started from another folder: the points run where the manifest was planned, found by its
# input templates; a missing template is refused before anything starts; and a run whose
# every point fails leaves a good run's sheet and table as they were.
mkdir -p nested/day nested/elsewhere
cp embryo.42.3dvTemplate nested/day/start.3dvTemplate
sed 's|^inputTemplate .*|inputTemplate = day/start.3dvTemplate|; s|^attraction .*|attraction = 1|' sweep.def >nested/day/sweep.def
(cd nested && "$build/morphsweep/morphsweep-plan" day/sweep.def >day/manifest)
status=0
(cd nested/elsewhere && "$scripts/sweep-run.sh" --build "$build" ../day/manifest) >wrong.out 2>wrong.err || status=$?
check "a sweep started elsewhere succeeds" test "$status" -eq 0
check "its points ran where it was planned" test "$(find nested/day -name '*.kh.*.3dv' | wc -l)" -eq 2
check "nothing was written where it was started" test -z "$(ls -A nested/elsewhere)"
check "it says where the points ran" grep -q "^sweep-run: the points run in .*/nested, where .*/nested/day/manifest was planned" wrong.err
check "its sheet and table are beside the manifest" test -s nested/day/manifest.png -a -s nested/day/manifest.csv
check "no progress bar without a terminal" test -z "$(grep -l $'\e' wrong.err)"
good=$(stamp nested/day/manifest.png nested/day/manifest.csv)
mv nested/day/start.3dvTemplate nested/day/start.kept
status=0
(cd nested/elsewhere && "$scripts/sweep-run.sh" --build "$build" ../day/manifest) >missing.out 2>missing.err || status=$?
check "a missing template is refused" test "$status" -eq 2
check "naming it" grep -q "^sweep-run: input templates not found: 'day/start.3dvTemplate'$" missing.err
check "before any point ran" test "$(rows nested/day/manifest.joblog)" -eq 2
check "sheet and table untouched" test "$(stamp nested/day/manifest.png nested/day/manifest.csv)" = "$good"
echo 1 >nested/day/start.3dvTemplate
status=0
(cd nested && "$scripts/sweep-run.sh" --build "$build" day/manifest) >allfail.out 2>allfail.err || status=$?
check "every point failing gives status 3" test "$status" -eq 3
check "the good sheet and table are kept" test "$(stamp nested/day/manifest.png nested/day/manifest.csv)" = "$good"
check "the new sheet goes beside it" test -s nested/day/manifest.failed.png
check "the new table beside it marks both points failed" test "$(grep -c ',failed,' nested/day/manifest.failed.csv)" -eq 2
check "and says so" grep -qx "sweep-run: every point failed; the sheet goes to day/manifest.failed.png, and day/manifest.png is kept" allfail.err
check "the good run record is kept" test "$(record nested/day/manifest.run.json 'r["status"]')" = ok
check "the failed one goes beside it" test "$(record nested/day/manifest.failed.run.json 'r["status"], r["counts"]["failed"]')" = "('failed', 2)"
mv nested/day/start.kept nested/day/start.3dvTemplate
# On a terminal GNU parallel shows its progress bar.
if command -v script >/dev/null; then
  (cd nested && script -qec "$(printf '%q ' "$scripts/sweep-run.sh" --build "$build" --no-sheet day/manifest)" /dev/null) >bar.out 2>&1
  check "a progress bar on a terminal" grep -q "100% 2:0=" bar.out
else
  echo "skipped: no 'script' to give the run a terminal (util-linux)"
fi

((failures == 0)) || { echo "$failures checks failed" >&2; exit 1; }
