#!/bin/sh
# Regenerates tests/data/runs/<case>/expected/ by running the built runoff-sim on each case's
# input/ in a scratch copy: the console output, the three caches and the three discharge grids.
# Review the result as a diff before committing it.
# Usage: tests/data/regenerate-runs.sh [path/to/runoff-sim]   (default: build/runoff_sim/runoff-sim)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
exe=$(cd "$(dirname "${1:-$here/../../build/runoff_sim/runoff-sim}")" && pwd)/$(basename "${1:-runoff-sim}")
[ -x "$exe" ] || { echo "runoff-sim not found: $exe"; exit 1; }
for case_dir in "$here"/runs/*/; do
  scratch=$(mktemp -d)
  cp -R "$case_dir/input/." "$scratch/"
  mkdir -p "$scratch/temp" "$scratch/output"
  (cd "$scratch" && "$exe" > stdout) || { echo "runoff-sim failed on $case_dir"; exit 1; }
  expected="$case_dir/expected"
  rm -rf "$expected"
  mkdir -p "$expected"
  cp "$scratch/stdout" "$expected/runoff-sim.stdout"
  for f in numOfBasin.dat orderedCell.dat setROFCell.dat; do cp "$scratch/temp/$f" "$expected/temp.$f"; done
  for f in dischargeDaily.bin dischargeHourlyMaxInDay.bin dischargeHourly.bin; do
    cp "$scratch/output/$f" "$expected/output.$f"
  done
  rm -rf "$scratch"
  echo "regenerated $(basename "$case_dir")"
done
