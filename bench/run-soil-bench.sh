#!/usr/bin/env bash
# The cost of the soil and groundwater stores: runs runoff-sim on a copy of a basin working
# directory (default examples/bench-basin: 2 days at 60 s) with --losses scs-cn alone and with
# --losses scs-cn --soil, on one thread, alternately RUNS times each (default 3), and prints the
# fastest wall time of each and their ratio. The grids are made here with typical values that
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
best_losses=""
best_soil=""
timed() {
  (cd "$dir" && OMP_NUM_THREADS=1 /usr/bin/time -f '%e' -o "$scratch/time" "$sim" "$@" \
    >"$scratch/console.log" 2>/dev/null)
  cat "$scratch/time"
}
smaller() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a < b) ? a : b }'; }
for ((r = 1; r <= runs; r++)); do
  t=$(timed --losses scs-cn)
  best_losses=$(smaller "$t" "$best_losses")
  t=$(timed --losses scs-cn --soil)
  best_soil=$(smaller "$t" "$best_soil")
  echo "run $r: scs-cn $best_losses s, scs-cn + soil $best_soil s (best so far)"
done
grep -q "Read ./input/pet.dat" "$scratch/console.log"
echo "load after: $(uptime)"
awk -v a="$best_losses" -v b="$best_soil" -v n="$runs" 'BEGIN {
  printf "--losses scs-cn %.2f s, --losses scs-cn --soil %.2f s: ratio %.3f (best of %d, one thread)\n",
    a, b, b / a, n }'
