#!/usr/bin/env bash
# The cost of the soil and groundwater stores: runs runoff-sim on a copy of a basin working
# directory (default examples/bench-basin: 2 days at 60 s) with --losses scs-cn alone and with
# --losses scs-cn --soil, on one thread, alternately RUNS times each (default 3), and prints the
# least processor time (user and system, the steadier figure on a shared machine) and the least
# wall time of each, and their ratios. The grids are made here with typical values that
# vary from cell to cell (curve numbers 55 to 90, capacities 50 to 250 mm, percolation 0.05 to
# 0.5 mm/h, baseflow time constants 100 to 1000 h), and input/pet.dat gives 0 to 0.5 mm/h
# through the daylight hours of every rain cell, so that every cell works all of its fluxes.
# Both runs must write their files; the machine's load is printed before and after.
#
# Usage: bench/run-soil-bench.sh [RUNS] [BASIN]
# Environment: SIM (default build/runoff_sim/runoff-sim), SCRATCH (default /tmp).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-3}
basin=$(cd "${2:-$root/examples/bench-basin}" && pwd)
sim=$(readlink -f "${SIM:-$root/build/runoff_sim/runoff-sim}")
scratch=$(mktemp -d "${SCRATCH:-${TMPDIR:-/tmp}}/soil-bench.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

dir=$scratch/basin
cp -r "$basin"/. "$dir"/
mkdir -p "$dir/temp" "$dir/output"
/usr/bin/python3 "$root/bench/soil_bench_inputs.py" "$dir"

echo "load before: $(uptime)"
cpu_losses="" cpu_soil="" wall_losses="" wall_soil=""
timed() {  # timed OPTION...: "processor-seconds wall-seconds" of one run
  (cd "$dir" && OMP_NUM_THREADS=1 /usr/bin/time -f '%U %S %e' -o "$scratch/time" "$sim" "$@" \
    >"$scratch/console.log" 2>/dev/null)
  awk '{ print $1 + $2, $3 }' "$scratch/time"
}
smaller() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a < b) ? a : b }'; }
for ((r = 1; r <= runs; r++)); do
  read -r cpu wall <<<"$(timed --losses scs-cn)"
  cpu_losses=$(smaller "$cpu" "$cpu_losses")
  wall_losses=$(smaller "$wall" "$wall_losses")
  read -r cpu wall <<<"$(timed --losses scs-cn --soil)"
  cpu_soil=$(smaller "$cpu" "$cpu_soil")
  wall_soil=$(smaller "$wall" "$wall_soil")
  echo "run $r: best so far, processor (wall) seconds: scs-cn $cpu_losses ($wall_losses)," \
    "scs-cn + soil $cpu_soil ($wall_soil)"
done
grep -q "Read ./input/pet.dat" "$scratch/console.log"
echo "load after: $(uptime)"
awk -v a="$cpu_losses" -v b="$cpu_soil" -v c="$wall_losses" -v d="$wall_soil" -v n="$runs" 'BEGIN {
  printf "processor time: --losses scs-cn %.2f s, with --soil %.2f s: ratio %.3f\n", a, b, b / a
  printf "wall time:      --losses scs-cn %.2f s, with --soil %.2f s: ratio %.3f\n", c, d, d / c
  printf "(best of %d runs each, one thread)\n", n }'
