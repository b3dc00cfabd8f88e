#!/usr/bin/env bash
# What flushing results to the disk costs a sweep of small points: the same points run
# with the flushes (as always) and without (through the test-only MORPH_TEST_FAULT=no-fsync),
# interleaved so that a change in the machine's load hits both alike.
#
#   bench/sync_cost.sh [build dir] [points] [folder to run in]
#
# Each point is one morphsweep cycle on examples/start.3dv with the template written, so
# three result files; its own folder is created under the given one (default: a temporary
# folder) and removed afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
points=${2:-50}
parent=${3:-${TMPDIR:-/tmp}}
sweep=$(realpath "$build/morphsweep/morphsweep")
work=$(mktemp -d "$parent/sync_cost.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp examples/start.3dv "$work/start.3dv"

runPoints() {  # $1: fault setting ("" for none); prints the milliseconds taken
  local start end
  start=$(date +%s%N)
  for ((p = 1; p <= points; p++)); do
    (cd "$work" && MORPH_TEST_FAULT=$1 OMP_NUM_THREADS=1 "$sweep" -n 1 -m 1 -t 1 -r 40 120 5 -g 40 120 17 \
      -b 40 120 33 -kr "$p" -kh 3 start.3dv >/dev/null 2>&1)
  done
  end=$(date +%s%N)
  echo $(((end - start) / 1000000))
}

synced=0 unsynced=0
for round in 1 2 3; do
  synced=$((synced + $(runPoints "")))
  rm -f "$work"/start.3dv.n*
  unsynced=$((unsynced + $(runPoints no-fsync)))
  rm -f "$work"/start.3dv.n*
done
echo "processor: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
echo "file system of $parent: $(stat -f -c %T "$parent")"
tenths=$(((synced - unsynced) * 10 / (3 * points)))
echo "$points points x 3 rounds: with fsync $synced ms, without $unsynced ms;" \
  "$((tenths / 10)).$((tenths < 0 ? -tenths % 10 : tenths % 10)) ms more per point"
