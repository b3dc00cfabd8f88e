#!/usr/bin/env bash
# Builds the fuzz targets (clang++, libFuzzer, AddressSanitizer + UBSan) and runs each for
# a bounded time, one after the other at the lowest priority. Any finding (crash, sanitizer
# report, failed check, hang, leak) fails the run; its input is kept under
# build-fuzz/findings/<target>/ and can be replayed with build-fuzz/fuzz/fuzz_<target> <file>.
#
#   scripts/fuzz.sh [seconds per target] [target...]
#
# Targets: template, template_cycle, seed, sweep_cmdline, seed_cmdline, shape, vtp, pvd, checkpoint (all by default). The corpus each
# run grows is kept in build-fuzz/corpus/<target>/, so repeated runs go on where the
# last one stopped.
set -euo pipefail
source "$(dirname "$0")/scriptinfo.sh"
scriptInfo fuzz.sh "$(cat <<'HELP'
usage: scripts/fuzz.sh [seconds per target] [target...]
       scripts/fuzz.sh --help | --version
Builds the libFuzzer targets (clang++, AddressSanitizer and UBSan, in build-fuzz/) and runs
each for the given seconds (default 30), one after the other at the lowest priority.
Targets: template, template_cycle, seed, sweep_cmdline, seed_cmdline, shape, vtp, pvd (all
by default). A finding fails the run; its input is kept in build-fuzz/findings/<target>/.
  --help     this text
  --version  the release and the commit of this tree
Example: an hour on the template loader, going on from the corpus of earlier runs:
  scripts/fuzz.sh 3600 template
HELP
)" "$@"
cd "$(dirname "$0")/.."

seconds=${1:-30}
shift || true
targets=("$@")
((${#targets[@]})) || targets=(template template_cycle seed sweep_cmdline seed_cmdline shape vtp pvd checkpoint)

build=build-fuzz
cmake -S . -B "$build" -G Ninja -DMORPH_FUZZ=ON -DMORPH_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}"

# Seed inputs besides the corpus the runs have grown: the valid files and the hand-made
# bad ones of the bad-input suite.
seedsFor() {
  case "$1" in
    template) echo examples tests/data/badinputs/templates ;;
    seed) echo morphseed/indexed_icosa tests/data/badinputs/seeds ;;
    template_cycle) echo tests/data/badinputs/templates fuzz/corpus/template_cycle ;;
    vtp | pvd) echo tests/data/badinputs/snapshots "fuzz/corpus/$1" ;;
    *) echo "fuzz/corpus/$1" ;;
  esac
}

failed=0
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  findings="$build/findings/$target"
  log="$build/logs/$target.log"
  mkdir -p "$corpus" "$findings" "$(dirname "$log")"
  # Single files cannot be corpus folders; copy them into the grown corpus instead.
  seeds=()
  for s in $(seedsFor "$target"); do
    if [ -d "$s" ]; then seeds+=("$s"); else cp "$s" "$corpus/"; fi
  done
  echo "fuzz_$target: $seconds s"
  status=0
  # One thread: the relaxation step would otherwise take a second core.
  OMP_NUM_THREADS=1 nice -n 19 "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -close_fd_mask=3 -print_final_stats=1 -dict="fuzz/${target%_cycle}.dict" -artifact_prefix="$findings/" \
    "$corpus" "${seeds[@]}" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  if [ "$status" -ne 0 ]; then
    failed=1
    echo "fuzz_$target: FINDING (exit status $status) after ${runs:-?} runs; log $log" >&2
    grep -E '^(==|SUMMARY|fuzz check failed|.*runtime error)' "$log" | head -20 >&2 || true
    ls "$findings" >&2
  else
    echo "fuzz_$target: ${runs:-?} runs, no finding; corpus $(ls "$corpus" | wc -l) inputs"
  fi
done
exit "$failed"
