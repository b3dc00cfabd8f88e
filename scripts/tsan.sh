#!/usr/bin/env bash
# The ThreadSanitizer stage of CI (docs/development/building.md, "Threads under
# ThreadSanitizer"): builds the MORPH_TSAN configuration (clang++, LLVM's OpenMP runtime and
# its Archer tool), runs every test whose name holds "Thread" at 2 and at 3 threads, then
# grows one morphseed embryo past the size where the relaxation step times its thread
# choice, once with the scalar kernel and once with the processor's own. Any report fails
# the run: the sanitizer stops the process at the first one with status 66, and its reports,
# from the tests and from every program they start, are kept in <build folder>/tsan-reports/
# and printed here.
#
#   scripts/tsan.sh [build folder, default build-tsan]
#
# A threaded test joins the stage by having "Thread" in its suite or test name (the ctest
# name, e.g. seed.EmbryosInThreads.TwoGrowAtOnce, is matched against $pattern).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-tsan}
pattern='Thread'
# Cycles of the run below: seed 31337 passes 5,000 vertices at cycle 40 (5,444) and has
# 5,582 after 41, so every step of its last cycle is timed for the thread choice
# (core/fastforces.cpp). Of the seeds tried it gets there soonest: the scalar run's cost
# grows with the square of the vertices summed over its cycles, 59% of seed 1000's 52 cycles.
seed=31337
cycles=41
minVertices=5000

# RelWithDebInfo: optimised as shipped, with the lines every report names.
cmake -S . -B "$dir" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMORPH_TSAN=ON -DMORPH_PYTHON=ON -DMORPH_WERROR=ON >/dev/null
# Only what the stage runs (tests/CMakeLists.txt, tsan-stage): the tests with "Thread" in a
# name, the probe and morphseed, and the Python module with the interpreter its threaded
# tests run in.
start=$SECONDS
cmake --build "$dir" --target tsan-stage
echo "ThreadSanitizer stage: build $((SECONDS - start)) s"

build=$(realpath "$dir")
archer=$(sed -n 's/^MORPH_ARCHER_LIBRARY:FILEPATH=//p' "$build/CMakeCache.txt")
reports=$build/tsan-reports
rm -rf "$reports"
mkdir -p "$reports"
export OMP_TOOL_LIBRARIES=$archer
# Only instrumented code is checked (the C library, zlib and the runtime are not), the
# first report ends the process, and every report goes to a file of its own, so that one
# in a child whose status a test does not look at still fails the stage.
export TSAN_OPTIONS="ignore_noninstrumented_modules=1 halt_on_error=1 exitcode=66 log_path=$reports/report"

failed=0
reported() {
  if compgen -G "$reports/report*" >/dev/null; then
    echo "ThreadSanitizer reports ($1):"
    cat "$reports"/report*
    return 0
  fi
  return 1
}

# Without Archer the runtime's barriers look like races; make sure it is in.
probe=$(ARCHER_OPTIONS=verbose=1 OMP_NUM_THREADS=2 "$build/tests/waitpolicy_probe" 2>&1 || true)
if ! grep -q 'Archer detected OpenMP application with TSan' <<<"$probe"; then
  echo "Archer ($archer) did not load: $probe"
  exit 1
fi

for threads in 2 3; do
  echo "== tests matching '$pattern' at OMP_NUM_THREADS=$threads"
  OMP_NUM_THREADS=$threads ctest --test-dir "$dir" -R "$pattern" --no-tests=error --output-on-failure || failed=1
  ! reported "tests, $threads threads" || failed=1
done

# Whole runs of the program, the scalar kernel first (its every access is checked; the
# vector kernels' wide accesses are invisible to the sanitizer), at 2 threads.
run=$build/tsan-run
for unit in scalar own; do
  echo "== morphseed -s $seed -b 1 $cycles, $unit unit, OMP_NUM_THREADS=2"
  rm -rf "$run"
  mkdir -p "$run"
  cp morphseed/indexed_icosa "$run/"
  unitVar=()
  [[ $unit == own ]] || unitVar=("MORPH_TEST_UNIT=$unit")
  if ! (cd "$run" && env "${unitVar[@]}" OMP_NUM_THREADS=2 "$build/morphseed/morphseed" -s $seed -b 1 $cycles); then
    echo "morphseed failed"
    failed=1
  fi
  ! reported "morphseed, $unit unit" || failed=1
  vertices=$(head -n 1 "$run/embryo.$seed.3dv" 2>/dev/null || echo 0)
  if ((vertices < minVertices)); then
    echo "the embryo has $vertices vertices, fewer than the $minVertices where the thread choice starts"
    failed=1
  fi
done
rm -rf "$run"

echo "ThreadSanitizer stage: $((SECONDS - start)) s in all"
((failed == 0)) && echo "ThreadSanitizer stage: no report"
exit $failed
