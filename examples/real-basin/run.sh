#!/usr/bin/env bash
# The real basin from its raw files to a calibrated model: the West Branch Croton River above
# USGS gauge 01374559 under Hurricane Irene (README.md). In a fresh run directory (this folder
# is never modified) the tools make the working directory from the DEM and the rainfall
# (prepare-basin with the gauge as the outlet and SCS curve numbers, prepare-rain,
# check-basin), then runoff-calibrate fits the model to the gauge's hourly discharge under the
# conservative scheme with the roughness kept in its physical ranges (overland at most 0.8,
# channel at most 0.1), once without and once with the soil and groundwater stores (--soil),
# and the summary gives the scores and parameters of both fits.
# Installs what is missing with apt-get (compiler, CMake, NLopt, GRASS GIS, Debian's Python
# GDAL, numpy and netCDF4, gnuplot). BUILD_DIR (default build) and RUN_DIR (default
# run-real-basin) may be set to other folders; EVALUATIONS (default 400) sets each
# calibration's length.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
example=$repo/examples/real-basin
cd "$repo"
source scripts/ensure-packages.sh
ensure_packages g++:g++ cmake:cmake make:make gnuplot:gnuplot-nox \
  /usr/include/nlopt.h:libnlopt-dev grass:grass-core \
  /usr/lib/python3/dist-packages/osgeo:python3-gdal \
  /usr/lib/python3/dist-packages/numpy:python3-numpy \
  /usr/lib/python3/dist-packages/netCDF4:python3-netcdf4

build=${BUILD_DIR:-build}
run=${RUN_DIR:-run-real-basin}
evaluations=${EVALUATIONS:-400}
jobs=$(nproc 2>/dev/null || echo 2)
quietly() {  # quietly LOG COMMAND...: runs COMMAND, its output shown only when it fails
  local log=$1
  shift
  if ! "$@" >"$log" 2>&1; then
    cat "$log" >&2
    echo "run.sh: '$*' failed" >&2
    exit 1
  fi
}
mkdir -p "$build"
options=(-DCMAKE_BUILD_TYPE=Release)
[[ -f $build/CMakeCache.txt ]] || options+=(-DRUNOFF_BUILD_TESTS=OFF -DRUNOFF_BUILD_BENCH=OFF)
quietly "$build/real-basin-configure.log" cmake -S . -B "$build" "${options[@]}"
quietly "$build/real-basin-build.log" cmake --build "$build" -j "$jobs" \
  --target runoff-sim runoff-calibrate
bin=$(cd "$build" && pwd)
[[ -x $bin/runoff_calibrate/runoff-calibrate ]] || {
  echo "run.sh: runoff-calibrate was not built (NLopt not found?)" >&2
  exit 1
}

rm -rf "$run"
mkdir -p "$run"
run=$(cd "$run" && pwd)
cd "$run"

# The working directory: the gauge as the basin's outlet (snapped to the cell of largest
# accumulation within 2 cells), curve number 70 on every cell as the calibration's start
# (woods on hydrologic soil group C, TR-55), the soil's grids for --soil (a capacity of 150 mm,
# the root zone of a forest on loam; a percolation of 0.3 mm/h from a full soil; a time
# constant of 300 hours), a time step of 300 s (the conservative scheme is implicit), the hourly
# rainfall on its own 0.005-degree grid.
quietly prepare-basin.log "$repo/tools/prepare-basin" "$example/dem.tif" basin \
  --outlet -73.759583 41.470472 --snap 2 --losses scs-cn --curve-number 70 --time-step 300 \
  --soil --soil-capacity 150 --percolation 0.3 --baseflow-time 300
quietly prepare-rain.log "$repo/tools/prepare-rain" "$example/rain.nc" basin
quietly check-basin.log "$repo/tools/check-basin" basin
cp "$example/observed.csv" "$example/gauges.csv" basin/

# Without the soil: the two Manning coefficients in their physical ranges, the flow
# accumulation above which a cell is a channel, a factor on the curve numbers and the initial
# runoff, the only source of flow before the storm.
cat >basin/search-no-soil.csv <<'EOF'
name,min,max,scale
slopeManning,0.05,0.8,log
channelManning,0.02,0.1,log
channelThreshold,5,400,log
curveNumber,0.7,1.4
initialRunoff,0.001,0.2,log
EOF
calibrate() {  # calibrate NAME SEARCH [OPTION...]: a calibration, its files kept in NAME/
  local name=$1 search=$2
  shift 2
  (cd basin && "$bin/runoff_calibrate/runoff-calibrate" --observed observed.csv \
    --gauges gauges.csv --parameters "$search" --evaluations "$evaluations" \
    --scheme conservative "$@") >"calibrate-$name.log" || {
    tail -n 3 "calibrate-$name.log"
    echo "run.sh: the calibration $name failed; its console is in $run/calibrate-$name.log" >&2
    exit 1
  }
  rm -rf "$name"
  mv basin/calibration "$name"
}
calibrate no-soil search-no-soil.csv --losses scs-cn

