#!/usr/bin/env bash
# The HTML report in headless Chromium: writes a series page and a page of far points
# (report_fixtures), a grid page of four files with one missing (morphview --html
# --mark-bad) and the pages of two sweeps (--manifest), then runs report/browser_test.mjs on
# them. Skips (status 77) only when Chromium, Node.js or the npm packages cannot be had.
# usage: report_browser_test.sh MORPHVIEW REPORT_FIXTURES SOURCE_DIR [--screenshot OUT.png]
set -euo pipefail
morphview=$1 fixtures=$2 source=$3
shift 3
for tool in /usr/bin/chromium node; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed (scripts/install-deps.sh --tests installs it)"; exit 77; }
done
[[ -d $source/node_modules/puppeteer-core ]] || {
  echo "skipped: $source/node_modules/puppeteer-core is missing (scripts/install-deps.sh --tests installs it)"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$fixtures" "$work" || { status=$?; ((status == 77)) && echo "skipped: morphview was built without three.js"; exit $status; }
cp "$source/examples/start.3dv" "$work/a.start.3dvTemplate"
cp "$source/examples/start.3dv" "$work/c.start.3dvTemplate"
printf '3\n1\n0 0 0\n0 0 1\n1 0 0\n0 0 1\n0 1 0\n0 0 1\n3\n0 1 2\n' >"$work/d.triangle.3dv"
"$morphview" --html "$work/grid.html" --mark-bad "$work/a.start.3dvTemplate" "$work/b.missing.3dv" \
  "$work/c.start.3dvTemplate" "$work/d.triangle.3dv" 2>"$work/messages"
[[ $(<"$work/messages") == "morphview: $work/b.missing.3dv: cannot open: No such file or directory (shown as failed)" ]] || {
  echo "FAIL morphview's messages for the grid: $(<"$work/messages")"; exit 1; }
# Two sweeps, 3 x 3 and 2 x 2 x 2 (cycles, repulsion, attraction), each result an
# octahedron stretched by its place in the manifest, so that the measures differ; the result
# names come from morphsweep-plan, as morphview takes them.
plan="$(dirname "$morphview")/../morphsweep/morphsweep-plan"
point() { echo "morphsweep -n $1 -m 1 -t 0 -r 40 120 5 -g 40 120 17 -b 40 120 33 -kr $2 -kh $3 e.3dv"; }
(cd "$work" && cp "$source/examples/start.3dv" e.3dv &&
  for n in 1 2 3; do for r in 1 4 16; do point "$n" "$r" 3; done; done >square &&
  for n in 1 2; do for r in 1 16; do for h in 3 8; do point "$n" "$r" "$h"; done; done; done >cube &&
  for m in square cube; do
    k=0
    for result in $("$plan" --points "$m" | tail -n +2 | cut -f1); do
      k=$((k + 1))
      awk -v z="$((4 + k))" 'BEGIN { print 6; print 8
        split("1 0 0,-1 0 0,0 1 0,0 -1 0,0 0 1,0 0 -1", p, ",")
        for (i = 1; i <= 6; ++i) { split(p[i], c, " "); print c[1], c[2], c[3] * z / 4; print c[1], c[2], c[3] }
        split("0 2 4,2 1 4,1 3 4,3 0 4,2 0 5,1 2 5,3 1 5,0 3 5", f, ",")
        for (i = 1; i <= 8; ++i) { print 3; print f[i] } }' >"$result"
    done
  done &&
  echo "# nine points by hand" >square.def &&
  "$morphview" --html square.html --manifest square --definition square.def &&
  "$morphview" --html cube.html --manifest cube)
cd "$source/tests/report"
node browser_test.mjs "$work/series.html" "$work/grid.html" b.missing.3dv "$work/square.html" "$work/cube.html" \
  "$work/far.html" "$@"
