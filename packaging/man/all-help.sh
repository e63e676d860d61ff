#!/usr/bin/env bash
# veldra's help as one text, for help2man and for the bash completion: the
# program's own --help, then each command's, each under a "*veldra COMMAND*"
# heading (help2man makes that a section of the manual page). Commands are
# the ones the overview lists; a command's subcommands are the ones its help
# lists, with their own --help where the program has one.
# Usage: VELDRA=PATH all-help.sh --help | --version
set -euo pipefail
veldra="${VELDRA:?set VELDRA to the veldra program}"

# Words that follow "veldra PREFIX " at the start of a help line.
listed() {  # PREFIX HELP_TEXT
  sed -n -E "s/^ +veldra $1([a-z]+).*/\\1/p" <<<"$2" | awk '!seen[$0]++'
}

case "${1:-}" in
  # The first line's name and release only: help2man puts them in the
  # page's footer, which has room for little more.
  --version) "$veldra" --version | sed -E '1s/^(veldra [^ ]+) .*/\1/'; exit ;;
  --help) ;;
  *) echo "usage: VELDRA=PATH $0 --help | --version" >&2; exit 2 ;;
esac

# The overview: the help up to the first command's own, where veldra
# --help goes on into them.
overview="$("$veldra" --help | awk 'NR > 1 && /^usage: veldra [a-z]/ { done = 1 } !done')"
{
  printf '%s\n' "$overview" | sed '1s/^usage:/Usage:/'
  for command in $(listed "" "$overview"); do
    [ "$command" = help ] && continue  # the help itself, which this is
    help="$("$veldra" "$command" --help)"
    printf '\n*veldra %s*\n\n%s\n' "$command" "$help"
    for sub in $(listed "$command " "$help"); do
      if subhelp="$("$veldra" "$command" "$sub" --help 2>/dev/null)"; then
        printf '\n*veldra %s %s*\n\n%s\n' "$command" "$sub" "$subhelp"
      fi
    done
  done
} | awk '/^ +veldra / && previous != "" { print "" } { print; previous = $0 }'  # one paragraph a listed command
