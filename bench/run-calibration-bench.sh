#!/usr/bin/env bash
# Calibration benchmark on the bundled example (2 days at 60 s steps): the twin experiment's
# observed discharge at the outlet of basin 2 is made by runoff-sim with slopeManning 0.2 and
# channelManning 0.05, and then
#   1. runoff-calibrate evaluates EVALUATIONS candidates on 1 and on 2 threads (evaluations
#      per second, from its own console line, and the CPU seconds);
#   2. the same candidates (read from its trace) are run as a black box would run them: one
#      runoff-sim process per candidate, its parameter file rewritten each time, on 1 and on 2
#      threads (runoff-sim alone: extracting and scoring the series would cost more);
#   3. the twin experiment itself: 300 evaluations on 2 threads from the file's values (0.4,
#      0.03) in a box of a factor of 4 around the true ones, with its wall time, best KGE and
#      the parameters found;
#   4. the twin experiment with losses: the observed discharge made with the SCS curve number
#      81.25 on every cell (--losses scs-cn), the calibration started from 65 with the curve
#      number's factor searched in a box of a factor of 4 around the true 1.25;
#   5. where perf is installed, the share of one thread's evaluation time in pow, in the rest
#      of the routing kernel and elsewhere.
# Usage: bench/run-calibration-bench.sh [EVALUATIONS]   (default 40; a Release build in
# BUILD_DIR, default build, with discharge-netcdf; TRACE_DIR, when set, receives the twin
# experiments' traces; POWER=fast calibrates with --power fast; RATE_ONLY=1 stops after the
# evaluations per second of runoff-calibrate, step 1)
set -euo pipefail
cd "$(dirname "$0")/.."
evaluations=${1:-40}
build=$(cd "${BUILD_DIR:-build}" && pwd)
sim=$build/runoff_sim/runoff-sim
calibrate=$build/runoff_calibrate/runoff-calibrate
netcdf=$build/discharge_netcdf/discharge-netcdf
for program in "$sim" "$calibrate" "$netcdf"; do
  [[ -x $program ]] || { echo "$program is missing: build in Release first" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r examples/sample-basin/. "$work/"
mkdir -p "$work/temp" "$work/output"
cd "$work"

# set_values FIELD=VALUE...: the parameter file's whitespace-separated values, counted from 1.
set_values() {
  awk -v settings="$*" 'BEGIN { n = split(settings, s, " ");
                               for (i = 1; i <= n; i++) { split(s[i], kv, "="); v[kv[1]] = kv[2] } }
                        { for (i = 1; i <= NF; i++) { k++; if (k in v) $i = v[k] } print }' \
    param-ravo-event-ver300.dat >param.tmp && mv param.tmp param-ravo-event-ver300.dat
}
seconds() { awk '/^elapsed/ { print $2 }' "$1"; }
cpu() { awk '/^cpu/ { print $2 }' "$1"; }
timed() {  # timed LOG OUT COMMAND...: COMMAND's output into OUT, its wall and CPU seconds
  local log=$1 out=$2
  shift 2
  /usr/bin/time -f 'elapsed %e\ncpu %U %S' -o "$log" "$@" >"$out"
  awk '/^cpu/ { $2 = $2 + $3; NF = 2 } 1' "$log" >"$log.tmp" && mv "$log.tmp" "$log"
}

printf 'name,lon,lat\nOutlet,-84.2591666666667,36.635\n' >gauges.csv
printf 'name,min,max,scale\nslopeManning,0.1,0.4,log\nchannelManning,0.025,0.1,log\n' \
  >search.csv
cp param-ravo-event-ver300.dat param.original
set_values 16=0.2 17=0.05
"$sim" >/dev/null
(cd output && "$netcdf" --gauges ../gauges.csv >/dev/null && mv gauges.csv ../observed.csv)
cp param.original param-ravo-event-ver300.dat
args=(--observed observed.csv --gauges gauges.csv --parameters search.csv)
if [[ -n ${POWER:-} ]]; then args+=(--power "$POWER"); fi

echo "Example basin, 2 days at 60 s, gauge at the outlet of basin 2; $evaluations candidates"
declare -A rate
for threads in 1 2; do
  timed "cpu-$threads.log" "calibrate-$threads.log" env OMP_NUM_THREADS=$threads \
    "$calibrate" "${args[@]}" --evaluations "$evaluations"
  rate[calibrate$threads]=$(sed -n 's/^Evaluations: .*, \([0-9.]*\) per second$/\1/p' \
    "calibrate-$threads.log")
  grep -E '^(Routed cells|Time per evaluation)' "calibrate-$threads.log" | sed 's/^/  /'
  echo "  runoff-calibrate, $threads thread(s): ${rate[calibrate$threads]} evaluations/s," \
    "$(cpu "cpu-$threads.log") CPU s for $evaluations evaluations"
