#!/usr/bin/env bash
# Configures and builds Tempomere into ./build (or $BUILD_DIR), with warnings as errors.
#   scripts/build.sh           the program, its tools, the test programs and the benchmarks
#   scripts/build.sh program   the program and what it installs with, nothing for the tests
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
what=${1:-all}

args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DTEMPOMERE_WERROR=ON)
targets=()
if [ "$what" = program ]; then
  # A build folder that already has the tests keeps them; a new one is made without them, so the
  # program builds where GoogleTest is not installed.
  [ -f "$build_dir/CMakeCache.txt" ] || args+=(-DTEMPOMERE_TESTS=OFF)
  targets=(--target tempomere tempomere-query helpfile desktopfiles)
else
  args+=(-DTEMPOMERE_TESTS=ON)
fi

echo "== Configuring the build in $build_dir"
cmake -S . -B "$build_dir" "${args[@]}" >/dev/null
if [ "$what" = program ]; then
  echo "== Building the program"
else
  echo "== Building the program, its tests and benchmarks"
fi
cmake --build "$build_dir" -j"$(nproc)" "${targets[@]}"
