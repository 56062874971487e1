#!/usr/bin/env bash
# Builds the programs in Release and runs the whole chain on the bundled example basin in a
# fresh run directory (the example folder itself is never modified): runoff-sim, discharge-map
# with the automatic range, discharge-point at the outlet of the largest basin; then draws the
# hydrograph and the peak-hour map and prints a short summary.
# Installs the compiler, CMake, gnuplot and ImageMagick with apt-get when they are missing.
# BUILD_DIR (default build) and RUN_DIR (default run-example) may be set to other folders;
# RUNOFF_CMAKE_ARGS adds options to the configure step.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure-packages.sh
# ImageMagick is probed by its Debian path: another "convert" earlier on PATH is not it.
ensure_packages g++:g++ cmake:cmake make:make gnuplot:gnuplot-nox /usr/bin/convert:imagemagick

build=${BUILD_DIR:-build}
run=${RUN_DIR:-run-example}
example=examples/sample-basin

# Only the three programs: the tests and benchmarks (and GoogleTest) stay out of this build, so
# the example runs on a fresh machine before anything else. A failed configure or build shows
# its own output.
jobs=$(nproc 2>/dev/null || echo 2)
quietly() {  # quietly LOG COMMAND...: runs COMMAND, its output shown only when it fails
  local log=$1
  shift
  if ! "$@" >"$log" 2>&1; then
    cat "$log" >&2
    echo "run-example.sh: '$*' failed" >&2
    exit 1
  fi
}
mkdir -p "$build"
quietly "$build/example-configure.log" cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release \
  -DRUNOFF_BUILD_TESTS=OFF -DRUNOFF_BUILD_BENCH=OFF ${RUNOFF_CMAKE_ARGS:-}
quietly "$build/example-build.log" cmake --build "$build" -j "$jobs" \
  --target runoff-sim discharge-map discharge-point
bin=$(cd "$build" && pwd)
repo=$(pwd)

rm -rf "$run"
mkdir -p "$run"
cp -r "$example"/. "$run"/
# The programs create no folder: caches, grids and images need theirs beforehand.
mkdir -p "$run/temp" "$run/output/image"
cd "$run"

step() {  # step NAME LOG_DIR COMMAND [ANSWERS]: runs one program, its console kept in a log
  local name=$1 dir=$2 exe=$3 answers=${4:-} log=$PWD/$1.log
  if ! (cd "$dir" && printf '%b' "$answers" | "$exe" >"$log"); then
    tail -n 5 "$name.log"
    echo "$name failed; its console output is in $run/$name.log" >&2
    exit 1
  fi
}

step runoff-sim . "$bin/runoff_sim/runoff-sim"
step discharge-map output "$bin/discharge_map/discharge-map" 'n\n'

# Outlet of the largest basin, basin-mean rainfall, water budget.
le() { od -An -v -w4 --endian=little "$@"; }
summary=$(awk -f "$repo/scripts/example-summary.awk" -v rainOut=basin-rain.dat \
  part=params param-ravo-event-ver300.dat part=rivers topoData/riverNumList.dat \
  part=basin <(le -td4 topoData/riverNum.bin) part=dir <(le -td4 topoData/flowDir.bin) \
  part=acc <(le -td4 topoData/flowAcc.bin) part=map temp/setROFCell.dat \
  part=rain input/rain.dat part=flow <(le -tf4 output/dischargeHourly.bin))
read -r _ column row basin cells <<<"$(grep '^gauge' <<<"$summary")"
read -r _ rainVolume outflowVolume outlets <<<"$(grep '^volumes' <<<"$summary")"

step discharge-point output "$bin/discharge_point/discharge-point" "$column\n$row\n"
series="output/$column-${row}_discharge.dat"

# hour, basin-mean rainfall (mm/h), outlet discharge (m3/s)
paste -d' ' basin-rain.dat <(cut -d' ' -f2 "$series") >hydrograph.dat
read -r peakHour peakDischarge <<<"$(sort -k2,2 -g -r "$series" | head -n 1)"
maxRain=$(sort -k2,2 -g -r basin-rain.dat | head -n 1 | cut -d' ' -f2)
gnuplot -e "data='hydrograph.dat'; out='hydrograph.png'; maxRain=$maxRain" \
  -e "label='Basin $basin ($cells cells), outlet at column $column, row $row'" \
  "$repo/scripts/hydrograph.gp"
peakImage=$(printf 'output/image/%4d_discharge.ppm' "$peakHour")
convert "$peakImage" peak-map.png

day=$(((peakHour - 1) / 24 + 1))
hourOfDay=$(((peakHour - 1) % 24 + 1))
percent=$(awk -v o="$outflowVolume" -v r="$rainVolume" 'BEGIN { printf "%.1f", 100 * o / r }')
cat <<EOF

Sample basin: a 100 x 100 window of 3" cells in the Cumberland Mountains, 2-day design storm.
Largest basin: basin $basin, $cells cells; its outlet is the routed cell at column $column, row $row.
  Peak discharge there: $peakDischarge m3/s in hour $peakHour (day $day, hour $hourOfDay).
Rain on the routed cells of all listed basins:  $rainVolume m3
Outflow at their $outlets outlet cells over the run:   $outflowVolume m3 ($percent % of the rain;
  the difference: the initial flow, water still on the slopes, and the scheme's discretisation
  error, which gains water with one space step per cell; see README.md)
Files written in $run/:
  output/dischargeDaily.bin, dischargeHourlyMaxInDay.bin, dischargeHourly.bin (+ .vrt for GIS)
  output/image/*_discharge.ppm (one map per hour), $series (outlet series)
  console logs: runoff-sim.log, discharge-map.log, discharge-point.log
Pictures:
  $run/hydrograph.png   outlet discharge and basin-mean rainfall
  $run/peak-map.png     discharge map of hour $peakHour
EOF
