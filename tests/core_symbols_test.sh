#!/usr/bin/env bash
# The core holds no program-wide mutable state: every simulation lives in its embryo. The
# only mutable data the library defines is what is process-wide by nature, named here.
# Usage: core_symbols_test.sh <libmorph_core.a>
set -euo pipefail
library=$1
# Writable data (.data, .bss) the library itself defines; type information is read-only
# in use, though the linker places some of it there.
found=$(nm -C --defined-only "$library" | awk '$2 ~ /^[bBdD]$/ {$1 = ""; $2 = ""; sub(/^  /, ""); print}' \
  | grep -v '^typeinfo for ' | sort -u)
allowed=(
  # The signal handler's list of temporaries: a handler can reach nothing else.
  '(anonymous namespace)::inUse'
  '(anonymous namespace)::paths'
  '(anonymous namespace)::children'
  # The test-fault seam, read once per process from the environment.
  'testFaults()::faults'
  'guard variable for testFaults()::faults'
  "(anonymous namespace)::sinkWrite(void*, char const*, unsigned long)::total"
  # The fork handler, registered once per process.
  'morph::(anonymous namespace)::watchForks()::registered'
  'guard variable for morph::(anonymous namespace)::watchForks()::registered'
)
unexpected=$(printf '%s\n' "$found" | grep -vxF -f <(printf '%s\n' "${allowed[@]}") || true)
if [ -n "$unexpected" ]; then
  echo "mutable data in the core library beyond the process-wide few:"
  echo "$unexpected"
  exit 1
fi
# Only the tools start child processes (their own library): the installed core starts none.
if nm --undefined-only "$library" | grep -E '\b(posix_spawnp?|fork|vfork|execvp?e?)\b'; then
  echo "the core library starts child processes (above)"
  exit 1
fi
# And the core never ends the process itself.
if grep -rnE '\b(fail|exit|_exit|abort)\(' "$(dirname "$0")/../core" --include=*.cpp --include=*.h \
    | grep -vE 'std::abort\(\);|storeStateFault|indexFault|validateStore|//' ; then
  echo "the core ends the process itself (above)"
  exit 1
fi
echo "core library: $(printf '%s\n' "$found" | wc -l) mutable data symbols, all process-wide by nature"
