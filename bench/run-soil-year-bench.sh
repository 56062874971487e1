#!/usr/bin/env bash
# A long continuous run with the soil and groundwater stores: a copy of a basin working
# directory (default examples/bench-basin) with DAYS days (default 365) of hourly rain and of
# PET from a seasonal daily value spread over the daylight hours (bench/soil_bench_inputs.py),
# routed at TIMESTEP seconds (default 600) under the conservative scheme with --soil --budget and
# LOSSES (default "--losses scs-cn --event-gap 24": each storm a new event of the curve number)
# on THREADS threads (default 2). Prints the wall time, the budget's total line and its closure
# error relative to the rain, which must stay within 1e-9.
#
# Usage: bench/run-soil-year-bench.sh [DAYS] [TIMESTEP] [THREADS] [BASIN]
# Environment: SIM (default build/runoff_sim/runoff-sim), SCRATCH (default /tmp), LOSSES.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
days=${1:-365}
timeStep=${2:-600}
threads=${3:-2}
basin=$(cd "${4:-$root/examples/bench-basin}" && pwd)
sim=$(readlink -f "${SIM:-$root/build/runoff_sim/runoff-sim}")
scratch=$(mktemp -d "${SCRATCH:-${TMPDIR:-/tmp}}/soil-year.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

dir=$scratch/basin
cp -r "$basin"/. "$dir"/
mkdir -p "$dir/temp" "$dir/output"
# Values 12 (days) and 13 (timeStep) of the parameter file replaced.
tr -s ' \t\r\n' '\n' <"$basin/param-ravo-event-ver300.dat" | sed '/^$/d' |
  awk -v d="$days" -v t="$timeStep" 'NR == 12 { $0 = d } NR == 13 { $0 = t } { print }' \
    >"$dir/param-ravo-event-ver300.dat"
/usr/bin/python3 "$root/bench/soil_bench_inputs.py" "$dir" "$days" rain

echo "load before: $(uptime)"
# shellcheck disable=SC2086  # LOSSES is a list of words
(cd "$dir" && OMP_NUM_THREADS=$threads /usr/bin/time -f '%e %M' -o "$scratch/time" "$sim" \
  ${LOSSES:---losses scs-cn --event-gap 24} --soil --baseflow-start 0.02 --scheme conservative --budget --outputs daily \
  >"$scratch/console.log" 2>/dev/null)
echo "load after: $(uptime)"
read -r seconds kib <"$scratch/time"
echo "$days days at $timeStep s on $threads threads: $seconds s, peak memory $((kib / 1024)) MiB"
grep -A1 "^Water budget" "$scratch/console.log" | tail -n 1
grep "^  total" "$scratch/console.log"
grep "^  total" "$scratch/console.log" | awk '{
  error = $(NF - 1); rain = $2
  printf "closure error / rain: %.3e (%s)\n", error / rain,
    (error / rain < 1e-9 && error / rain > -1e-9) ? "within 1e-9" : "BEYOND 1e-9"
  printf "et / rain %.3f, baseflow / rain %.3f, outflow / rain %.3f\n", $4 / rain, $5 / rain,
    $7 / rain }'
