#!/bin/sh
# The Linux half of java_bridge.exe and node_bridge.exe (java_bridge.cpp): runs Linux java or
# node with the arguments it was handed, its output and exit status in files, since Wine gives a
# Linux program started from a Windows one no pipe and its starter no exit code.
#   java_bridge.sh <stdout file> <stderr file> <status file> <working folder> <program> <args>...
# A class path after -cp comes as a ';' list of paths that may pass through Wine's
# dosdevices drive links ("…/dosdevices/c:/…"); Java splits a class path at ':', so each entry
# is resolved to its real path and the list joined with ':'.
out=$1 err=$2 status=$3 folder=$4 java=$5
shift 5
i=0
n=$#
while [ "$i" -lt "$n" ]; do
  arg=$1
  shift
  if [ "$previous" = "-cp" ] || [ "$previous" = "-classpath" ]; then
    list=
    old_ifs=$IFS
    IFS=';'
    for entry in $arg; do
      list="$list${list:+:}$(readlink -f "$entry")"
    done
    IFS=$old_ifs
    arg=$list
  fi
  set -- "$@" "$arg"
  previous=$arg
  i=$((i + 1))
done
cd "$folder" || cd /
"$java" "$@" >"$out" 2>"$err" </dev/null
echo $? >"$status.tmp"
mv "$status.tmp" "$status"
