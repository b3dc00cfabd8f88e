#!/usr/bin/env bash
# The full check of the pair kernel's exact quotient against hardware division: every
# numerator mantissa for 512 extreme divisor mantissas and 2^28 random pairs over the
# range the step admits, on each vector unit this processor has (ctest runs a subset).
# Takes a few minutes. Usage: scripts/division-check.sh [build folder, default build]
set -euo pipefail
source "$(dirname "$0")/scriptinfo.sh"
scriptInfo division-check.sh "$(cat <<'HELP'
usage: scripts/division-check.sh [build folder, default build]
       scripts/division-check.sh --help | --version
The full check of the pair kernel's exact quotient against hardware division on every
vector unit this processor has (a few minutes; ctest runs a subset).
  --help     this text
  --version  the release and the commit of this tree
Example:
  scripts/division-check.sh build
HELP
)" "$@"
cd "$(dirname "$0")/.."
dir=${1:-build}
cmake -S . -B "$dir" -G Ninja >/dev/null
cmake --build "$dir" --target test_division
MORPH_DIVISION_FULL=1 "$dir"/tests/test_division
