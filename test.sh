#!/bin/sh
# Sets up this machine if needed, then builds and runs the whole test suite: the release
# build with the window tests under Xvfb, then the unit tests under Address- and
# UndefinedBehaviorSanitizer, then the render tests (the worker threads) under
# ThreadSanitizer, then each fuzz harness for 30 seconds.
set -eu
cd "$(dirname "$0")"
tools/setup.sh
cmake --workflow --preset release
# Every benchmark and the frame timing tool once, briefly, so none of them rots; their
# figures are never checked.
bench/run.sh --benchmark_min_time=0.001
SDL_VIDEODRIVER=dummy build/release/bench/lucentor-frame-timing 1 1
cmake --workflow --preset asan
cmake --preset tsan
cmake --build --preset tsan --target lucentor_render_tests
ctest --preset tsan -R '^render\.'
cmake --preset fuzz
cmake --build --preset fuzz
for harness in scene query render_options; do
    fuzz/run.sh "$harness" 30
done
