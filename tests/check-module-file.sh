#!/usr/bin/env bash
# Checks what the module file shows to the outside: natively, the dynamic
# symbols it defines; on Windows, its processor (and that of the host
# libraries beside it), its export table (names and ordinals), the DLLs it
# imports from (host libraries and Windows' own, never a C++ runtime DLL),
# and that every host service is imported under the platform's C++
# decorated name for that processor, which demangles and which the host
# library beside it exports.
#
#   check-module-file.sh native|windows-x86|windows-x64 MODULE-FILE EXPORT-NAMES...   (names in ordinal order)
#
# On Windows VELDRA_OBJDUMP names the objdump of the build.
set -euo pipefail
kind="$1" file="$2"
shift 2
names=("$@")

fail() { echo "$file: $*" >&2; exit 1; }

case "$kind" in
native)
  symbols=$(nm -D --defined-only "$file" | awk '{print $3}' | sort | tr '\n' ' ')
  expected=$(printf '%s\n' "${names[@]}" DllMain | sort | tr '\n' ' ')
  [ "$symbols" = "$expected" ] || fail "exports [$symbols], expected [$expected]"
  ;;
windows-x86 | windows-x64)
  objdump="${VELDRA_OBJDUMP:?names the objdump of the build}"
  # The file format, and how the platform's compiler calls a member function
  # there: with `this` in ECX on 32-bit x86, as any other call on x64.
  if [ "$kind" = windows-x64 ]; then
    format=pei-x86-64 member_call=__cdecl
  else
    format=pei-i386 member_call=__thiscall
  fi
  dump=$("$objdump" -p "$file")
  exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | awk '$1 == "[" {print $2 $3}' | sort | tr '\n' ' ')
  # Name-pointer rows give the ordinal less the base of 1.
  expected=$(for i in "${!names[@]}"; do echo "$i]${names[$i]}"; done | sort | tr '\n' ' ')
  [ "$exports" = "$expected" ] || fail "exports [$exports], expected [$expected]"
  grep -q 'Ordinal Base[[:space:]]*1$' <<<"$dump" || fail "ordinal base is not 1"
  allowed='^(kernel32|user32|gdi32|comctl32|msvcrt|flt|bmm|core|geom)\.dll$'
  while read -r dll; do
    grep -qiE "$allowed" <<<"$dll" || fail "imports from $dll"
  done < <(awk '/DLL Name:/ {print $3}' <<<"$dump")
  for binary in "$file" "$(dirname "$file")"/{flt,bmm,core,geom}.dll; do
    grep -q "file format $format\$" < <("$objdump" -f "$binary") || fail "$binary is not $format"
  done
  for dll in flt.dll bmm.dll core.dll geom.dll; do
    host="$(dirname "$file")/$dll"
    host_exports=$("$objdump" -p "$host" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
      awk '$1 == "[" {print $3}')
    while read -r name; do
      [ -n "$name" ] || continue
      [[ "$name" == \?* ]] || fail "imports $name from $dll: not a decorated name"
      declaration=$(llvm-undname "$name" | sed -n '2p') || fail "$name from $dll does not demangle"
      if [[ "$declaration" =~ ^(public|protected|private): ]] && [[ "$declaration" != *" $member_call "* ]]; then
        fail "imports $name from $dll: not decorated for $format ($declaration)"
      fi
      grep -qxF "$name" <<<"$host_exports" || fail "imports $name, which $host does not export"
      echo "$dll: $declaration"
    done < <(sed -n "/DLL Name: $dll/,/^\$/p" <<<"$dump" | awk 'NR > 2 && NF >= 3 {print $3}')
  done
  ;;
*) fail "unknown kind $kind" ;;
esac
echo "$file: exports and imports as expected"
