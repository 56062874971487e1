#!/usr/bin/env bash
# ./run-tests.sh             builds every program (runoff-sim, discharge-map, discharge-point,
#                            discharge-score, and runoff-sim-mpi, discharge-netcdf and
#                            runoff-calibrate, which the packages below make buildable), the
#                            tests and the benchmarks in Release into build/, runs every C++
#                            test, then the tests of the basin tools and of the documentation
#                            (tests/tools/). About ten minutes on a 2-core machine, and the
#                            first run installs the packages.
# ./run-tests.sh --sanitize  builds the C++ tests into build-asan/ with AddressSanitizer (leaks
#                            included) and UndefinedBehaviorSanitizer and runs them: any report
#                            aborts the program that made it, and so fails its test. The tests
#                            run the real programs, so the sanitized executables are checked on
#                            every end-to-end case too. Then builds the fuzz targets with clang
#                            and runs each once over its seed corpus. As long again; CI runs it
#                            after the plain pass.
# Installs the compiler, CMake, GoogleTest and gdal-bin (the tests open the .vrt outputs with
# gdalinfo) with apt-get when they are missing; for discharge-netcdf, runoff-sim --netcdf and
# their tests also the NetCDF C library, ncdump and Debian's xarray; for runoff-sim-mpi Open MPI
# and the MPI build of the NetCDF library (parallel NetCDF-4 over HDF5's MPI-IO); for
# runoff-calibrate NLopt; for the tools GRASS GIS and Debian's Python GDAL, numpy (also the
# scores' independent check) and netCDF4; for the Python module pybind11, Python's headers,
# pandas, pytest and matplotlib (its example's plot); for the fuzz targets clang and its
# libFuzzer.
set -euo pipefail
cd "$(dirname "$0")"
sanitize=0
case "${1:-}" in
  "") ;;
  --sanitize) sanitize=1 ;;
  *)
    echo "usage: $0 [--sanitize]"
    exit 1
    ;;
esac
source scripts/ensure-packages.sh
ensure_packages g++:g++ cmake:cmake make:make /usr/include/gtest/gtest.h:libgtest-dev \
  gdalinfo:gdal-bin grass:grass-core /usr/lib/python3/dist-packages/osgeo:python3-gdal \
  /usr/lib/python3/dist-packages/numpy:python3-numpy \
  /usr/include/netcdf.h:libnetcdf-dev ncdump:netcdf-bin \
  /usr/lib/python3/dist-packages/xarray:python3-xarray \
  /usr/lib/python3/dist-packages/netCDF4:python3-netcdf4 \
  /usr/lib/x86_64-linux-gnu/openmpi/include/mpi.h:libopenmpi-dev mpirun:openmpi-bin \
  /usr/lib/x86_64-linux-gnu/pkgconfig/netcdf-mpi.pc:libnetcdf-mpi-dev \
  /usr/include/nlopt.h:libnlopt-dev clang++-14:clang-14 \
  /usr/include/pybind11/pybind11.h:pybind11-dev /usr/bin/python3-config:python3-dev \
  /usr/lib/python3/dist-packages/pybind11:python3-pybind11 \
  /usr/lib/python3/dist-packages/pandas:python3-pandas \
  /usr/lib/python3/dist-packages/pytest:python3-pytest \
  /usr/lib/python3/dist-packages/matplotlib:python3-matplotlib \
  /usr/lib/llvm-14/lib/clang/14.0.6/lib/linux/libclang_rt.fuzzer-x86_64.a:libclang-rt-14-dev

jobs=$(nproc 2>/dev/null || echo 2)
if ((sanitize)); then
  export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=1:detect_stack_use_after_return=1
  export UBSAN_OPTIONS=halt_on_error=1:abort_on_error=1:print_stacktrace=1
  # Instrumented code defeats g++'s flow analysis: -Wmaybe-uninitialized then warns about
  # libstdc++'s own <regex> internals, which the plain build compiles cleanly.
  cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRUNOFF_SANITIZE=ON \
    -DRUNOFF_BUILD_TESTS=ON -DRUNOFF_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS=-Wno-maybe-uninitialized
  cmake --build build-asan -j "$jobs"
  ctest --test-dir build-asan --output-on-failure -j "$jobs"
  # The fuzz targets (bench/fuzz), built with clang, AddressSanitizer and libFuzzer and run
  # once over their seed corpora only: seconds of running, so that they keep building and
  # their seeds keep passing.
  bench/fuzz/run.sh --seeds
  exit 0
fi
# Tests and benchmarks on explicitly: ./run-example.sh configures the same folder without them.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DRUNOFF_BUILD_TESTS=ON -DRUNOFF_BUILD_BENCH=ON
cmake --build build -j "$jobs"
# The tools' tests spend most of their time waiting for GRASS and Python to start: they run
# beside the C++ tests, and their report follows ctest's.
tools_log=build/tool-tests.log
tests/tools/run-tool-tests.sh build >"$tools_log" 2>&1 &
tools=$!
ctest_status=0
ctest --test-dir build --output-on-failure -j "$jobs" || ctest_status=$?
tools_status=0
wait "$tools" || tools_status=$?
cat "$tools_log"
((ctest_status == 0 && tools_status == 0))
