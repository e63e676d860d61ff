#!/usr/bin/env bash
# Fails when a tracked C++ file is not formatted as .clang-format says, and
# names it. With --fix, formats them in place instead.
set -euo pipefail
cd "$(dirname "$0")/.."

format=clang-format-14
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
  "$format" -i "${files[@]}"
  exit 0
fi
unformatted=()
for file in "${files[@]}"; do
  "$format" --dry-run -Werror "$file" 2>/dev/null || unformatted+=("$file")
done
if [ ${#unformatted[@]} -gt 0 ]; then
  printf '%s: not formatted (scripts/check-format.sh --fix formats it)\n' "${unformatted[@]}" >&2
  exit 1
fi
echo "Every tracked C++ file is formatted."
