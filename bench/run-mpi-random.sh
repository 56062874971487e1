#!/usr/bin/env bash
# The long mode of the random differential test of runoff-sim-mpi (tests/mpi_random_test.cpp):
# COUNT combinations, each a random small working directory, a random command line, 1 to 4
# processes and now and then a restart split, all made from its seed, run by runoff-sim and by
# runoff-sim-mpi and compared byte for byte. The seeds FIRST to FIRST + COUNT - 1 are cut into
# LANES ranges that run side by side (each combination keeps up to four processes busy, mostly
# starting up). Prints every seed that differs, with what it was and what differed, then the
# count; a seed replays alone with the command printed at the end. Exit status 1 when any
# differs.
#
# Usage: bench/run-mpi-random.sh [COUNT [FIRST [LANES]]]   default 2000 combinations from seed
#        1000000 on 2 lanes (about an hour on two cores); the suite's own seeds are 1 to 96.
# Environment: BUILD (default build), the folder where mpi_random_test was built.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
count=${1:-2000}
first=${2:-1000000}
lanes=${3:-2}
for value in "$count" "$first" "$lanes"; do
  if ! [[ $value =~ ^[0-9]+$ ]]; then
    echo "run-mpi-random.sh: COUNT, FIRST and LANES are whole numbers, not \"$value\"."
    exit 1
  fi
done
((lanes >= 1)) || lanes=1
test=$(readlink -f "${BUILD:-$root/build}")/tests/mpi_random_test
if [[ ! -x $test ]]; then
  echo "run-mpi-random.sh: $test is not built (cmake --build build --target mpi_random_test)."
  exit 1
fi
logs=$(mktemp -d "${TMPDIR:-/tmp}/mpi-random.XXXXXX")
started=$(date +%s)
echo "$count combinations from seed $first on $lanes lanes; logs in $logs"
pids=()
for ((lane = 0; lane < lanes; ++lane)); do
  from=$((first + count * lane / lanes))
  to=$((first + count * (lane + 1) / lanes))
  ((to > from)) || continue
  RUNOFF_RANDOM_SEEDS="$from:$((to - from))" "$test" --gtest_filter='MpiRandomLong.*' \
    >"$logs/lane-$lane.log" 2>&1 &
  pids+=($!)
done
for pid in "${pids[@]}"; do wait "$pid" || true; done

done=$(cat "$logs"/lane-*.log | grep -c '^seed [0-9]*: ' || true)
failed=$(cat "$logs"/lane-*.log | grep '^seed [0-9]*: DIFFERENT' | sed 's/^seed \([0-9]*\):.*/\1/' |
  sort -n | paste -sd, || true)
# Each differing seed with what differed (the indented lines under it).
cat "$logs"/lane-*.log | awk '/^seed [0-9]+: DIFFERENT/ {show = 1; print; next}
                              /^seed [0-9]+: / {show = 0} show && /^    / {print}'
elapsed=$(($(date +%s) - started))
echo "$done of $count combinations run in ${elapsed} s; differing: ${failed:-none}"
if [[ -n $failed || $done -ne $count ]]; then
  [[ -n $failed ]] && echo "Replay: RUNOFF_RANDOM_SEEDS=$failed $test --gtest_filter='MpiRandomLong.*'"
  ((done == count)) || echo "Some combinations did not run: see $logs"
  exit 1
fi
