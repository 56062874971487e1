#!/usr/bin/env bash
# Long runs of the real program: copies a basin working directory, sets its duration and time
# step, and runs runoff-sim once per thread count, reporting wall time and peak memory (GNU
# time), the size of what it wrote and one SHA-256 of its output files. With REFERENCE set to
# another runoff-sim binary (for example one built from another commit), runs it too after each
# run, on the same threads, and checks that both give the same bytes. SIM_ARGS passes options
# to both (--outputs daily --gauges /abs/path/gauges.csv). The output files of each run are
# removed once measured: a year on a million cells writes some 48 GB.
#
# Usage: bench/run-long-run-bench.sh BASIN DAYS TIMESTEP [THREADS ...]   (threads default: 1 2)
# Environment: SIM (default build/runoff_sim/runoff-sim), REFERENCE, SIM_ARGS, SCRATCH (default
# a temporary folder on the file system of /tmp).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
basin=$(cd "$1" && pwd)
days=$2
timeStep=$3
shift 3
threads=("$@")
((${#threads[@]})) || threads=(1 2)
sim=$(readlink -f "${SIM:-$root/build/runoff_sim/runoff-sim}")
scratch=$(mktemp -d "${SCRATCH:-${TMPDIR:-/tmp}}/long-run-bench.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# A fresh working directory with values 12 (days) and 13 (timeStep) replaced.
prepare() {
  local dir=$1
  rm -rf "$dir"
  mkdir -p "$dir"
  cp -r "$basin"/. "$dir"/
  mkdir -p "$dir/temp" "$dir/output"
  tr -s ' \t\r\n' '\n' <"$basin/param-ravo-event-ver300.dat" | sed '/^$/d' |
    awk -v d="$days" -v t="$timeStep" 'NR == 12 { $0 = d } NR == 13 { $0 = t } { print }' \
      >"$dir/param-ravo-event-ver300.dat"
}

# run LABEL BINARY THREADS: prints one row and leaves the files' checksum in $sums.
run() {
  local label=$1 exe=$2 n=$3 dir=$scratch/run
  prepare "$dir"
  # shellcheck disable=SC2086  # SIM_ARGS is a list of words
  (cd "$dir" && OMP_NUM_THREADS=$n /usr/bin/time -f '%e %M %U %S' -o "$scratch/time" "$exe" \
    ${SIM_ARGS:-} >"$scratch/console.log")
  read -r seconds kib user system <"$scratch/time"
  # Every file but the .vrt, whose text does not change with the results; discharge.nc holds
  # the time it was made, so only its size is compared.
  sums=$(cd "$dir/output" && for f in $(ls | grep -v '\.vrt$' | grep -v '\.nc$'); do
    sha256sum "$f"; done | sha256sum | cut -c1-16)
  local bytes
  bytes=$(du -cb "$dir"/output/* | tail -n 1 | cut -f1)
  printf '%-12s %7s %10s %10.1f %12.1f %12.2f  %s\n' "$label" "$n" "$seconds" \
    "$(awk -v u="$user" -v s="$system" 'BEGIN { print u + s }')" \
    "$(awk -v k="$kib" 'BEGIN { print k / 1024 }')" \
    "$(awk -v b="$bytes" 'BEGIN { print b / 2^30 }')" "$sums"
  rm -rf "$dir"
}

echo "basin $basin: $days days at a time step of $timeStep s"
printf '%-12s %7s %10s %10s %12s %12s  %s\n' program threads seconds 'cpu s' 'peak MiB' \
  'output GiB' 'sha256 of the files'
status=0
for n in "${threads[@]}"; do
  run runoff-sim "$sim" "$n"
  if [[ -n ${REFERENCE:-} ]]; then
    mine=$sums
    run reference "$(readlink -f "$REFERENCE")" "$n"
    if [[ $sums != "$mine" ]]; then
      echo "BYTES DIFFER FROM THE REFERENCE on $n threads"
      status=1
    fi
  fi
done
exit $status
