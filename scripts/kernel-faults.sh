#!/usr/bin/env bash
# Plants each deliberate fault of core/model/kernel_fault.h in turn (a build of its own in
# build-faults/), runs the relaxation step's identity tests against it and requires them
# to fail; then plants the skipped wavefront wait (fault 5) in a ThreadSanitizer build of its
# own (build-faults-tsan/, the configuration of scripts/tsan.sh) and requires the sanitizer
# to report a race. Exit status 1 when any fault goes uncaught.
# Usage: scripts/kernel-faults.sh [--tsan-only] [build folder, default build-faults]
set -euo pipefail
source "$(dirname "$0")/scriptinfo.sh"
scriptInfo kernel-faults.sh "$(cat <<'HELP'
usage: scripts/kernel-faults.sh [--tsan-only] [build folder, default build-faults]
       scripts/kernel-faults.sh --help | --version
Plants each deliberate fault of the pair kernel in turn and requires the identity tests to
catch it, then requires ThreadSanitizer to report the skipped wavefront wait.
  --tsan-only  only the ThreadSanitizer check (in build-faults-tsan/)
  --help       this text
  --version    the release and the commit of this tree
Example:
  scripts/kernel-faults.sh --tsan-only
HELP
)" "$@"
cd "$(dirname "$0")/.."
tsanOnly=0
if [[ ${1:-} == --tsan-only ]]; then
  tsanOnly=1
  shift
fi
dir=${1:-build-faults}
faults=(none swappedMasks columnAdded noCorrection droppedGuard noWavefrontWait skippedColumnSums parentLeadEarly)
uncaught=0
((tsanOnly)) || for n in $(seq 1 $((${#faults[@]} - 1))); do
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORPH_KERNEL_FAULT="$n" >/dev/null
  cmake --build "$dir" --target test_fastforces_seed >/dev/null
  # Two threads at least, or the wavefront has nobody to race with.
  if OMP_NUM_THREADS=2 "$dir"/tests/test_fastforces_seed --gtest_brief=1 >"$dir/fault-$n.log" 2>&1; then
    echo "fault $n (${faults[$n]}): NOT caught"
    uncaught=1
  else
    failed=$(grep -o '^\[  FAILED  \] [A-Za-z][A-Za-z0-9_./]*' "$dir/fault-$n.log" | sort -u | wc -l)
    echo "fault $n (${faults[$n]}): caught by $failed failing tests"
  fi
done
# Leave the folder as a fault-free build.
((tsanOnly)) || cmake -S . -B "$dir" -DMORPH_KERNEL_FAULT=0 >/dev/null

# The identity tests see a skipped wait only when the race goes wrong; the sanitizer must
# see it every time, on the scalar kernel, whose column sums it checks in full.
tsan=$dir-tsan
cmake -S . -B "$tsan" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORPH_TSAN=ON \
  -DMORPH_KERNEL_FAULT=5 >/dev/null
cmake --build "$tsan" --target test_fastforces_seed >/dev/null
log=$tsan/fault-5-tsan.log
OMP_NUM_THREADS=2 OMP_TOOL_LIBRARIES=$(sed -n 's/^MORPH_ARCHER_LIBRARY:FILEPATH=//p' "$tsan/CMakeCache.txt") \
  TSAN_OPTIONS="ignore_noninstrumented_modules=1 halt_on_error=0" "$tsan"/tests/test_fastforces_seed --gtest_brief=1 \
  --gtest_filter='Units/FastForcesUnit.WholeStepsAtAnyThreadCountAndQuotientForm/scalar' >"$log" 2>&1 || true
races=$(grep -c '^WARNING: ThreadSanitizer: data race' "$log" || true)
if ((races == 0)); then
  echo "fault 5 (${faults[5]}) under ThreadSanitizer: NOT reported (see $log)"
  uncaught=1
else
  where=$(grep -m1 -A1 '^  Read of size\|^  Write of size' "$log" | grep -o '[A-Za-z0-9_]*\.[ch]p*:[0-9]*' | head -n 1)
  echo "fault 5 (${faults[5]}) under ThreadSanitizer: reported, $races races (first in $where)"
fi
exit $uncaught
