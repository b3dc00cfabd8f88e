#!/usr/bin/env bash
# The HTML report in headless Chromium: writes a series page (report_fixtures) and a grid
# page of four files with one missing (morphview --html --mark-bad), then runs
# report/browser_test.mjs on them. Skips (status 77) only when Chromium, Node.js or the
# npm packages cannot be had.
# usage: report_browser_test.sh MORPHVIEW REPORT_FIXTURES SOURCE_DIR [--screenshot OUT.png]
set -euo pipefail
morphview=$1 fixtures=$2 source=$3
shift 3
for tool in /usr/bin/chromium node; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed (scripts/install-deps.sh installs it)"; exit 77; }
done
[[ -d $source/node_modules/puppeteer-core ]] || {
  echo "skipped: $source/node_modules is missing (scripts/install-deps.sh runs npm ci)"; exit 77; }
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
cd "$source/tests/report"
node browser_test.mjs "$work/series.html" "$work/grid.html" b.missing.3dv "$@"
