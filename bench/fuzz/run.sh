#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer and runs each for a bounded time.
#   bench/fuzz/run.sh [seconds-per-target] [target...]
#   bench/fuzz/run.sh --seeds [target...]
# Each target starts from its seed corpus in bench/fuzz/corpus/<target>/ (never written to);
# the inputs it discovers go to the build directory. With --seeds each target runs its seed
# corpus once and nothing more (seconds in all: ./run-tests.sh runs it so that the targets
# keep building and their seeds keep passing). Prints the executions run per target and
# exits with status 1 when any target found a crash, leak, hang or sanitizer report; the
# input that caused it is kept under <build>/artifacts/.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
source "$root/scripts/ensure-packages.sh"
ensure_packages clang++-14:clang-14 /usr/lib/llvm-14/lib/clang/14.0.6/lib/linux/libclang_rt.fuzzer-x86_64.a:libclang-rt-14-dev cmake:cmake make:make

seedsOnly=0
if [[ ${1:-} == --seeds ]]; then
  seedsOnly=1
  shift
  seconds=0
else
  seconds=${1:-60}
  shift || true
fi
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
cxx=$(command -v clang++-14 || command -v clang++)

mkdir -p "$build"
# The build speaks only when it fails: then its last lines say why.
if ! { cmake -S "$here" -B "$build" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
  cmake --build "$build" -j 2; } >"$build/build.log" 2>&1; then
  tail -n 30 "$build/build.log"
  echo "run.sh: the fuzz targets do not build (all of it in $build/build.log)."
  exit 1
fi

targets=("$@")
if ((${#targets[@]} == 0)); then
  for src in "$here"/*_fuzz.cpp; do targets+=("$(basename "$src" .cpp)"); done
fi

failed=0
mkdir -p "$build/artifacts"
printf '%-22s %12s %8s  %s\n' target executions seconds result
for target in "${targets[@]}"; do
  name=${target%_fuzz}
  work="$build/corpus/$name"
  mkdir -p "$work"
  log="$build/$name.log"
  status=0
  # halt_on_error and a 10 s per-input limit: any report or hang ends the run as a finding.
  if ((seedsOnly)); then
    # -runs=0: the seed corpus is read and run, then the target stops without mutating.
    limits=(-runs=0)
    corpora=("$here/corpus/$name")
  else
    limits=(-max_total_time="$seconds")
    corpora=("$work" "$here/corpus/$name")
  fi
  ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=1 \
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "$build/$target" "${limits[@]}" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
    -print_final_stats=1 -artifact_prefix="$build/artifacts/$name-" \
    "${corpora[@]}" >"$log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  secs=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -n 1)
  result=clean
  if ((status != 0)); then
    result="FINDING (see $log)"
    failed=1
  fi
  printf '%-22s %12s %8s  %s\n' "$name" "${runs:-?}" "${secs:-?}" "$result"
done
exit "$failed"
