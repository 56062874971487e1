#!/usr/bin/env bash
# runoff-sim-mpi on two ranks against what the machine gives two independent runs: the speed-up
# of two ranks (one thread each) over one, beside the ceiling, the throughput of two one-thread
# runs of the same basin at the same time over one run alone (what two cores give when nothing
# is shared but the memory bus and the disk). Checks that two ranks write the bytes of one.
# Each figure is the best of RUNS (default 3), the runs of one round taken back to back, each
# after a sync: a run of all outputs leaves 1.6 GB of the bench basin's hourly grids dirty in
# the page cache, below the kernel's threshold for writing it back, and the next run would
# otherwise meet the kernel's throttling of writers on its behalf. No run is bound to a core:
# two separate mpirun commands would each bind their one rank to the first.
#
# Usage: bench/run-mpi-ceiling-bench.sh BASIN DAYS TIMESTEP [runoff-sim options ...]
# Environment: MPI_SIM (default build/runoff_sim_mpi/runoff-sim-mpi), RUNS, SCRATCH.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
basin=$(cd "$1" && pwd)
days=$2
timeStep=$3
shift 3
options=("$@")
sim=$(readlink -f "${MPI_SIM:-$root/build/runoff_sim_mpi/runoff-sim-mpi}")
runs=${RUNS:-3}
scratch=$(mktemp -d "${SCRATCH:-${TMPDIR:-/tmp}}/mpi-ceiling-bench.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 OMP_NUM_THREADS=1

for dir in one two a b; do
  mkdir -p "$scratch/$dir"
  cp -r "$basin"/. "$scratch/$dir"/
  mkdir -p "$scratch/$dir/temp" "$scratch/$dir/output"
  tr -s ' \t\r\n' '\n' <"$basin/param-ravo-event-ver300.dat" | sed '/^$/d' |
    awk -v d="$days" -v t="$timeStep" 'NR == 12 { $0 = d } NR == 13 { $0 = t } { print }' \
      >"$scratch/$dir/param-ravo-event-ver300.dat"
  # The caches first, so that every measured run reads them.
  (cd "$scratch/$dir" && mpirun --oversubscribe -np 1 "$sim" "${options[@]}" >/dev/null)
done

# seconds DIR RANKS: wall seconds of one run.
seconds() {
  local start end
  start=$(date +%s.%N)
  (cd "$scratch/$1" && mpirun --oversubscribe --bind-to none -np "$2" "$sim" "${options[@]}" >/dev/null)
  end=$(date +%s.%N)
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }'
}

best() { printf '%s\n' "$@" | sort -g | head -n 1; }

one=() two=() pair=()
for ((r = 0; r < runs; ++r)); do
  sync
  one+=("$(seconds one 1)")
  sync
  two+=("$(seconds two 2)")
  sync
  start=$(date +%s.%N)
  seconds a 1 >/dev/null &
  seconds b 1 >/dev/null
  wait
  end=$(date +%s.%N)
  pair+=("$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }')")
done
t1=$(best "${one[@]}")
t2=$(best "${two[@]}")
tp=$(best "${pair[@]}")
same=yes
for f in "$scratch/one/output"/*; do
  name=$(basename "$f")
  [[ $name == *.nc ]] && continue  # holds the time it was made
  cmp -s "$f" "$scratch/two/output/$name" || same=no
done
echo "basin $basin: $days days at $timeStep s, options: ${options[*]:-(none)}; best of $runs"
printf 'one rank                      %8.3f s   (all: %s)\n' "$t1" "${one[*]}"
printf 'two ranks                     %8.3f s   (all: %s)\n' "$t2" "${two[*]}"
printf 'two one-rank runs at once     %8.3f s   (all: %s)\n' "$tp" "${pair[*]}"
awk -v a="$t1" -v b="$t2" -v p="$tp" 'BEGIN {
  speedUp = a / b; ceiling = 2 * a / p
  printf "speed-up of two ranks %.2fx; ceiling (two runs at once) %.2fx; share of the ceiling %.2f\n",
         speedUp, ceiling, speedUp / ceiling }'
echo "two ranks wrote the bytes of one: $same"
[[ $same == yes ]]
