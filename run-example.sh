#!/usr/bin/env bash
# Builds the programs in Release and runs the whole chain on the bundled example basin in a
# fresh run directory; the example folder itself is never modified.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure-packages.sh
ensure_packages g++:g++ cmake:cmake make:make

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DRUNOFF_BUILD_TESTS=OFF -DRUNOFF_BUILD_BENCH=OFF >/dev/null
cmake --build build -j "$jobs" --target runoff-sim discharge-map discharge-point >/dev/null

run=run-example
rm -rf "$run"
mkdir -p "$run"
cp -r examples/sample-basin/. "$run"/
mkdir -p "$run/temp" "$run/output/image"
(cd "$run" && ../build/runoff_sim/runoff-sim)
