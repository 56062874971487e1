#!/usr/bin/env bash
# Builds the programs in Release and runs the whole chain on the bundled example basin in a
# fresh run directory (the example folder itself is never modified): runoff-sim with its water
# budget, discharge-map with the automatic range, discharge-point at the outlet of the largest
# basin; runs runoff-sim and discharge-point again with the conservative scheme in a copy
# (conservative/), and once more with the conservative scheme and SCS curve-number losses
# (curve number 75 on every cell) in another (losses/); then draws, with gnuplot, the
# hydrograph under both schemes, the hydrograph without and with losses, and a map of the peak
# hour (discharge-map's image of that hour with a title, a colour bar in m3/s and a scale bar),
# and prints a short summary.
# Installs the compiler, CMake and gnuplot with apt-get when they are missing.
# BUILD_DIR (default build) and RUN_DIR (default run-example) may be set to other folders;
# RUNOFF_CMAKE_ARGS adds options to the configure step.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure-packages.sh
ensure_packages g++:g++ cmake:cmake make:make gnuplot:gnuplot-nox

build=${BUILD_DIR:-build}
run=${RUN_DIR:-run-example}
example=examples/sample-basin

# Only runoff-sim, discharge-map and discharge-point: the tests and benchmarks (and GoogleTest)
# stay out of this build, so the example runs on a fresh machine before anything else. A failed
# configure or build shows its own output.
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
# A fresh folder leaves the tests and benchmarks out; one configured before (by run-tests.sh)
# keeps its settings, so that the two scripts can share it.
options=(-DCMAKE_BUILD_TYPE=Release)
[[ -f $build/CMakeCache.txt ]] || options+=(-DRUNOFF_BUILD_TESTS=OFF -DRUNOFF_BUILD_BENCH=OFF)
# shellcheck disable=SC2086  # RUNOFF_CMAKE_ARGS holds whole options, split on blanks
quietly "$build/example-configure.log" cmake -S . -B "$build" "${options[@]}" \
  ${RUNOFF_CMAKE_ARGS:-}
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

step() {  # step NAME DIR ANSWERS PROGRAM [ARGUMENT...]: runs a program in DIR with ANSWERS on
  # its standard input, its console kept in NAME.log
  local name=$1 dir=$2 answers=$3 log=$PWD/$1.log
  shift 3
  if ! (cd "$dir" && printf '%b' "$answers" | "$@" >"$log"); then
    tail -n 5 "$name.log"
    echo "$name failed; its console output is in $run/$name.log" >&2
    exit 1
  fi
}

# The same basin under the conservative scheme, in a copy of the inputs; and again with
# losses, curve number 75 on every cell: float32 75 is the bytes 00 00 96 42.
mkdir -p conservative/temp conservative/output losses/temp losses/output
cp -r param-ravo-event-ver300.dat topoData input conservative/
cp -r param-ravo-event-ver300.dat topoData input losses/
read -r _ gridCols gridRows _ <<<"$(tr -s ' \t\r\n' ' ' <param-ravo-event-ver300.dat)"
printf '\000\000\226\102%.0s' $(seq $((gridCols * gridRows))) >losses/topoData/curveNumber.bin

step runoff-sim . '' "$bin/runoff_sim/runoff-sim" --budget
step discharge-map output 'n\n' "$bin/discharge_map/discharge-map"
step conservative/runoff-sim conservative '' "$bin/runoff_sim/runoff-sim" --budget \
  --scheme conservative
step losses/runoff-sim losses '' "$bin/runoff_sim/runoff-sim" --budget --scheme conservative \
  --losses scs-cn

# Outlet of the largest basin, basin-mean rainfall, water budget.
le() { od -An -v -w4 --endian=little "$@"; }
summary=$(awk -f "$repo/scripts/example-summary.awk" -v rainOut=basin-rain.dat \
  part=params param-ravo-event-ver300.dat part=rivers topoData/riverNumList.dat \
  part=basin <(le -td4 topoData/riverNum.bin) part=dir <(le -td4 topoData/flowDir.bin) \
  part=acc <(le -td4 topoData/flowAcc.bin) part=map temp/setROFCell.dat \
  part=rain input/rain.dat part=flow <(le -tf4 output/dischargeHourly.bin))
read -r _ column row basin cells <<<"$(grep '^gauge' <<<"$summary")"
read -r _ _ _ outlets <<<"$(grep '^volumes' <<<"$summary")"
# The totals of the two water budgets: rain, inflow, outflow, storage start and end, error, %.
read -r _ rainVolume _ outflowVolume _ _ _ errorPercent <<<"$(grep '^  total' runoff-sim.log)"
read -r _ _ _ outflowConservative _ _ _ errorConservative \
  <<<"$(grep '^  total' conservative/runoff-sim.log)"

step discharge-point output "$column\n$row\n" "$bin/discharge_point/discharge-point"
step conservative/discharge-point conservative/output "$column\n$row\n" \
  "$bin/discharge_point/discharge-point"
step losses/discharge-point losses/output "$column\n$row\n" "$bin/discharge_point/discharge-point"
series="output/$column-${row}_discharge.dat"

# hour, basin-mean rainfall (mm/h), outlet discharge (m3/s) under the classic and the
# conservative scheme
paste -d' ' basin-rain.dat <(cut -d' ' -f2 "$series") <(cut -d' ' -f2 "conservative/$series") \
  >hydrograph.dat
