#!/usr/bin/env bash
# Plants each deliberate fault of core/model/kernel_fault.h in turn (a build of its own in
# build-faults/), runs the relaxation step's identity tests against it and requires them
# to fail. Exit status 1 when any fault goes uncaught.
# Usage: scripts/kernel-faults.sh [build folder, default build-faults]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-faults}
faults=(none swappedMasks columnAdded noCorrection droppedGuard noWavefrontWait skippedColumnSums parentLeadEarly)
uncaught=0
for n in $(seq 1 $((${#faults[@]} - 1))); do
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
cmake -S . -B "$dir" -DMORPH_KERNEL_FAULT=0 >/dev/null
exit $uncaught
