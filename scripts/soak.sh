#!/usr/bin/env bash
# Soak runs, too long for CI, on the Release build:
#  1. a morphseed embryo grown through the core from the seed file with a fixed random
#     seed until the 30,000-slot vertex array is full, then five cycles more, every store
#     invariant checked after each cycle, the result written and read back;
#  2. morphsweep for one cycle on a 32,768-vertex template (a 256 x 128 torus, six
#     neighbours everywhere: the largest mesh a 16-bit index can name), writing its files;
#  3. the same template with one vertex more, which must be refused.
#
#   scripts/soak.sh [srand seed]        (default 1253901202)
#
# Prints what each step did and how long it took; exits non-zero on the first failure.
set -euo pipefail
source "$(dirname "$0")/scriptinfo.sh"
scriptInfo soak.sh "$(cat <<'HELP'
usage: scripts/soak.sh [srand seed]
       scripts/soak.sh --help | --version
Soak runs, too long for CI, on a Release build in build-rel/: an embryo grown until its
vertex array is full and five cycles past it, every invariant checked; morphsweep on the
largest template a 16-bit index can name; and one vertex more, which must be refused.
  --help     this text
  --version  the release and the commit of this tree
Example (the default seed):
  scripts/soak.sh 1253901202
HELP
)" "$@"
cd "$(dirname "$0")/.."
seed=${1:-1253901202}
build=build-rel

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target soak_fill morphsweep morphview >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "soak: FAILED: $*" >&2
  exit 1
}

# ---- 1. morphseed to a full array
start=$SECONDS
"$build/tests/soak_fill" morphseed/indexed_icosa "$seed" 5 "$work/full.3dv" >"$work/fill.out" 2>"$work/fill.err" ||
  fail "growth to a full array: $(tail -1 "$work/fill.out")"
full=$(grep -c "^Vertex array is full.$" "$work/fill.err" || true)
[ "$full" -gt 0 ] || fail "growth never printed 'Vertex array is full.'"
echo "soak: morphseed, srand $seed: $(tail -1 "$work/fill.out"); 'Vertex array is full.' printed $full times ($((SECONDS - start)) s wall)"

# ---- 2. and 3. morphsweep on the largest template and one vertex more
# Writes a torus of `around` x `tube` vertices as a template; `extra` adds isolated vertices.
torus() {
  awk -v around="$1" -v tube="$2" -v extra="$3" 'BEGIN {
    pi = atan2(0, -1)
    n = around * tube
    print n + extra
    print 2 * n
    for (i = 0; i < around; i++) for (j = 0; j < tube; j++) {
      u = 2 * pi * i / around; v = 2 * pi * j / tube
      printf "%f %f %f\n0 0 0\n", (3 + cos(v)) * cos(u), (3 + cos(v)) * sin(u), sin(v)
      ip = (i + 1) % around; im = (i + around - 1) % around
      jp = (j + 1) % tube; jm = (j + tube - 1) % tube
      printf "6 %d %d %d %d %d %d 0 0 -1 -1 \n", ip * tube + j, i * tube + jp, im * tube + jp,
             im * tube + j, i * tube + jm, ip * tube + jm
    }
    for (k = 0; k < extra; k++) printf "0 0 0\n0 0 0\n0 0 0 -1 -1 \n"
    for (i = 0; i < around; i++) for (j = 0; j < tube; j++) {
      ip = (i + 1) % around; jp = (j + 1) % tube
      printf "3\n%d %d %d\n3\n%d %d %d\n", i * tube + j, ip * tube + j, i * tube + jp,
             ip * tube + j, ip * tube + jp, i * tube + jp
    }
  }'
}
sweep=$(realpath "$build/morphsweep/morphsweep")
words=(-n 1 -m 1 -t 1 -r 40 120 5 -g 40 120 17 -b 40 120 33 -kr 2 -kh 3)
stem=".n1.m1.r40.120.5.g.40.120.17.b.40.120.33.kr.3.kh.2"

torus 256 128 0 >"$work/largest.3dvTemplate"
start=$SECONDS
(cd "$work" && "$sweep" "${words[@]}" largest.3dvTemplate >sweep.out 2>sweep.err) ||
  fail "morphsweep on 32,768 vertices: $(tail -2 "$work/sweep.err")"
for ending in .3dv .obj .3dvTemplate; do
  [ -s "$work/largest.3dvTemplate$stem$ending" ] || fail "morphsweep wrote no $ending file"
done
result="$work/largest.3dvTemplate$stem.3dv"
[ "$(head -2 "$result" | tr '\n' ' ')" = "32768 65536 " ] || fail "the 3DV result does not state 32768 vertices, 65536 triangles"
[ "$(wc -l <"$result")" -eq $((2 + 2 * 32768 + 2 * 65536)) ] || fail "the 3DV result does not hold what it states"
echo "soak: morphsweep, 32,768 vertices, one cycle: three files written ($((SECONDS - start)) s)"

# The round trip: the template it wrote starts a run of its own, and the viewer draws the
# 3DV result; neither may refuse what morphsweep wrote.
(cd "$work" && "$sweep" "${words[@]}" "largest.3dvTemplate$stem.3dvTemplate" >/dev/null 2>again.err) ||
  fail "morphsweep refuses its own template: $(tail -2 "$work/again.err")"
"$build/morphview/morphview" -o "$work/largest.png" "$result" 2>"$work/view.err" ||
  fail "morphview refuses the 3DV result: $(cat "$work/view.err")"
echo "soak: morphsweep's template and 3DV result read back by morphsweep and morphview"

torus 256 128 1 >"$work/toolarge.3dvTemplate"
status=0
(cd "$work" && "$sweep" "${words[@]}" toolarge.3dvTemplate >/dev/null 2>toolarge.err) || status=$?
[ "$status" -eq 2 ] || fail "32,769 vertices: exit status $status, not 2"
grep -qx "morphsweep: toolarge.3dvTemplate: vertex count 32769 is outside 1..32768" "$work/toolarge.err" ||
  fail "32,769 vertices: $(cat "$work/toolarge.err")"
! ls "$work" | grep -q "^toolarge.3dvTemplate." || fail "32,769 vertices: a result file was written"
echo "soak: morphsweep, 32,769 vertices: refused with status 2, nothing written"
