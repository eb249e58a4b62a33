#!/bin/sh
# Builds the release programs with the benchmarks if needed, then runs every benchmark. Extra
# arguments go to Google Benchmark, e.g.
#   bench/run.sh --benchmark_filter=closestHit --benchmark_repetitions=5
# LUCENTOR_BUILD_DIR names another configured build directory to use instead of the preset's.
set -eu
cd "$(dirname "$0")/.."
if [ -n "${LUCENTOR_BUILD_DIR:-}" ]; then
    build="$LUCENTOR_BUILD_DIR"
else
    tools/setup.sh test
    cmake --preset release >/dev/null
    build=build/release
fi
cmake --build "$build" --target lucentor_bench
exec "$build/bench/lucentor_bench" "$@"
