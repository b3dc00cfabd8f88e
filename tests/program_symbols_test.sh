#!/usr/bin/env bash
# A program's run is a value handed from its command-line reader to its batch loop: the
# program libraries keep no mutable data but what a signal handler must reach, at most two
# symbols each, named here.
# Usage: program_symbols_test.sh <library.a> <allowed symbol>...
set -euo pipefail
library=$1
shift
found=$(nm -C --defined-only "$library" | awk '$2 ~ /^[bBdD]$/ {$1 = ""; $2 = ""; sub(/^  /, ""); print}' \
  | { grep -v '^typeinfo for ' || true; } | sort -u)
count=$(printf '%s' "$found" | grep -c . || true)
unexpected=$(printf '%s\n' "$found" | grep -vxF -f <(printf '%s\n' "$@" "") || true)
if [ -n "$unexpected" ] || [ "$count" -gt 2 ]; then
  echo "$(basename "$library"): mutable data beyond what a signal handler must reach ($count symbols):"
  printf '%s\n' "$found"
  exit 1
fi
echo "$(basename "$library"): $count mutable data symbols"
