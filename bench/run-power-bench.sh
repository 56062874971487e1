#!/usr/bin/env bash
# The kernel's own power function (--power fast) against the C library's pow on the three
# benchmarks that measure routing: one thread on the bench basin against the plain design
# (routing_bench), runoff-calibrate's candidates per second on the example's twin experiment
# (run-calibration-bench.sh, step 1), and the year on the 1.25 M-cell synthetic grid with
# --outputs daily and 10 gauges on 2 threads (run-long-run-bench.sh). Each pair runs back to
# back; on a shared machine compare processor times, or run it on a quiet one.
#
# Usage: bench/run-power-bench.sh [SYNTHETIC_DIR] [EVALUATIONS]
#   SYNTHETIC_DIR: the 1032 x 1209 grid's working directory (no year run without it);
#   EVALUATIONS: candidates per calibration (default 40). A Release build in build/.
# Environment: PARTS (default "routing calibration year"): which of the three to run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
synthetic=${1:-}
evaluations=${2:-40}
parts=${PARTS:-routing calibration year}
echo "load: $(uptime)"

if [[ $parts == *routing* ]]; then
  echo "== One thread on the bench basin (2 days at 60 s), against the plain design"
  "$root/build/bench/routing_bench" "$root/examples/bench-basin"
fi

if [[ $parts == *calibration* ]]; then
  for power in libm fast; do
    echo "== runoff-calibrate --power $power, $evaluations candidates"
    POWER=$power RATE_ONLY=1 "$root/bench/run-calibration-bench.sh" "$evaluations"
  done
fi

if [[ $parts == *year* && -n $synthetic ]]; then
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
  # Ten gauges at the outlets of the first ten listed basins.
  {
    echo name,lon,lat
    awk 'NR <= 10 { printf "basin%s,%s,%s\n", $1, $7, $8 }' "$synthetic/topoData/riverNumList.dat"
  } >"$scratch/gauges.csv"
  for power in libm fast; do
    echo "== The year on the synthetic grid, --outputs daily --gauges, --power $power, 2 threads"
    SIM_ARGS="--outputs daily --gauges $scratch/gauges.csv --power $power" \
      "$root/bench/run-long-run-bench.sh" "$synthetic" 365 3600 2
  done
fi
echo "load: $(uptime)"
