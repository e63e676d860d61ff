#!/usr/bin/env bash
# Shows the Windows module's dialogs under Xvfb with Wine's X11 driver and
# saves PNG screenshots in build/screenshots/: the about box and the setup
# dialog once per axis. Uses a prefix of its own (build/wine-prefix-x11), so
# the tests' prefix keeps its null display driver. Needs the windows build:
#   cmake --preset windows && cmake --build --preset windows
# With --win64, the 64-bit module's, from the windows64 build, in a 64-bit
# prefix (build/wine-prefix64-x11), into build/screenshots/64/.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
if [ "${1:-}" = --win64 ]; then
  preset=windows64 width=64 arch=win64 flags=(--win64)
else
  preset=windows width="" arch=win32 flags=()
fi
bin="$root/build/$preset/bin"
out="$root/build/screenshots${width:+/$width}"
prefix="$root/build/wine-prefix$width-x11"

if [ ! -f "$bin/veldra-dialogs.exe" ]; then
  echo "screenshots.sh: $bin/veldra-dialogs.exe is missing; build the $preset preset first" >&2
  exit 1
fi
mkdir -p "$out"

export WINEPREFIX="$prefix" WINEARCH="$arch" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$prefix/.veldra-ready" ]; then
  # A copy of the tests' prefix with the default (X11) display driver, and
  # Wine drawing the window frames itself since Xvfb has no window manager.
  # The frame's buttons are drawn from Wine's Marlett font, which the prefix
  # does not pick up by itself.
  rm -rf "$prefix"
  cp -a "$(scripts/wine-prefix.sh "${flags[@]}")" "$prefix"
  rm -f "$prefix/.veldra-ready"
  cp /usr/share/wine/fonts/marlett.ttf "$prefix/drive_c/windows/Fonts/"
  wine reg delete 'HKCU\Software\Wine\Drivers' /v Graphics /f >/dev/null 2>&1 || true
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wineserver --wait
  touch "$prefix/.veldra-ready"
fi

display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
params="$(mktemp -d)"
cleanup() {
  wineserver -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$params"
}
trap cleanup EXIT
export DISPLAY=":$display"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

# capture NAME TITLE ARGUMENT: runs veldra-dialogs ARGUMENT, waits for the
# window called TITLE, saves it as NAME.png and closes it with Escape.
capture() {
  local name="$1" title="$2" argument="$3" window="" program
  wine "$bin/veldra-dialogs.exe" "$argument" >/dev/null &
  program=$!
  for _ in $(seq 300); do
    window="$(xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -1 || true)"
    [ -n "$window" ] && break
    sleep 0.1
  done
  if [ -z "$window" ]; then
    echo "screenshots.sh: the window \"$title\" did not appear" >&2
    kill "$program" 2>/dev/null || true
    return 1
  fi
  sleep 1  # let it paint
  import -window "$window" "$out/$name.png"
  xdotool windowfocus --sync "$window" key Escape 2>/dev/null || true
  for _ in $(seq 50); do kill -0 "$program" 2>/dev/null || break; sleep 0.1; done
  kill "$program" 2>/dev/null || true
  wait "$program" 2>/dev/null || true
  echo "$out/$name.png"
}

# A parameter block: tag, axis, pivot (little-endian int32), then the
# starting and ending angles 15 and 345 degrees (IEEE single).
block() {
  printf "\x44\x17\xC7\x6A$1\x00\x00$2\x03\x00\x00\x00\x00\x70\x41\x00\x80\xAC\x43"
}

block '\xF2\x03' '\xF5' >"$params/x-lower.bin"   # X, lower
block '\xF3\x03' '\xF6' >"$params/y-center.bin"  # Y, centre
block '\xF4\x03' '\xF7' >"$params/z-upper.bin"   # Z, upper

capture about "About Image Veldra" --about
for pair in x-lower y-center z-upper; do
  capture "setup-$pair" "Veldra Image Control" "$(winepath -w "$params/$pair.bin")"
done
