#!/usr/bin/env bash
# Installs, where missing, the Debian packages that building and running every program and
# tool and the Python module needs, and three.js for the HTML report (package.json); with
# --tests also what only the tests, benchmarks, CI and the manual's site use, and
# puppeteer-core. Run again, it does nothing.
set -euo pipefail
source "$(dirname "$0")/scriptinfo.sh"
scriptInfo install-deps.sh "$(cat <<'HELP'
usage: scripts/install-deps.sh [--tests]
       scripts/install-deps.sh --help | --version
Installs from Debian, where missing (with sudo when not root), what building and running
every program and tool needs (cmake --preset run): the compiler, CMake, Ninja, the
libraries, pybind11, numpy, pandas and tqdm (the Python module), pip and setuptools (its
pip install), GNU parallel, ffmpeg, gnuplot, Node.js with npm, and three.js for the HTML
report (npm ci --omit=dev). Does nothing when all is there.
  --tests    also what only the tests and CI use (cmake --preset test): GoogleTest,
             ParaView's Python (VTK's readers), Chromium and puppeteer-core (all of
             package.json), Slurm and munge, pytest, Dask, mypy, venv, Jupyter's notebook
             runner with matplotlib, clang with LLVM's OpenMP runtime (the ThreadSanitizer
             stage and fuzzing), MkDocs (the manual's site)
  --help     this text
  --version  the release and the commit of this tree
Example, from a fresh clone, then the whole test suite:
  scripts/install-deps.sh --tests && cmake --preset test && cmake --build build && ctest --test-dir build
HELP
)" "$@"
tests=0
if (($# == 1)) && [[ $1 == --tests ]]; then
  tests=1
elif (($#)); then
  echo "install-deps.sh: unknown arguments: $* (see --help)" >&2
  exit 1
fi
cd "$(dirname "$0")/.."
packages=(
  cmake ninja-build g++                  # the build
  libpng-dev zlib1g-dev libtinyxml2-dev libeigen3-dev nlohmann-json3-dev libssl-dev libnanoflann-dev libembree-dev  # libraries the programs use
  pybind11-dev python3-pybind11 python3-dev python3-numpy  # the Python module (python/), built by default
  python3-pandas python3-tqdm python3-setuptools python3-pip  # the module's tables, progress bars and pip install .
  parallel                                                                   # sweep-run.sh
  ffmpeg                                                                     # morphview --movie; its ffprobe checks the movies in the tests
  gnuplot-nox                                                                # morphstats plots
  nodejs npm                                                                 # three.js, built into morphview --html
)
testPackages=(
  libgtest-dev      # the tests (cmake --preset test builds them)
  mkdocs            # the manual's site (tests/docs/checks.py build)
  clang libclang-rt-dev libomp-dev  # fuzzing; LLVM's OpenMP runtime and its Archer tool: the ThreadSanitizer stage (scripts/tsan.sh)
  slurmctld slurmd slurm-client munge  # the single-node cluster of tests/slurm_cluster_test.sh
  python3-paraview   # ParaView's Python modules with its VTK: the readers the tests check our files with (python3-vtk9 conflicts with it)
  python3-pytest                                                             # the Python module's tests
  python3-distributed python3-mypy python3-venv  # the module's Dask sweep, its stub's check, its pip install in a venv
  python3-matplotlib python3-nbclient python3-nbconvert python3-ipykernel   # the example notebook, run by the tests
  chromium                                                                   # the HTML report's browser tests (with puppeteer-core)
)
if ((tests)); then packages+=("${testPackages[@]}"); fi
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
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
fi
# The pinned npm packages: three.js always, puppeteer-core (a development dependency) for
# the tests. npm ls fails when one is missing or differs from package.json; a tree that
# already holds the development ones is kept as it is.
if [ -f package-lock.json ]; then
  if ((tests)); then
    npm ls >/dev/null 2>&1 || npm ci --no-audit --no-fund --loglevel=error
  else
    npm ls --omit=dev >/dev/null 2>&1 || npm ci --omit=dev --no-audit --no-fund --loglevel=error
  fi
fi
