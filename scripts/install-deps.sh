#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the tools need, where missing.
set -euo pipefail
packages=(cmake ninja-build g++ libgtest-dev libbenchmark-dev libpng-dev clang libclang-rt-dev parallel)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -q
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q "${missing[@]}"
fi
