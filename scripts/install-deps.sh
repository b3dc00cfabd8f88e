#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the tools need, where missing,
# and the pinned npm packages of the HTML report (see package.json), when there is one.
set -euo pipefail
source "$(dirname "$0")/scriptinfo.sh"
scriptInfo install-deps.sh "$(cat <<'HELP'
usage: scripts/install-deps.sh
       scripts/install-deps.sh --help | --version
Installs from Debian the packages the build, the tests and the tools need, where missing
(with sudo when not root), and the pinned npm packages of the HTML report; does nothing
when all is there.
  --help     this text
  --version  the release and the commit of this tree
Example, from a fresh clone:
  scripts/install-deps.sh && cmake -S . -B build -G Ninja && cmake --build build
HELP
)" "$@"
cd "$(dirname "$0")/.."
packages=(
  cmake ninja-build g++ libgtest-dev libbenchmark-dev clang libclang-rt-dev  # build, tests, fuzzing
  libomp-dev  # LLVM's OpenMP runtime and its Archer tool: the ThreadSanitizer stage (scripts/tsan.sh)
  libpng-dev zlib1g-dev libtinyxml2-dev libeigen3-dev libhwy-dev nlohmann-json3-dev libssl-dev  # libraries the programs use
  parallel                                                                   # sweep-run.sh
  slurmctld slurmd slurm-client munge  # the single-node cluster of tests/slurm_cluster_test.sh
  python3-paraview   # ParaView's Python modules with its VTK: the readers the tests check our files with (python3-vtk9 conflicts with it)
  python3-numpy                                                              # the snapshot check reads VTK arrays through it; the Python module's arrays
  pybind11-dev python3-pybind11 python3-pytest                               # the Python module (python/) and its tests
  python3-matplotlib python3-nbclient python3-nbconvert python3-ipykernel   # the example notebook, run by the tests
  ffmpeg                                                                     # morphview --movie, ffprobe in the tests
  gnuplot-nox                                                                # morphstats plots
  chromium                                                                   # the HTML report's browser tests
  nodejs npm                                                                 # three.js and puppeteer-core
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# A Node.js from another source ships its own npm and conflicts with Debian's.
if command -v node >/dev/null && command -v npm >/dev/null; then
  keep=()
  for p in "${missing[@]}"; do [[ $p == nodejs || $p == npm ]] || keep+=("$p"); done
  missing=("${keep[@]}")
fi
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q "${missing[@]}"
fi
if [ -f package-lock.json ] && { [ ! -d node_modules ] || [ package-lock.json -nt node_modules ]; }; then
  npm ci --no-audit --no-fund --loglevel=error
fi
