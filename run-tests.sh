#!/usr/bin/env bash
# Builds the three programs and the tests in Release and runs every test.
# Installs the compiler, CMake, GoogleTest and gdal-bin (the tests open the .vrt outputs with
# gdalinfo) with apt-get when they are missing.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure-packages.sh
ensure_packages g++:g++ cmake:cmake make:make /usr/include/gtest/gtest.h:libgtest-dev \
  gdalinfo:gdal-bin

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"
