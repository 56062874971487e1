#!/usr/bin/env bash
# Builds the set-up benchmark in Release and runs it: nearest-rainfall-cell mapping,
# calculation order and river selection on realistic grids of 300, 500, 1000 and 2000 cells a
# side and on hostile ones, beside the plain procedures at 300 x 300 (about a minute a run).
#
# Usage: bench/run-setup-bench.sh [maxLiteralSide [side ...]]   (arguments go to setup_bench)
# Environment: BUILD_DIR (default build), RUNS (default 1; on a busy machine take the best of
# several), JOBS (build jobs, default 2).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
runs=${RUNS:-1}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DRUNOFF_SANITIZE=OFF \
  -DRUNOFF_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j "${JOBS:-2}" --target setup_bench

for ((run = 1; run <= runs; ++run)); do
  echo "== run $run of $runs"
  "$build/bench/setup_bench" "$@"
done
