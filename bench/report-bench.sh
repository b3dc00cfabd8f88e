#!/usr/bin/env bash
# The HTML report's size and speed on this machine: grows a large embryo (morphseed until
# its 30,000-slot vertex array is full) and a small one (about 2,000 vertices) once, keeps
# them in BUILD/bench-report/, writes a 40-snapshot series and a 100-point sweep page from
# them (report_pages) and times both in headless Chromium (report_load.mjs).
# usage: bench/report-bench.sh [BUILD]   (default: build/ beside this script's folder)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
cmake --build "$build" --target morphseed report_pages >/dev/null
work="$build/bench-report"
mkdir -p "$work"
cd "$work"
cp "$here/../morphseed/indexed_icosa" .
grow() {  # cycles name
  [[ -f $2 ]] && return
  echo "growing $2 ($1 cycles; the large one takes some minutes)" >&2
  OMP_NUM_THREADS=${OMP_NUM_THREADS:-2} nice "$build/morphseed/morphseed" -s 7 -b 1 "$1" 2>/dev/null | tail -0
  mv embryo.7.3dv "$2"
}
grow 35 small.3dv
grow 200 large.3dv
"$build/bench/report_pages" large.3dv small.3dv .
grep -m1 "model name" /proc/cpuinfo
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
node "$here/report_load.mjs" series.html sweep.html
