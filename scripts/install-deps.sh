#!/usr/bin/env bash
# Installs what the builds and tests need on a fresh Debian 12 machine.
#   scripts/install-deps.sh          everything: every preset and every test
#   scripts/install-deps.sh --demo   only what the native demo builds with
#   scripts/install-deps.sh --bench  everything, and what the benchmarks compare with
# Idempotent: does nothing when every package is already there. Recommended
# packages come along (Wine's fonts and libraries among them), as on the
# machines the tests were made on. One package a line, so that lists merge.
set -euo pipefail

# The native build of veldra and the module, and its configure step: the
# least a new machine needs for `scripts/demo.sh`.
demo_packages=(
  cmake                # the build
  ninja-build          # the presets' generator
  g++                  # the compiler
  libopenimageio-dev   # veldra reads and writes pictures with OpenImageIO
  libavformat-dev      # veldra reads and writes movies: containers
  libavcodec-dev       # ...their codecs
  libswscale-dev       # ...their colour conversion
  libavutil-dev        # ...and libav's utilities
  libdeflate-dev       # and the common kinds of PNG files directly: deflated with libdeflate
  libisal-dev          # and inflated with ISA-L
  pkg-config           # CMake finds the libav libraries, libdeflate and ISA-L through pkg-config
  openimageio-tools    # Debian's OpenImageIO CMake package names these tools; configuring fails without them
  fonts-dejavu-core    # the test card's and contact sheet's lettering
  libgtest-dev         # GoogleTest, looked for when the native preset configures
)

# Everything else: sanitizer and fuzz builds, benchmarks, the Windows build
# and its installer under Wine, dialog screenshots, the Debian package and
# its checks, the farm tests' Slurm cluster and the report page's browser,
# the Python package.
test_packages=(
  clang                # the fuzz preset and the MSVC-mode host
  lld                  # lld-link for the MSVC-mode host
  llvm                 # llvm-undname, llvm-readobj for the module file's checks
  libclang-rt-14-dev   # libFuzzer and the sanitizer runtimes for clang
  clang-format-14      # the format check
  googletest           # GoogleTest's sources, built for the Windows preset
  libbenchmark-dev     # the benchmarks
  dpkg-dev             # dpkg-shlibdeps and dpkg-parsechangelog for the Debian package
  lintian              # Debian's checker, run on the package by the tests
  help2man             # the manual page, written from veldra's own help
  man-db               # `man -l`, which the package test renders the manual page with
  g++-mingw-w64-i686   # the 32-bit Windows build
  mingw-w64-i686-dev   # its Windows headers and import libraries
  g++-mingw-w64-x86-64 # the 64-bit Windows build
  mingw-w64-x86-64-dev # its Windows headers and import libraries
  nsis                 # makensis, the Windows installer
  wine                 # the Windows tests and the installer's tests
  wine32:i386          # Wine for 32-bit programs
  wine64               # Wine's 64-bit loader: the 64-bit Windows tests, hosts of both widths
  xvfb                 # scripts/screenshots.sh: a display for the dialogs
  xdotool              # scripts/screenshots.sh: finds and closes the dialog windows
  imagemagick          # scripts/screenshots.sh: saves the windows as PNG
  x11-utils            # scripts/screenshots.sh: xdpyinfo waits for the display
  slurm-wlm            # the farm tests' cluster of two nodes
  munge                # Slurm's authentication
  chromium             # the farm report page's tests open it in a real browser, headless
  chromium-driver      # chromedriver, through which Selenium drives Chromium
  python3-selenium     # the report page's tests drive the browser from pytest
  pybind11-dev         # the Python package's bindings
  python3-dev          # Python's headers, for the Python package
  python3-numpy        # the arrays the Python package takes and gives
  python3-pytest       # the Python package's tests
  python3-openimageio  # pictures in the Python tests and the Python page's example
  ffmpeg               # the movie tests' oracle (makes movies, decodes them, ffprobe says what they hold); reads back the PNG files veldra writes directly
  python3-venv         # the Python package installed by pip into a virtual environment, as its test does
  python3-pip          # pip, which installs it there
  python3-setuptools   # the Python package's build backend (setup.py drives the CMake build)
  python3-wheel        # the wheel that pip and python3 -m build make
  python3-build        # python3 -m build: scripts/release.sh's wheel
  mypy                 # the Python tests check the package's types with mypy --strict
)

# The render benchmark times OpenCV's warp beside ours (bench/run-benchmarks.sh);
# bench/frame-cost.sh times ffmpeg (a test package) beside veldra.
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
