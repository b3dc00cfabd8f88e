#!/usr/bin/env bash
# The live progress line: shown on standard error only when it is a terminal (here a
# pseudo-terminal from `script`), and without one both streams and every file exactly as
# they always were.
# usage: progress_test.sh BUILD_DIR SEED_FILE EXAMPLE_TEMPLATE
set -euo pipefail
build=$1
seedFile=$2
example=$3
command -v script >/dev/null || { echo "skipped: no 'script' (util-linux) to give the run a terminal"; exit 0; }
work=$(mktemp -d "${TMPDIR:-/tmp}/progress_test.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
check() {  # check DESCRIPTION COMMAND...
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what" >&2; failures=$((failures + 1)); fi
}
onTerminal() {  # onTerminal OUT COMMAND...: COMMAND's standard error on a terminal, into OUT
  local out=$1
  shift
  script -qec "$(printf '%q ' "$@") >stdout.tty" /dev/null >"$out"
}

sweep=("$build/morphsweep/morphsweep" -n 12 -m 1 -t 1 -r 40 120 5 -g 40 120 17 -b 40 120 33 -kr 4 -kh 1 start.3dv)
for run in seed sweep; do
  mkdir -p "$run/plain" "$run/tty"
  for where in plain tty; do
    cp "$seedFile" "$run/$where/indexed_icosa"
    cp "$example" "$run/$where/start.3dv"
  done
  if [[ $run == seed ]]; then words=("$build/morphseed/morphseed" -t 1 -s 1000 -b 1 12); else words=("${sweep[@]}"); fi
  (cd "$run/plain" && "${words[@]}" >stdout.plain 2>stderr.plain)
  (cd "$run/tty" && onTerminal stderr.tty "${words[@]}")
  # A pty turns each \n into \r\n; the lines themselves are compared.
  tr -d '\r' <"$run/tty/stderr.tty" >"$run/tty/stderr.lines"
  check "$run: the same standard output on a terminal" cmp -s "$run/plain/stdout.plain" "$run/tty/stdout.tty"
  for f in "$run"/plain/*.3dv*; do
    check "$run: $(basename "$f") is the same on a terminal" cmp -s "$f" "$run/tty/$(basename "$f")"
  done
  check "$run: no dot on a terminal" test -z "$(grep -F '.done' "$run/tty/stderr.lines")"
  check "$run: the line is cleared before 'done'" grep -q $'\r *\rdone\r$' "$run/tty/stderr.tty"
done
check "seed: dots without a terminal" test "$(cat seed/plain/stderr.plain)" = $'Embryo 1\nseed: 1000\n..done'
check "sweep: dots without a terminal" test "$(cat sweep/plain/stderr.plain)" = $'Embryo 1\n..done'
check "seed: the live line names cycle, vertices and triangles" \
  grep -q $'\rcycle 1 of 12: 12 vertices, 20 triangles' seed/tty/stderr.tty
check "sweep: the live line names cycle, vertices and triangles" \
  grep -q $'\rcycle 1 of 12: 642 vertices, 1280 triangles' sweep/tty/stderr.tty
check "seed: the lines before it as before" test "$(head -n 2 seed/tty/stderr.lines)" = $'Embryo 1\nseed: 1000'

# A resumed run times its cycles from the resume: its first line shows no cycle time, where
# the clock's start (the machine's uptime) once stood.
mkdir resumed
cp "$seedFile" resumed/indexed_icosa
seedRun=("$build/morphseed/morphseed" -t 1 -s 1000 -b 1 12 --checkpoint 1)
stopped=0
(cd resumed && MORPH_TEST_FAULT=signal=USR1@1 "${seedRun[@]}" >/dev/null 2>&1) || stopped=$?
check "resumed: the first run stopped with its checkpoint" test "$stopped" = 75 -a -f resumed/embryo.1000.ckpt
(cd resumed && onTerminal stderr.tty "${seedRun[@]}" --resume embryo.1000.ckpt)
first=$(tr '\r' '\n' <resumed/stderr.tty | grep -m1 '^cycle ' || true)
check "resumed: the first line '$first' shows no cycle time" test -n "$first" -a "${first/s\/cycle/}" = "$first"

((failures == 0)) || { echo "$failures checks failed" >&2; exit 1; }
