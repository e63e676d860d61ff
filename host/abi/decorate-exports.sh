#!/usr/bin/env bash
# Gives a stand-in host library the names that the same library built with
# the platform's C++ compiler exports, so that a module built here imports
# host services under the names every Windows host library has.
#
#   decorate-exports.sh LIBRARY OUT-DIR --objects G++-OBJECTS... --msvc MSVC-OBJECTS...
#
# with VELDRA_OBJDUMP and VELDRA_OBJCOPY naming the build's binutils (those of
# its processor).
# G++-OBJECTS are the library's objects as built; MSVC-OBJECTS are the same
# sources compiled with clang in MSVC mode. The functions each set exports
# are paired through their demangled declarations. Writes:
#   OUT-DIR/LIBRARY-exports.def  for the DLL's link: each decorated name as an
#                                 export of the g++ function
#   OUT-DIR/LIBRARY-imports.def  for dlltool: an import library whose symbols
#                                 are g++'s names and whose imports are the
#                                 decorated ones where there are such
# Fails when an exported g++ function has no decorated counterpart.
set -euo pipefail
export LC_ALL=C
objdump="${VELDRA_OBJDUMP:?names the objdump of the build}"
objcopy="${VELDRA_OBJCOPY:?names the objcopy of the build}"
library="$1" out="$2"
shift 2

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

gnu=() msvc=() into=none
for arg in "$@"; do
  case "$arg" in
  --objects) into=gnu ;;
  --msvc) into=msvc ;;
  *) [ "$into" = gnu ] && gnu+=("$arg") || msvc+=("$arg") ;;
  esac
done

# What an object exports (its linker directives), one name a line, data
# (tables, type information) marked with a trailing ",data".
exports_of() {
  local object headers
  for object in "$@"; do
    # Read the headers whole first: grep -q would stop reading early and
    # fail the pipeline.
    headers=$("$objdump" -h "$object")
    grep -q ' \.drectve ' <<<"$headers" || continue
    "$objcopy" --dump-section .drectve="$scratch/directives" "$object" "$scratch/copy.o"
    { tr ' \0' '\n\n' <"$scratch/directives"; echo; } |
      sed -nE 's/^(-export:|\/EXPORT:)"?([^",]+)"?(,data)?$/\2\3/ip'
  done | sed 's/,DATA$/,data/' | sort -u
}

# One "key name" line per function: the key is the declaration as both
# demanglers spell it once class keys, calling conventions, return types and
# blanks are dropped, e.g. ImageFilter::SetSource(Bitmap*).
keyed_gnu() {
  # Itanium deleting destructors (D0) have no counterpart: the platform's
  # deleting destructor is never exported.
  grep -v -e ',data$' -e 'D0Ev$' | while read -r name; do
    printf '%s %s\n' "$(llvm-cxxfilt "$name" | tr -d ' ')" "$name"
  done
}
keyed_msvc() {
  grep -v ',data$' | while read -r name; do
    printf '%s %s\n' "$(llvm-undname "$name" | sed -n '2p' |
      sed -E 's/^(public|protected|private): //; s/^(virtual|static) //; s/^.*__(thiscall|cdecl|stdcall) //;
              s/\b(class|struct|union|enum) //g; s/\(void\)/()/' | tr -d ' ')" "$name"
  done
}

gnu_exports=$(exports_of "${gnu[@]}")
gnu_keys=$(keyed_gnu <<<"$gnu_exports" | sort)
msvc_keys=$(exports_of "${msvc[@]}" | keyed_msvc | sort)
pairs=$(join <(echo "$gnu_keys") <(echo "$msvc_keys"))  # key g++-name decorated-name

unpaired=$(join -v1 <(echo "$gnu_keys") <(echo "$msvc_keys") | cut -d' ' -f2)
if [ -n "$unpaired" ]; then
  echo "$library: no decorated name for:" $unpaired >&2
  exit 1
fi

mkdir -p "$out"
{
  echo "LIBRARY $library.dll"
  echo "EXPORTS"
  # One export per decorated name (complete and base constructors share one).
  awk '!seen[$3]++ { printf "    \"%s\" = %s\n", $3, $2 }' <<<"$pairs"
} >"$out/$library-exports.def"
# What has no decorated name (data, g++'s deleting destructors) is imported
# under g++'s name, for the programs built here that use it.
{
  echo "LIBRARY $library.dll"
  echo "EXPORTS"
  awk 'NR == FNR { decorated[$2] = $3; next }
       $1 in decorated { printf "    %s == \"%s\"\n", $1, decorated[$1]; next }
       { sub(/,data$/, " DATA"); print "    " $0 }' <(echo "$pairs") <(echo "$gnu_exports")
} >"$out/$library-imports.def"
