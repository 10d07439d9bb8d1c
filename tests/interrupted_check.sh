#!/bin/bash
# One run of `exporthost check`, or of `exporthost export`, that a plug-in or the user
# interrupts, for ExporthostCheck.LeavesNoFolderOrProcessBehind:
#   interrupted_check.sh EXPORTHOST MISBEHAVE FOLDER PLUGIN SIGNAL CHECK TMPDIR
# It runs in FOLDER with the test plug-in misbehaving as MISBEHAVE during CHECK; a CHECK of
# "export" exports three bytes from standard input to FOLDER/out instead. SIGNAL is a signal
# sent to exporthost once the check or save is under way (a plug-in that hangs), 0 for none, or
# PIPE for a reader that stops after one line. Its exit status is exporthost's.
exporthost=$1 misbehave=$2 folder=$3 plugin=$4 signal=$5 check=$6
cd "$folder" || exit 99
export TEST_PLUGIN_WHEN=$check TEST_PLUGIN_MISBEHAVE=$misbehave TMPDIR=$7
if [ "$check" = export ]; then
  export TEST_PLUGIN_WHEN=/out
  printf abc | "$exporthost" export --plugin "$plugin" - out >/dev/null &
  if [ "$misbehave" = hang ]; then
    until [ -d "$folder"/.exporthost-* ] || ! kill -0 $!; do
      sleep 0.05
    done
    kill -"$signal" $!
  fi
  wait $!
  exit
fi
if [ "$signal" = PIPE ]; then
  "$exporthost" check --plugin "$plugin" | head -1 >/dev/null
  exit "${PIPESTATUS[0]}"
fi
"$exporthost" check --timeout 1 --only "$check" --plugin "$plugin" &
if [ "$misbehave" = hang ]; then
  until [ -d "$folder"/exporthost-*/1/"$check"/cwd ] || ! kill -0 $!; do
    sleep 0.05
  done
  kill -"$signal" $!
fi
wait $!
