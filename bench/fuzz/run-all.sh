#!/usr/bin/env bash
# The long fuzzing run: every target, one after the other, for at least ten minutes each (one
# fuzzer at a time, as each keeps a core busy). Prints per target the executions, the seconds
# run and the result, and keeps that table in <build>/summary.txt.
#   bench/fuzz/run-all.sh [seconds-per-target]    600 when not given; fewer are refused
# With ten targets it takes about an hour and three quarters. Exits with status 1 when any target
# found a crash, leak, hang or sanitizer report (its input is kept under <build>/artifacts/).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}

seconds=${1:-600}
if ! [[ $seconds =~ ^[0-9]+$ ]] || ((seconds < 600)); then
  echo "run-all.sh: seconds per target must be a whole number of at least 600, not \"$seconds\"."
  exit 1
fi
mkdir -p "$build"
status=0
"$here/run.sh" "$seconds" | tee "$build/summary.txt" || status=$?
exit "$status"
