#!/bin/sh
# exporthost's bash completion, run as bash runs it: the commands, a command's own options, check
# names after --only and --skip (in a comma-separated list too) and the values of --format.
#   completion_check.sh EXPORTHOST COMPLETION
set -eu
exporthost=$1 completion=$2
bash -c '. "$0" && complete -p exporthost' "$completion" >/dev/null ||
  { echo "FAIL: the completion registers nothing for exporthost"; exit 1; }
# expect OFFERED WORD...: what is offered for the last word of "exporthost WORD..."
expect() {
  offered=$1
  shift
  got=$(bash -c '. "$0"; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _exporthost
    printf "%s " "${COMPREPLY[@]}"' "$completion" "$exporthost" "$@")
  [ "$got" = "$offered" ] || { echo "FAIL: exporthost $* offers '$got', expected '$offered'"; exit 1; }
}
expect "check " ch
expect "check " help ch
expect "--plugin --help " export --
expect "--strict " check --st
expect "content " check --only cont
expect "quiet,process-state " check --skip quiet,pro
expect "--format=tap --format=tap13 " check --format=ta
expect "random " check --seed r
echo "PASS: commands, options, check names and values completed"
