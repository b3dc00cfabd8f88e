#!/usr/bin/env bash
# Renders the contact sheet of a sweep: one tile per manifest line, in grids by the swept
# parameters, each tile labelled with its values. A point whose result is missing or
# unreadable shows as a crossed-out tile, so a failed point is seen at its place. A sweep
# too long for one picture is split in manifest order, tiles labelled by file name. Run it
# from the folder the manifest was run in.
#
# usage: sweep-sheet.sh [options] MANIFEST; the options are in help() below (sweep-sheet.sh --help).
# Exit status: 0 written, 1 bad command line or missing tool, 2 bad manifest or no picture.
set -euo pipefail

usage() {
  if ((${1:-1})); then exec >&2; fi
  cat <<'EOF'
usage: sweep-sheet.sh [--build DIR] [--tile S] [--per-sheet N] [--view X,Y,Z] [-o OUT.png] MANIFEST
  --build DIR     the build folder holding morphsweep-plan and morphview (default: build/
                  beside this script's folder)
  --tile S        tile side in pixels (default 256)
  --per-sheet N   points per picture (default 400); a longer sweep gets OUT.1.png, OUT.2.png, ...
  --view X,Y,Z    the side the camera looks from (default 0,0,1)
  -o OUT.png      the picture (default MANIFEST.png)
EOF
  exit "${1:-1}"
}

help() {
  cat <<'EOF'
usage: sweep-sheet.sh [--build DIR] [--tile S] [--per-sheet N] [--view X,Y,Z] [-o OUT.png] MANIFEST
       sweep-sheet.sh --help | --version
Draws the contact sheet of a sweep: one tile per point, in grids by the swept parameters,
each labelled with its values; a missing or unreadable result is a crossed-out tile.
  --build DIR     the build folder holding morphsweep-plan and morphview (default: build/
                  beside this script's folder)
  --tile S        tile side in pixels (default 256)
  --per-sheet N   points per picture (default 400); a longer sweep gets OUT.1.png, OUT.2.png, ...
  --view X,Y,Z    the side the camera looks from (default 0,0,1)
  -o OUT.png      the picture (default MANIFEST.png)
  --help          this text
  --version       the release and the commit of the build's tools
Example, from the folder the sweep was run in:
  scripts/sweep-sheet.sh --tile 192 -o day/small.png day/manifest
Exit status: 0 written; 1 bad command line or a tool missing; 2 bad manifest or no picture.
EOF
  exit 0
}

here=$(cd "$(dirname "$0")" && pwd)
build="$here/../build"
tile=256
perSheet=400
view=""
out=""
manifest=""
showVersion=0
while (($#)); do
  case "$1" in
    --build) (($# > 1)) || usage; build=$2; shift 2 ;;
    --tile) (($# > 1)) || usage; tile=$2; shift 2 ;;
    --per-sheet) (($# > 1)) || usage; perSheet=$2; shift 2 ;;
    --view) (($# > 1)) || usage; view=$2; shift 2 ;;
    -o) (($# > 1)) || usage; out=$2; shift 2 ;;
    -h | --help) help ;;
    --version) showVersion=1; shift ;;
    --) shift; (($# == 1)) && [[ -z $manifest ]] || usage; manifest=$1; shift ;;
    -*) echo "sweep-sheet: unknown option '$1'" >&2; usage ;;
    *) [[ -z $manifest ]] || usage; manifest=$1; shift ;;
  esac
done
if ((showVersion)); then
  version=$("$build/morphsweep/morphsweep-plan" --version 2>/dev/null) ||
    { echo "sweep-sheet: $build/morphsweep/morphsweep-plan is missing; build first (or give --build)" >&2; exit 1; }
  echo "sweep-sheet.sh${version#morphsweep-plan}"
  exit 0
fi
[[ -n $manifest ]] || usage
[[ $perSheet =~ ^[1-9][0-9]*$ ]] || { echo "sweep-sheet: --per-sheet needs a count of 1 or more" >&2; exit 1; }
out=${out:-$manifest.png}
plan="$build/morphsweep/morphsweep-plan"
viewer="$build/morphview/morphview"
for tool in "$plan" "$viewer"; do
  [[ -x $tool ]] || { echo "sweep-sheet: $tool is missing; build first (or give --build)" >&2; exit 1; }
done

names=$("$plan" --results -- "$manifest") || exit 2
[[ -n $names ]] || { echo "sweep-sheet: $manifest holds no point" >&2; exit 2; }
mapfile -t files <<<"$names"

options=(--sheet --mark-bad --tile "$tile")
[[ -z $view ]] || options+=(--view "$view")
count=${#files[@]}
if ((count <= perSheet)); then
  "$viewer" "${options[@]}" -o "$out" --manifest "$manifest" || exit 2
  echo "sweep-sheet: $count points in $out" >&2
else
  page=0
  for ((start = 0; start < count; start += perSheet)); do
    page=$((page + 1))
    pageOut="${out%.png}.$page.png"
    "$viewer" "${options[@]}" -o "$pageOut" -- "${files[@]:start:perSheet}" || exit 2
    echo "sweep-sheet: points $((start + 1))..$((start + perSheet < count ? start + perSheet : count)) in $pageOut" >&2
  done
fi