read -r peakHour peakDischarge <<<"$(sort -k2,2 -g -r "$series" | head -n 1)"
maxRain=$(sort -k2,2 -g -r basin-rain.dat | head -n 1 | cut -d' ' -f2)
gnuplot -e "data='hydrograph.dat'; out='hydrograph.png'; maxRain=$maxRain" \
  -e "label='Basin $basin ($cells cells), outlet at column $column, row $row'" \
  "$repo/scripts/hydrograph.gp"

# The peak hour's map: discharge-map's image of that hour, its colour range from its log, the
# grid's corner and cell size from the parameter file (values 1 to 5).
day=$(((peakHour - 1) / 24 + 1))
hourOfDay=$(((peakHour - 1) % 24 + 1))
clock=$(printf '%02d:00-%02d:00' $((hourOfDay - 1)) "$hourOfDay")  # hour 1 is 00:00-01:00
peakImage=$(printf 'output/image/%4d_discharge.ppm' "$peakHour")
read -r _ width height _ <<<"$(head -n 3 "$peakImage" | tr '\n' ' ')"
headerBytes=$(head -n 3 "$peakImage" | wc -c)
read -r qmax qmin <<<"$(sed -n 's/^Maximun discharge = \(.*\) Minimum discharge = \(.*\)$/\1 \2/p' \
  discharge-map.log)"
read -r scale cols rows swLon swLat _ <<<"$(tr -s ' \t\r\n' ' ' <param-ravo-event-ver300.dat)"
gnuplot -e "image='$peakImage'; skip=$headerBytes; width=$width; height=$height" \
  -e "cols=$cols; rows=$rows; scale=$scale; swLon=$swLon; swLat=$swLat; qmin=$qmin; qmax=$qmax" \
  -e "gaugeCol=$column; gaugeRow=$row; gaugeText='outlet of basin $basin'; out='peak-map.png'" \
  -e "label='Discharge, hour $peakHour (day $day, $clock)'" \
  "$repo/scripts/peak-map.gp"

# Without and with losses (both conservative): the largest basin's rain, loss and outflow
# from its line of the budget, its runoff coefficient (outflow / rain over the run), and the
# totals' loss and error.
basinBudget() {  # basinBudget LOG: the largest basin's budget line
  awk -v b="$basin" '/^Water budget/ { on = 1; next } on && $1 == b' "$1"
}
read -r _ basinRain _ basinOutflow _ <<<"$(basinBudget conservative/runoff-sim.log)"
read -r _ lossRain basinLoss _ lossOutflow _ <<<"$(basinBudget losses/runoff-sim.log)"
read -r _ _ lossVolume _ lossOutflowVolume _ _ _ errorLosses \
  <<<"$(grep '^  total' losses/runoff-sim.log)"
coefficient() { awk -v o="$1" -v r="$2" 'BEGIN { printf "%.2f", o / r }'; }
withoutLosses=$(coefficient "$basinOutflow" "$basinRain")
withLosses=$(coefficient "$lossOutflow" "$lossRain")
paste -d' ' basin-rain.dat <(cut -d' ' -f2 "conservative/$series") \
  <(cut -d' ' -f2 "losses/$series") >losses-hydrograph.dat
gnuplot -e "data='losses-hydrograph.dat'; out='losses-hydrograph.png'; maxRain=$maxRain" \
  -e "label='Basin $basin ($cells cells), outlet at column $column, row $row, conservative scheme'" \
  -e "without=$withoutLosses; with=$withLosses" "$repo/scripts/losses-hydrograph.gp"

percent() { awk -v o="$1" -v r="$rainVolume" 'BEGIN { printf "%.1f", 100 * o / r }'; }
cat <<EOF

Sample basin: a 100 x 100 window of 3" cells in the Cumberland Mountains, 2-day design storm.
Largest basin: basin $basin, $cells cells; its outlet is the routed cell at column $column, row $row.
  Peak discharge there: $peakDischarge m3/s in hour $peakHour (day $day, $clock).
Rain on the routed cells of all listed basins:  $rainVolume m3
Outflow at their $outlets outlet cells over the run, and the water budget's closure error
(rain + storage at the start - outflow - storage at the end, runoff-sim --budget):
  classic scheme:      $outflowVolume m3 ($(percent "$outflowVolume") % of the rain), error $errorPercent % of the rain
  conservative scheme: $outflowConservative m3 ($(percent "$outflowConservative") % of the rain), error $errorConservative % of the rain
  (the classic scheme's discretisation gains water with one space step per cell; see docs/schemes.md)
With SCS curve-number losses, curve number 75 (conservative scheme, runoff-sim --losses scs-cn):
  loss $lossVolume m3 ($(percent "$lossVolume") % of the rain), outflow $lossOutflowVolume m3 ($(percent "$lossOutflowVolume") % of the rain), error $errorLosses % of the rain
  runoff coefficient of basin $basin (outflow / rain): $withoutLosses without losses, $withLosses with them
Files written in $run/:
  output/dischargeDaily.bin, dischargeHourlyMaxInDay.bin, dischargeHourly.bin (+ .vrt for GIS)
  output/image/*_discharge.ppm (one map per hour), $series (outlet series)
  console logs: runoff-sim.log, discharge-map.log, discharge-point.log
  conservative/: the conservative scheme's run, its outlet series and console logs
  losses/: the conservative scheme's run with curve number 75, its outlet series and logs
Pictures:
  $run/hydrograph.png   outlet discharge under both schemes and basin-mean rainfall
  $run/peak-map.png     discharge map of hour $peakHour, with its colour scale in m3/s
  $run/losses-hydrograph.png   outlet discharge without losses and with curve number 75
EOF
