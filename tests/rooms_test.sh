#!/usr/bin/env bash
# The rooms hold: the store includes nothing of the rooms built on it (model, io, measure,
# run), a tool includes nothing of a program's folder, and no two headers share a name on
# the include path everything shares.
# Usage: rooms_test.sh <source folder>
set -euo pipefail
source=$(cd "$1" && pwd)
cd "$source"
status=0

# The quoted includes of the files in the given folders, as "file: name".
includes() {
  grep -HoE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[^"]+"' "$@" 2>/dev/null \
    | sed -E 's/:[[:space:]]*#[[:space:]]*include[[:space:]]+"([^"]+)"$/: \1/'
}

# The store: its own headers, the typed error below every room, the public error and
# settings headers.
while IFS= read -r line; do
  name=${line#*: }
  if [ -e "core/store/$(basename "$name")" ] && [ "$name" = "$(basename "$name")" ]; then continue; fi
  case $name in
    failure.h | morph/error.h | morph/settings.h) continue ;;
  esac
  echo "the store reaches beyond itself: $line"
  status=1
done < <(includes core/store/*.h core/store/*.cpp)

# The tools: nothing from a program's folder.
while IFS= read -r line; do
  file=${line%%: *} name=${line#*: }
  own=$(dirname "$file")
  [ -e "$own/$(basename "$name")" ] && continue
  for program in morphseed morphsweep; do
    if [ -e "$program/$(basename "$name")" ] || [[ $name == $program/* ]]; then
      echo "a tool reaches into the program folder $program/: $line"
      status=1
    fi
  done
done < <(includes morphview/*.h morphview/*.cpp morphview/report/*.h morphview/report/*.cpp morphstats/*.h morphstats/*.cpp)

# One header per name; each program's folder is on its own include path only, so the two
# programs may name their headers alike.
duplicates=$(git ls-files '*.h' | grep -vE '^(morphseed|morphsweep)/' | sed 's|.*/||' | sort | uniq -d)
if [ -n "$duplicates" ]; then
  echo "headers that share a name:"
  for name in $duplicates; do git ls-files "*/$name" "$name"; done
  status=1
fi

[ "$status" = 0 ] && echo "rooms: the store, the tools and the header names hold"
exit "$status"