done
cp calibration/trace.csv candidates.csv
if [[ -n ${RATE_ONLY:-} ]]; then exit 0; fi

for threads in 1 2; do
  start=$(date +%s.%N)
  total_cpu=0
  while IFS=, read -r _ slope channel _; do
    set_values 16="$slope" 17="$channel"
    timed one.log /dev/null env OMP_NUM_THREADS=$threads "$sim"
    total_cpu=$(awk -v a="$total_cpu" -v b="$(cpu one.log)" 'BEGIN { print a + b }')
  done < <(tail -n +2 candidates.csv)
  wall=$(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { print e - s }')
  rate[sim$threads]=$(awk -v n="$evaluations" -v w="$wall" 'BEGIN { printf "%.2f", n / w }')
  echo "  runoff-sim per candidate, $threads thread(s): ${rate[sim$threads]} evaluations/s," \
    "$total_cpu CPU s"
  cp param.original param-ravo-event-ver300.dat
done
awk -v c1="${rate[calibrate1]}" -v c2="${rate[calibrate2]}" -v s1="${rate[sim1]}" \
  -v s2="${rate[sim2]}" 'BEGIN {
    printf "  runoff-calibrate over runoff-sim: %.2f x on 1 thread, %.2f x on 2 threads\n",
           c1 / s1, c2 / s2
    printf "  runoff-calibrate, 2 threads over 1: %.2f x\n", c2 / c1 }'

echo "Twin experiment: 300 evaluations on 2 threads"
timed twin.log twin-console.log env OMP_NUM_THREADS=2 "$calibrate" "${args[@]}" \
  --evaluations 300
grep -E '^(Best|  slopeManning|  channelManning|Evaluations)' twin-console.log | sed 's/^/  /'
echo "  wall $(seconds twin.log) s, CPU $(cpu twin.log) s (true values 0.2 and 0.05)"
if [[ -n ${TRACE_DIR:-} ]]; then cp calibration/trace.csv "$TRACE_DIR/twin-trace.csv"; fi

echo "Twin experiment with the curve number: 300 evaluations on 2 threads, --losses scs-cn"
curve_numbers() { perl -e 'print pack("f<*", ($ARGV[0]) x $ARGV[1])' "$1" 10000 >topoData/curveNumber.bin; }
curve_numbers 81.25
set_values 16=0.2 17=0.05
"$sim" --losses scs-cn >/dev/null
(cd output && "$netcdf" --gauges ../gauges.csv >/dev/null && mv gauges.csv ../observed-cn.csv)
cp param.original param-ravo-event-ver300.dat
curve_numbers 65
printf 'curveNumber,0.625,2.5,log\n' >>search.csv
timed twin-cn.log twin-cn-console.log env OMP_NUM_THREADS=2 "$calibrate" --observed observed-cn.csv \
  --gauges gauges.csv --parameters search.csv --losses scs-cn --evaluations 300
grep -E '^(Best|  slopeManning|  channelManning|  curveNumber|Evaluations)' twin-cn-console.log |
  sed 's/^/  /'
echo "  wall $(seconds twin-cn.log) s, CPU $(cpu twin-cn.log) s (true values 0.2, 0.05 and 1.25)"
if [[ -n ${TRACE_DIR:-} ]]; then cp calibration/trace.csv "$TRACE_DIR/twin-cn-trace.csv"; fi
rm topoData/curveNumber.bin
sed -i '$d' search.csv

if command -v perf >/dev/null 2>&1 &&
  OMP_NUM_THREADS=1 perf record -q -o perf.data "$calibrate" "${args[@]}" --evaluations 12 \
    >/dev/null 2>&1; then
  echo "Where one thread's time goes (perf, 12 evaluations and the set-up):"
  perf report -i perf.data --no-children --sort symbol --stdio 2>/dev/null |
    awk '/%/ && !/^#/ { share = $1 + 0; name = $0; sub(/^[^]]*] /, "", name)
                        if (name ~ /pow/) pow += share
                        else if (name ~ /routeHours|stepKinematic|routeBatch|lateralInflow/) kernel += share
                        else if (name ~ /WindowRouter|Scheduler|take|finish/) router += share
                        else if (name ~ /score|pair|mean|nash|Peak/) score += share
                        else other += share }
         END { printf "  pow %.1f %%, the rest of the kernel %.1f %%, the router'"'"'s bookkeeping %.1f %%,", pow, kernel, router
               printf " scoring %.1f %%, everything else (set-up, files, system) %.1f %%\n", score, other }'
fi
