#!/usr/bin/env bash
# The library as another program uses it: installed, the example compiled against the
# installed header and libraries alone, and the embryo it grows equal to morphseed's.
# Usage: library_install_test.sh <build folder> <source folder> <morphseed binary> [compiler [flags]]
set -euo pipefail
build=$1 source=$2 morphseed=$3 compiler=${4:-c++}
read -r -a flags <<<"${5:-}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
"$compiler" -std=c++20 "${flags[@]}" -I"$work/prefix/include" "$source/examples/grow_embryo.cpp" \
  "$work/prefix/lib/libmorph_core.a" "$work/prefix/lib/libmorph_version.a" -fopenmp -lz -o "$work/grow_embryo"
"$work/grow_embryo" "$source/morphseed/indexed_icosa" 28 "$work/library.3dv" >"$work/out.txt"
grep -q '^cycle 28: ' "$work/out.txt" || { cat "$work/out.txt"; exit 1; }
cp "$source/morphseed/indexed_icosa" "$work/"
(cd "$work" && "$morphseed" -s 1000 -b 1 28 2>/dev/null)
cmp "$work/library.3dv" "$work/embryo.1000.3dv"
# A bad seed file is an error with the programs' status, not an end of the process.
if "$work/grow_embryo" "$work/missing" 1 "$work/x.3dv" 2>"$work/err.txt"; then exit 1; fi
grep -q "missing: cannot open" "$work/err.txt"
echo "library example: installed, built and equal to morphseed"
