#!/usr/bin/env bash
# Builds runoff-sim and discharge-netcdf in Release, runs the simulator on the bench basin
# (examples/bench-basin: 403 x 344 cells, 2 days) in a scratch folder, then times
# discharge-netcdf there and reports the NetCDF file's size beside the raw grids' and the
# converter's peak memory.
#
# With SYNTHETIC_DAYS=N it also converts a million-cell run of N days: the bench basin's own
# hourly grids tiled 3 x 3 (1209 x 1032 cells) and repeated day after day, so the values
# compress as real output does. It shows that memory stays bounded and how the time grows with
# the length of the run (each day takes 125 MB of raw grids on disk; a year takes about 365 / N
# times the time of N days).
#
# Environment: BUILD_DIR (default build), RUNS (default 3: the best of them is reported),
# SYNTHETIC_DAYS (default 0: none), KEEP=1 keeps the scratch folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
runs=${RUNS:-3}
synthetic=${SYNTHETIC_DAYS:-0}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DRUNOFF_SANITIZE=OFF >/dev/null
cmake --build "$build" -j "${JOBS:-2}" --target runoff-sim discharge-netcdf >/dev/null
sim=$build/runoff_sim/runoff-sim
convert=$build/discharge_netcdf/discharge-netcdf

scratch=$(mktemp -d)
[[ ${KEEP:-0} == 1 ]] || trap 'rm -rf "$scratch"' EXIT

mib() { awk -v b="$1" 'BEGIN { printf "%.2f MiB", b / 1048576 }'; }

# Converts the run whose output folder is $1 RUNS times; prints the best wall time and the
# peak resident memory of that run, then the sizes.
measure() {
  local out=$1 best="" line seconds kib
  for ((run = 1; run <= runs; ++run)); do
    rm -f "$out/discharge.nc"
    line=$(cd "$out" && /usr/bin/time -f '%e %M' "$convert" 2>&1 >/dev/null | tail -n 1)
    read -r seconds kib <<<"$line"
    if [[ -z $best ]] || awk -v a="$seconds" -v b="${best%% *}" 'BEGIN { exit !(a < b) }'; then
      best="$seconds $kib"
    fi
  done
  read -r seconds kib <<<"$best"
  local raw=0 f
  for f in dischargeDaily.bin dischargeHourlyMaxInDay.bin dischargeHourly.bin; do
    raw=$((raw + $(stat -c %s "$out/$f")))
  done
  local nc
  nc=$(stat -c %s "$out/discharge.nc")
  echo "  conversion:   $seconds s (best of $runs), peak memory $((kib / 1024)) MiB"
  echo "  raw grids:    $(mib "$raw") (three .bin files)"
  echo "  discharge.nc: $(mib "$nc") ($(awk -v n="$nc" -v r="$raw" \
    'BEGIN { printf "%.1f", 100 * n / r }') % of the raw grids)"
  ncdump -hs "$out/discharge.nc" | grep -E 'discharge:_ChunkSizes' | sed 's/^\s*/  chunks:       /'
}

echo "== bench basin (examples/bench-basin)"
cp -r "$root/examples/bench-basin/." "$scratch/"
mkdir -p "$scratch/temp" "$scratch/output"
start=$(date +%s.%N)
(cd "$scratch" && "$sim" >runoff-sim.log)
echo "  runoff-sim:   $(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }') s"
measure "$scratch/output"

if ((synthetic > 0)); then
  echo "== synthetic run: the bench basin's grids tiled 3 x 3, $synthetic days"
  big=$scratch/synthetic
  mkdir -p "$big/output" "$big/input"
  awk -v days="$synthetic" 'NR == 1 { $2 = 1209; $3 = 1032 } NR == 3 { $1 = days } { print }' \
    "$scratch/param-ravo-event-ver300.dat" >"$big/param-ravo-event-ver300.dat"
  cp "$scratch/input/rain.dat" "$big/input/rain.dat"
  /usr/bin/python3 - "$scratch/output" "$big/output" "$synthetic" <<'EOF'
import sys
import numpy as np
source, target, days = sys.argv[1], sys.argv[2], int(sys.argv[3])
rows, cols = 344, 403
for name, per_day in (("dischargeDaily.bin", 1), ("dischargeHourlyMaxInDay.bin", 1),
                      ("dischargeHourly.bin", 24)):
    grids = np.fromfile(f"{source}/{name}", "<f4").reshape(-1, rows, cols)
    with open(f"{target}/{name}", "wb") as out:
        for k in range(days * per_day):
            np.tile(grids[k % len(grids)], (3, 3)).astype("<f4").tofile(out)
EOF
  runs=1 measure "$big/output"
fi
