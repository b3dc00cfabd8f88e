#!/usr/bin/env bash
# What one snapshot costs over a long series: a 6,000-cycle morphsweep point on
# examples/start.3dv (which keeps its 642 vertices, so every cycle and snapshot is the same
# work) with -v 1, timed by the snapshots' own modification times. The mean time from one
# snapshot to the next over the first and the last thousand cycles should match: a cost that
# grew with the series (an index rewritten whole, a folder scanned per snapshot) shows as a
# ratio above 1.
#
#   bench/series_cost.sh [build dir] [cycles, default 6000] [folder to run in]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cycles=${2:-6000}
parent=${3:-${TMPDIR:-/tmp}}
sweep=$(realpath "$build/morphsweep/morphsweep")
work=$(mktemp -d "$parent/series_cost.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp examples/start.3dv "$work/start.3dv"
(cd "$work" && OMP_NUM_THREADS=1 "$sweep" -n "$cycles" -m 1 -t 0 -r 40 120 5 -g 40 120 17 -b 40 120 33 \
  -kr 2 -kh 3 start.3dv -v 1 >/dev/null 2>&1)
window=$((cycles / 6))
find "$work" -name '*.c*.vtp' -printf '%f %T@\n' | sed 's/.*\.c\([0-9]*\)\.vtp /\1 /' | sort -n |
  awk -v n="$cycles" -v w="$window" '
    { t[$1] = $2 }
    END {
      early = (t[w] - t[0]) / w * 1000; late = (t[n] - t[n - w]) / w * 1000
      printf "series_cost: cycles=%d snapshots=%d ms_per_cycle_first_%d=%.2f ms_per_cycle_last_%d=%.2f late_vs_early=%.2f\n",
        n, NR, w, early, w, late, late / early
    }'
echo "processor: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
echo "file system of $parent: $(stat -f -c %T "$parent")"
