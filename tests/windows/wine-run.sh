#!/usr/bin/env bash
# Runs a Windows test program under wine. When it fails, says with what status and how soon,
# so that a program that never got going (wine's loader errors, shown only then) is told apart
# from a failing test.
# Usage: wine-run.sh PROGRAM.exe [ARGUMENTS...]
set -u
journal=$(mktemp)
trap 'rm -f "$journal"' EXIT
debut=$(date +%s%N)
WINEDEBUG=${WINEDEBUG:--all} wine "$@"
status=$?
if [ $status -ne 0 ]; then
  duree=$(( ($(date +%s%N) - debut) / 1000000 ))
  echo "$(basename "$1") ended with status $status after $duree ms"
  # Run again with wine's errors shown, to see why it failed.
  WINEDEBUG=fixme-all wine "$@" >"$journal" 2>&1
  echo "run again with wine's errors shown: status $?"
  grep -E '^(err|wine)[:]' "$journal" | head -n 40
fi
exit $status
