# The completion itself, over the tables above: the command (and
# subcommand), then an option's value where it takes one, options after a
# dash, and file names for the rest.
_veldra() {
  local cur="${COMP_WORDS[COMP_CWORD]}" prev="${COMP_WORDS[COMP_CWORD - 1]}"
  local command="" first=2 i
  if ((COMP_CWORD == 1)); then
    COMPREPLY=($(compgen -W "$_veldra_commands --help --version" -- "$cur"))
    return
  fi
  command="${COMP_WORDS[1]}"
  if [ "$command" = help ]; then
    ((COMP_CWORD == 2)) && COMPREPLY=($(compgen -W "$_veldra_commands" -X help -- "$cur"))
    return
  fi
  if [ -n "${_veldra_subcommands[$command]+set}" ]; then
    if ((COMP_CWORD == 2)); then
      COMPREPLY=($(compgen -W "${_veldra_subcommands[$command]} --help" -- "$cur"))
      return
    fi
    command="$command ${COMP_WORDS[2]}"
    first=3
  fi
  # Nothing of ours after "--" (the rest is handed on, to sbatch).
  for ((i = first; i < COMP_CWORD; i++)); do
    [ "${COMP_WORDS[i]}" = "--" ] && return
  done

  local value="${_veldra_values[$command $prev]-}"
  case "$value" in
    "") ;;
    @value) return ;;
    @file) _veldra_files "$cur"; return ;;
    *) COMPREPLY=($(compgen -W "$value" -- "$cur")); return ;;
  esac
  if [[ "$cur" == -* ]]; then
    COMPREPLY=($(compgen -W "${_veldra_options[$command]-} --help" -- "$cur"))
  else
    _veldra_files "$cur"
  fi
}

# File names, through bash-completion's helper where it is loaded.
_veldra_files() {
  if declare -F _filedir >/dev/null; then
    _filedir
  else
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -f -- "$1"))
  fi
}

complete -F _veldra veldra
