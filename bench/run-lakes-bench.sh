#!/usr/bin/env bash
# Lakes benchmark: runoff-sim on the bench basin (examples/bench-basin: 403 x 344 cells, 2 days
# at 60 s) without lakes and with ten lakes, one at the outlet of each of the ten largest
# basins (weir, linear and releases rules in turn, with a release series), on THREADS threads
# (default 1). The runs alternate, so that a busy spell of the shared machine does not fall on
# one of them alone; the best of RUNS (default 5) processor times and wall times of each is
# reported with their ratio, and the load of the machine before and after.
#
# Usage: bench/run-lakes-bench.sh   (a Release build in BUILD_DIR, default build; KEEP=1 keeps
# the scratch folder)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${BUILD_DIR:-$root/build}" && pwd)
runs=${RUNS:-5}
threads=${THREADS:-1}
sim=$build/runoff_sim/runoff-sim
[[ -x $sim ]] || { echo "$sim is missing: build runoff-sim in Release first" >&2; exit 1; }

scratch=$(mktemp -d)
[[ ${KEEP:-0} == 1 ]] || trap 'rm -rf "$scratch"' EXIT
cp -r "$root/examples/bench-basin/." "$scratch/"
mkdir -p "$scratch/temp" "$scratch/output"
cd "$scratch"

# Ten lakes at the outlets of basins 1 to 10 (riverNumList.dat: its 7th and 8th fields), each
# placed on the routed cell of largest flow accumulation within two cells.
awk 'BEGIN { print "name,lon,lat,area,rule,a,b,start" }
     NR <= 10 { rule = (NR % 3 == 1) ? "weir,40,1.5" : (NR % 3 == 2) ? "linear,12," : "releases,2,";
                printf "Lake%d,%s,%s,%.1f,%s,0.2\n", NR, $7, $8, 0.5 + NR / 4, rule }' \
  topoData/riverNumList.dat >lakes.csv
printf 'time,lake,outflow\n2000-07-01T06:00:00,Lake3,1.1\n2000-07-02T00:00:00,Lake3,13\n' \
  >releases.csv
with=(--lakes lakes.csv --releases releases.csv)

# One run: its processor and wall seconds.
run() {
  /usr/bin/time -f '%U %S %e' -o time.log env OMP_NUM_THREADS="$threads" "$sim" "$@" >run.log
  awk '{ printf "%.2f %.2f\n", $1 + $2, $3 }' time.log
}

echo "Bench basin, 2 days at 60 s, $threads thread(s), best of $runs; load: $(uptime)"
"$sim" "${with[@]}" | grep '^Lake' | sed 's/^/  /'
best_cpu=(999999 999999) best_wall=(999999 999999)
for ((r = 1; r <= runs; ++r)); do
  for k in 0 1; do
    if [[ $k == 0 ]]; then read -r cpu wall < <(run); else read -r cpu wall < <(run "${with[@]}"); fi
    best_cpu[k]=$(awk -v a="$cpu" -v b="${best_cpu[k]}" 'BEGIN { print (a < b) ? a : b }')
    best_wall[k]=$(awk -v a="$wall" -v b="${best_wall[k]}" 'BEGIN { print (a < b) ? a : b }')
  done
done
echo "  without lakes: processor ${best_cpu[0]} s, wall ${best_wall[0]} s"
echo "  ten lakes:     processor ${best_cpu[1]} s, wall ${best_wall[1]} s"
awk -v a="${best_cpu[1]}" -v b="${best_cpu[0]}" -v c="${best_wall[1]}" -v d="${best_wall[0]}" \
  'BEGIN { printf "  ratio:         processor %.3f, wall %.3f\n", a / b, c / d }'
echo "Load after: $(uptime)"