# With the soil, from the best values without it: the soil keeps what the curve number takes,
# evaporates at a late-August PET of 3.5 mm/day (no temperatures come with the example for
# tools/prepare-pet) and feeds the groundwater. The flow before the storm is the groundwater's:
# the search fits each cell's baseflow at the start (from the observed 0.02 mm/h), and the
# routing starts in the steady state of the observed baseflow (initialRunoff 0.02 mm/h). The
# factors on the three soil grids join the search.
awk 'NR == 4 { $5 = "0.02" } { print }' no-soil/param-ravo-event-ver300.dat \
  >basin/param-ravo-event-ver300.dat
cp no-soil/topoData/curveNumber.bin basin/topoData/
cat >basin/search-soil.csv <<'EOF'
name,min,max,scale
slopeManning,0.05,0.8,log
channelManning,0.02,0.1,log
channelThreshold,5,400,log
curveNumber,0.7,1.4
soilCapacity,0.2,3,log
percolation,0.1,30,log
baseflowTime,0.03,3,log
baselineBaseflow,0.005,0.1,log
EOF
calibrate soil search-soil.csv --losses scs-cn --soil --pet 3.5 --baseflow-start 0.02

# Both fits in one picture: the observed discharge and the best run of each calibration.
gauge=01374559
gnuplot <<EOF >gnuplot.log 2>&1 || echo "run.sh: gnuplot could not draw hydrographs.png (gnuplot.log)"
set terminal pngcairo size 960,540 font ",11"
set output "hydrographs.png"
set title "West Branch Croton River at USGS $gauge, Hurricane Irene: calibrated without and with the soil"
set xlabel "Hour since 2011-08-26T00:00 UTC"
set ylabel "Discharge (m^3/s)"
set logscale y
set yrange [0.1:40]
set key top right
set grid
plot "no-soil/hydrograph-$gauge.dat" using 1:3 with points pt 7 ps 0.5 lc rgb "black" title "Observed", \
     "" using 1:5 with lines lw 2 lc rgb "#1b7837" title "Without the soil", \
     "soil/hydrograph-$gauge.dat" using 1:5 with lines lw 2 lc rgb "#c0392b" title "With the soil"
EOF

# The summary: each calibration's scores and parameters, from its files.
scores() {  # scores NAME: NSE, log-NSE, KGE and PBIAS of the best run
  awk -F, 'NR == 1 { for (i = 1; i <= NF; i++) c[$i] = i }
           $1 == "mean" { printf "%.3f %.3f %.3f %.1f", $c["nse"], $c["log_nse"], $c["kge"],
                          $c["pbias_pct"] }' "$1/scores.csv"
}
parameters() {  # parameters NAME: the best values, one "name value" a line
  sed -n '/^Best:/,/^$/p' "calibrate-$1.log" | awk 'NR > 1 && NF == 2 { printf "  %s %.4g\n", $1, $2 }'
}
read -r nse logNse kge pbias <<<"$(scores no-soil)"
read -r soilNse soilLogNse soilKge soilPbias <<<"$(scores soil)"
cat <<EOF

West Branch Croton River at USGS 01374559 (29 km2), Hurricane Irene, 2011-08-26 to 09-01.
Calibrated by runoff-calibrate, $evaluations evaluations, objective KGE, conservative scheme:
without the soil: KGE $kge, NSE $nse, log-NSE $logNse, PBIAS $pbias %
$(parameters no-soil)
with the soil (--soil --pet 3.5, from the best values without it): KGE $soilKge, NSE $soilNse, log-NSE $soilLogNse, PBIAS $soilPbias %
$(parameters soil)
Files in $run/:
  basin/                  the working directory the tools made
  no-soil/                the calibration: parameter file, curve numbers, trace, scores,
                          hydrograph-01374559.png
  soil/                   the same with the soil, its grids and options.txt (runoff-sim's
                          options for the best run)
  hydrographs.png         the observed discharge and both best runs (log scale)
  *.log                   the tools' and the calibrations' console
EOF
