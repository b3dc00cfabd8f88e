#!/usr/bin/env bash
# The run preset configures what running needs and nothing else: the programs, the tools
# and the Python module, but no test, benchmark, fuzz target or example (the test preset's
# share), so that the run command builds in minutes.
# Usage: presets_test.sh <source folder> <scratch folder>
set -euo pipefail
source=$(cd "$1" && pwd)
scratch=$2
rm -rf "$scratch"
cd "$source"
cmake --preset run -B "$scratch" >/dev/null
targets=$(cmake --build "$scratch" --target help | sed -n 's/^\([A-Za-z0-9_+-]*\): .*/\1/p')
status=0
for wanted in morphseed morphsweep morphsweep-plan morphview morphstats; do
  grep -qx "$wanted" <<<"$targets" || { echo "the run preset lacks $wanted"; status=1; }
done
if grep -q '^MORPH_PYTHON:BOOL=ON$' "$scratch/CMakeCache.txt"; then
  grep -qx morph_python <<<"$targets" || { echo "the run preset lacks the Python module"; status=1; }
fi
extra=$(grep -E '^(test_|fuzz_)|_bench$|^(grow_embryo|make_example|report_pages|lead_floor)$' <<<"$targets" || true)
if [ -n "$extra" ]; then
  echo "the run preset builds what only the tests need:" $extra
  status=1
fi
if [ -f "$scratch/CTestTestfile.cmake" ] && grep -q add_test -r "$scratch" --include=CTestTestfile.cmake; then
  echo "the run preset registers tests"
  status=1
fi
rm -rf "$scratch"
exit $status
