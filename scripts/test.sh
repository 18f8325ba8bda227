#!/usr/bin/env bash
# Installs what is missing, builds once, runs the whole test suite three times (as the machine
# is, under a German locale in New York's zone, and in a zone half an hour off the hour), then
# runs the fuzz targets for a bounded number of inputs, then cross-builds for Windows with
# mingw-w64 (the platform, the time query and the query tool) and runs its tests under Wine.
# Every run is reported; the command fails when any of them failed.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
fuzz_dir=${FUZZ_BUILD_DIR:-build-fuzz}
windows_dir=${WINDOWS_BUILD_DIR:-build-win64}
jobs=$(nproc)

phase_start=0
declare -a summary=()
failed=0

begin() {
  phase_start=$SECONDS
  echo
  echo "=== $1"
}

# Notes the phase's time and outcome for the closing summary.
end() {
  local outcome=$1 what=$2
  local took=$((SECONDS - phase_start))
  summary+=("$(printf '%-46s %-6s %4dm %02ds' "$what" "$outcome" $((took / 60)) $((took % 60)))")
  [ "$outcome" = passed ] || [ "$outcome" = skipped ] || failed=1
}

begin "Building (dependencies, the program and its tests)"
BUILD_DIR=$build_dir scripts/install-deps.sh --tests
BUILD_DIR=$build_dir scripts/build.sh
end passed "building"

# The fuzz targets are built apart: a failure there is reported, and the suites still run.
fuzzing=no
clang=$(command -v clang++ || true)
begin "Building the fuzz targets"
if [ -z "$clang" ]; then
  echo "Note: clang++ is not installed, so the fuzz targets are neither built nor run."
  end skipped "building the fuzz targets"
elif echo "Building the fuzz targets with $clang into $fuzz_dir" &&
  cmake -S . -B "$fuzz_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER="$clang" \
    -DTEMPOMERE_FUZZ=ON -DTEMPOMERE_WERROR=ON >/dev/null &&
  cmake --build "$fuzz_dir" -j"$jobs" --target SntpReplyFuzz SettingsFileFuzz NtsRecordsFuzz; then
  fuzzing=yes
  end passed "building the fuzz targets"
else
  fuzzing=failed
  end FAILED "building the fuzz targets"
fi

# One run of the whole suite in the given environment.
suite() {
  local n=$1 what=$2
  shift 2
  begin "Run $n of 3: the whole suite $what"
  if (cd "$build_dir" && env "$@" ctest --output-on-failure -j"$jobs" --timeout 300); then
    end passed "run $n of 3 ($what)"
  else
    end FAILED "run $n of 3 ($what)"
  fi
}

suite 1 "as the machine is"
suite 2 "TZ=America/New_York, de_DE.UTF-8" \
  TZ=America/New_York LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8
suite 3 "TZ=Australia/Adelaide" TZ=Australia/Adelaide

if [ "$fuzzing" = yes ]; then
  begin "Fuzzing: each target for a bounded number of inputs"
  if (cd "$fuzz_dir" && ctest -L fuzz --output-on-failure -j"$jobs"); then
    end passed "fuzzing"
  else
    end FAILED "fuzzing"
  fi
else
  begin "Fuzzing"
  echo "Note: skipped, the fuzz targets were not built (see above)."
  end skipped "fuzzing"
fi

# The Windows build: the platform, the time query and the query tool, built with mingw-w64 for
# 64-bit Windows and tested under Wine, which the tests' CTest fixtures start (one quiet
# wineserver) and stop.
cross=$(command -v x86_64-w64-mingw32-g++-posix || true)
wine=$(command -v wine64 || command -v wine || true)
[ -z "$wine" ] && [ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64
# The query tool's loopback test under Wine asks the chronyd unpacked for the Linux tests.
chronyd="$build_dir/chrony/usr/sbin/chronyd"
case $chronyd in /*) ;; *) chronyd="$PWD/$chronyd" ;; esac
if [ -n "$cross" ] && [ -n "$wine" ]; then
  begin "Windows: cross build with mingw-w64 into $windows_dir, its tests under Wine"
  if cmake -S . -B "$windows_dir" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTEMPOMERE_WERROR=ON \
    -DTEMPOMERE_CHRONYD="$chronyd" >/dev/null &&
    cmake --build "$windows_dir" -j"$jobs" &&
    (cd "$windows_dir" && ctest --output-on-failure --timeout 900); then
    end passed "windows (mingw-w64 build, tests under Wine)"
  else
    end FAILED "windows (mingw-w64 build, tests under Wine)"
  fi
else
  begin "Windows"
  echo "Note: skipped, the mingw-w64 cross compiler (g++-mingw-w64-x86-64-posix) or Wine"
  echo "(wine64) is not installed."
  end skipped "windows (mingw-w64 build, tests under Wine)"
fi

echo
echo "=== Summary"
printf '%s\n' "${summary[@]}"
if [ "$failed" -ne 0 ]; then
  echo "Some runs FAILED (see above)."
  exit 1
fi
echo "All runs passed."
