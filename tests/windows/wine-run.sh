#!/usr/bin/env bash
# Runs a Windows test program under wine and prints what it printed. Its output goes through a
# file: wine's own processes that the program's start brings up (services, devices) inherit
# its descriptors and live on, and ctest would wait for them on a pipe. When the program fails,
# says with what status and how soon, and shows wine's errors from a second run, so that a
# program that never got going (wine's loader) is told apart from a failing test.
# Usage: wine-run.sh PROGRAM.exe [ARGUMENTS...]
set -u
journal=$(mktemp)
trap 'rm -f "$journal"' EXIT
debut=$(date +%s%N)
WINEDEBUG=${WINEDEBUG:--all} wine "$@" </dev/null >"$journal" 2>&1
status=$?
cat "$journal"
if [ $status -ne 0 ]; then
  duree=$(( ($(date +%s%N) - debut) / 1000000 ))
  echo "$(basename "$1") ended with status $status after $duree ms"
  WINEDEBUG=fixme-all wine "$@" </dev/null >"$journal" 2>&1
  echo "run again with wine's errors shown: status $?"
  grep -E '^(err|wine)[:]' "$journal" | head -n 40
fi
exit $status
