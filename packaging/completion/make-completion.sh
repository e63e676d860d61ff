#!/usr/bin/env bash
# Writes veldra's bash completion from its help (all of it, as
# packaging/man/all-help.sh gathers it), so that the words it offers are the ones the
# program documents: the commands and subcommands, each command's options,
# and the words an option takes where its help spells them out
# ("--axis x|y|z", "--alpha keep"). An option whose value is a FILE, DIR,
# INPUT or OUTPUT completes file names; other values (N, LIST, DEG...) get
# nothing. A command whose usage takes "[render options]" offers render's.
# Usage: make-completion.sh VELDRA OUTPUT
set -euo pipefail
veldra="$1"
output="$2"
here="$(cd "$(dirname "$0")" && pwd)"

help="$(VELDRA="$veldra" "$here/../man/all-help.sh" --help)"
tables="$(awk -f "$here/help-tables.awk" <<<"$help" | sort)"
grep -q "^_veldra_options\['render'\]=" <<<"$tables" \
  || { echo "make-completion.sh: no commands or options found in the help of $veldra" >&2; exit 1; }
{
  echo "# bash completion for veldra, written by make-completion.sh from veldra's own help."
  echo "declare -gA _veldra_subcommands=() _veldra_options=() _veldra_values=()"
  echo "$tables"
  echo
  cat "$here/veldra-completion.bash"
} >"$output.tmp"
mv "$output.tmp" "$output"
