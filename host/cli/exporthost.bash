# bash completion for exporthost. The commands, options and check names come from exporthost
# itself (its help and check --list), so they are always the installed program's own.

_exporthost_words() {
  # The long options COMMAND takes (all of them with no COMMAND), as its help lists them.
  "$1" ${2:+"$2"} --help 2>/dev/null | sed -n 's/^  \(-h, \)\{0,1\}\(--[a-z][a-z0-9-]*\).*/\2/p'
}

_exporthost() {
  local program=${COMP_WORDS[0]} cur=${COMP_WORDS[COMP_CWORD]} prev=""
  ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
  local command="" index
  for ((index = 1; index < COMP_CWORD; index++)); do
    case ${COMP_WORDS[index]} in
      -*) ;;
      *)
        case ${COMP_WORDS[index - 1]} in
          --plugin | --only | --skip | --timeout | --junit | --keep | --seed | --repeat | --round | \
            --max-size | --jobs | --reference-dir | --write-blocks) ;;
          *) command=${COMP_WORDS[index]}; break ;;
        esac
        ;;
    esac
  done
  COMPREPLY=()
  case $prev in
    --plugin | --junit)
      mapfile -t COMPREPLY < <(compgen -f -- "$cur")
      return
      ;;
    --keep | --reference-dir | --write-blocks)
      mapfile -t COMPREPLY < <(compgen -d -- "$cur")
      return
      ;;
    --seed)
      mapfile -t COMPREPLY < <(compgen -W "random" -- "$cur")
      return
      ;;
    --only | --skip)
      # A comma-separated list: the name being typed is the one after the last comma.
      local done=${cur%"${cur##*,}"}
      mapfile -t COMPREPLY < <(compgen -P "$done" -W "$("$program" check --list 2>/dev/null |
        grep -oE '^[a-z][a-z0-9-]*')" -- "${cur##*,}")
      return
      ;;
    --timeout | --repeat | --round | --max-size | --jobs) return ;;
  esac
  case $cur in
    --format=*)
      mapfile -t COMPREPLY < <(compgen -P --format= -W "text tap tap13" -- "${cur#--format=}")
      return
      ;;
    --expect=*)
      mapfile -t COMPREPLY < <(compgen -P --expect= -W "identity" -- "${cur#--expect=}")
      return
      ;;
    -*)
      mapfile -t COMPREPLY < <(compgen -W "$(_exporthost_words "$program" "$command")" -- "$cur")
      return
      ;;
  esac
  case $command in
    "") mapfile -t COMPREPLY < <(compgen -W "export formats about check help" -- "$cur") ;;
    help) mapfile -t COMPREPLY < <(compgen -W "export formats about check help" -- "$cur") ;;
    export) mapfile -t COMPREPLY < <(compgen -f -- "$cur") ;;
  esac
}

complete -F _exporthost exporthost
