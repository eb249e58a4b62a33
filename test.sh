#!/bin/sh
# Sets up this machine if needed, then builds and runs the whole test suite: the release
# build with the window tests under Xvfb, then the unit tests under Address- and
# UndefinedBehaviorSanitizer, then the render tests (the worker threads) under
# ThreadSanitizer.
set -eu
cd "$(dirname "$0")"
tools/setup.sh
cmake --workflow --preset release
cmake --workflow --preset asan
cmake --preset tsan
cmake --build --preset tsan --target lucentor_render_tests
ctest --preset tsan -R '^render\.'
