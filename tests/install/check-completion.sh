#!/usr/bin/env bash
# veldra's bash completion, as bash runs it on Tab: the commands, the farm's
# subcommands, options after a dash (render's own for farm submit too), the
# words --axis, --pivot, --alpha and --depth take, nothing for a number,
# file names for files, and nothing of ours after "--".
# Usage: check-completion.sh COMPLETION_FILE
set -euo pipefail
# bash-completion loads the file from inside a function, as here.
load() {
  # shellcheck source=/dev/null
  source "$1"
}
load "$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
touch "$work/shot.0001.png" "$work/shot.0002.png"
failures=0

# expect "COMMAND LINE" "WORDS": Tab at the end of the line offers WORDS.
expect() {
  local line="$1" wanted="$2"
  read -r -a COMP_WORDS <<<"$line"
  [[ "$line" == *" " ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _veldra || true  # its status is compgen's, which bash ignores
  local got
  got="$(printf '%s\n' "${COMPREPLY[@]}" | sort | xargs)"
  wanted="$(printf '%s\n' $wanted | sort | xargs)"
  if [ "$got" != "$wanted" ]; then
    echo "check-completion: '$line<Tab>' offers '$got', expected '$wanted'" >&2
    failures=$((failures + 1))
  fi
}

expect "veldra " "render info params demo farm help --help --version"
expect "veldra help " "render info params demo farm"
expect "veldra re" "render"
expect "veldra farm " "submit status retry cancel --help"
expect "veldra render a.png b.png --axis " "x y z"
expect "veldra render a.png b.png -a " "x y z"
expect "veldra render --pivot " "lower center upper"
expect "veldra render --alpha " "keep"
expect "veldra demo --alpha " "keep"
expect "veldra render --depth u" "uint8 uint16"
expect "veldra render --ax" "--axis"
expect "veldra render --start " ""
expect "veldra farm submit a b --chunk 10 -p " "lower center upper"
expect "veldra farm submit a b --max" "--max-parallel"
expect "veldra farm submit a b --dep" "--depth"
expect "veldra farm submit a b -- --par" ""
expect "veldra farm retry run --" "--wait --help --time --partition --cpus-per-task --retries"
expect "veldra farm submit a b --keep" "--keep-existing"
expect "veldra render $work/shot.000" "$work/shot.0001.png $work/shot.0002.png"
expect "veldra render --params $work/shot.0001" "$work/shot.0001.png"
[ "$failures" = 0 ] || exit 1
echo "check-completion: every case offers what it should"
