#!/usr/bin/env bash
# Installs everything the builds and tests need on a fresh Debian 12 machine.
# Idempotent: does nothing when every package is already there. Recommended
# packages come along (Wine's fonts and libraries among them), as on the
# machines the tests were made on.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev clang-format-14
  libgtest-dev googletest libbenchmark-dev
  libopenimageio-dev openimageio-tools fonts-dejavu-core
  g++-mingw-w64-i686 mingw-w64-i686-dev
  wine wine32:i386 xvfb xdotool imagemagick x11-utils
  slurm-wlm munge
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
