#!/usr/bin/env bash
# Installs what the builds and tests need on a fresh Debian 12 machine.
#   scripts/install-deps.sh          everything: every preset and every test
#   scripts/install-deps.sh --demo   only what the native demo builds with
#   scripts/install-deps.sh --bench  everything, and what the benchmarks compare with
# Idempotent: does nothing when every package is already there. Recommended
# packages come along (Wine's fonts and libraries among them), as on the
# machines the tests were made on. One package a line, so that lists merge.
set -euo pipefail

# The native build of veldra and the module, with its configure-time
# packages (GoogleTest is looked for when the build configures).
demo_packages=(
  cmake
  ninja-build
  g++
  libopenimageio-dev
  fonts-dejavu-core
  libgtest-dev
)

# Everything else: sanitizer and fuzz builds, benchmarks, the Windows build
# under Wine, dialog screenshots, the install package test.
test_packages=(
  clang
  lld
  llvm
  libclang-rt-14-dev
  clang-format-14
  googletest
  libbenchmark-dev
  openimageio-tools
  dpkg-dev
  fakeroot
  file
  g++-mingw-w64-i686
  mingw-w64-i686-dev
  wine
  wine32:i386
  xvfb
  xdotool
  imagemagick
  x11-utils
  slurm-wlm
  munge
)

# The render benchmark times OpenCV's warp beside ours (bench/run-benchmarks.sh).
bench_packages=(
  libopencv-dev
)

packages=("${demo_packages[@]}")
[ "${1:-}" = "--demo" ] || packages+=("${test_packages[@]}")
[ "${1:-}" != "--bench" ] || packages+=("${bench_packages[@]}")

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
if printf '%s\n' "${missing[@]}" | grep -q ':i386$'; then
  dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
